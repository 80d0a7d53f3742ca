#include "storage/KM_eeprom.h"

#include <string.h>

#include "app/KM_com.h"
#include "app/KM_reply.h"
#include "board/serialmem.h"
#include "config/build_config.h"
#include "storage/KM_config.h"
#include "storage/sdcard.h"

EepromRecord eepromData;

int KM_EEPROMvalid(void)
{
    return eepromData.magic == EEPROM_MAGIC;
}

// ---------------------------------------------------------------- copies

#define RECORD_SIZE ((uint32_t)sizeof(EepromRecord))
// Bytes 0x46-0x51 are loaded but neither summed nor written.
#define UNSUMMED_FIRST 0x46u
#define UNSUMMED_END 0x52u
// Any record that does not load from either copy carries this magic.
#define MAGIC_NOT_LOADED 0xEDAA
// The high byte of every magic the firmware ever wrote.
#define MAGIC_HIGH 0x12

static int summed(uint32_t off)
{
    return off < UNSUMMED_FIRST || off >= UNSUMMED_END;
}

static uint8_t record_checksum(const EepromRecord* r)
{
    const uint8_t* b = (const uint8_t*)r;
    uint8_t sum = 0;
    for (uint32_t off = 0; off < RECORD_SIZE; ++off)
        if (summed(off))
            sum = (uint8_t)(sum + b[off]);
    return sum;
}

static int known_layout(uint16_t magic)
{
    return magic >= EEPROM_LAYOUT_FIRST && magic <= EEPROM_LAYOUT_LAST;
}

uint8_t getCsum(uint32_t base)
{
    return EEpromRead(base + EEPROM_CSUM);
}

// A copy's bytes into r: all of them, or only the summed ones (the others
// in r are left as they are).
static void read_bytes(uint32_t base, EepromRecord* r, int all)
{
    uint8_t* b = (uint8_t*)r;
    for (uint32_t off = 0; off < RECORD_SIZE; ++off)
        if (all || summed(off))
            b[off] = EEpromRead(base + off);
}

static int checksum_holds(const EepromRecord* r, uint8_t stored)
{
    return record_checksum(r) == stored;
}

// Reads a copy into r unless its magic's high byte shows that it was never
// written (or was cleared): -1 then, r untouched; else 1 when the checksum
// holds, 0 when it does not.
static int read_copy(uint32_t base, EepromRecord* r)
{
    if (EEpromRead(base + 1) != MAGIC_HIGH)
        return -1;
    read_bytes(base, r, 1);
    return checksum_holds(r, getCsum(base));
}

int KM_EEPROM_Load(uint32_t base)
{
    // A copy that fails its checksum must not replace a working record (a
    // later save would seal the damage into both copies).
    EepromRecord r;
    if (read_copy(base, &r) != 1)
        return 0;
    eepromData = r;
    return 1;
}

// The start-up form of a load: a copy whose checksum fails still lands in
// RAM, so that a record whose checksum alone is wrong can be sealed again.
static int load_at_startup(uint32_t base)
{
    return read_copy(base, &eepromData) == 1;
}

// Writes one byte and reads it back: a worn cell that acknowledges but does
// not keep its value counts as a failed write.
static int write_verified(uint32_t address, uint8_t value)
{
    return EEpromWrite(address, value) && EEpromRead(address) == value;
}

// A copy as a save finds it: its summed bytes and its checksum byte.
struct StoredCopy {
    EepromRecord r;
    uint8_t sum;
};

static void read_stored(uint32_t base, StoredCopy* c)
{
    read_bytes(base, &c->r, 0);
    c->sum = getCsum(base);
}

static int holds_record(const StoredCopy* c)
{
    return ((const uint8_t*)&c->r)[1] == MAGIC_HIGH && checksum_holds(&c->r, c->sum);
}

#define MAGIC_END ((uint32_t)sizeof eepromData.magic)

// Writes the summed bytes from first to end that differ from what the copy
// holds.
static int write_changed(uint32_t base, const StoredCopy* c, uint32_t first, uint32_t end)
{
    const uint8_t* b = (const uint8_t*)&eepromData;
    const uint8_t* old = (const uint8_t*)&c->r;
    for (uint32_t off = first; off < end; ++off)
        if (summed(off) && old[off] != b[off] && !write_verified(base + off, b[off]))
            return 0;
    return 1;
}

// The RAM record over a copy that holds c, so that a power cut after any
// byte leaves the copy either as it was or not loadable: the data first,
// then the checksum, the magic last and its high byte, by which start-up
// tells a written copy, very last.  A copy written over a blank or
// cleared one has no magic until it is whole; one that had the magic
// already fails its checksum until it is whole.  Each byte is a write cycle
// of its own, so no page write can put the magic ahead of the rest.
static int write_copy(uint32_t base, const StoredCopy* c)
{
    if (!write_changed(base, c, MAGIC_END, RECORD_SIZE))
        return 0;
    const uint8_t sum = record_checksum(&eepromData);
    if (c->sum != sum && !write_verified(base + EEPROM_CSUM, sum))
        return 0;
    return write_changed(base, c, 0, MAGIC_END);
}

int saveEEandCsum(uint32_t base)
{
    StoredCopy c;
    read_stored(base, &c);
    return write_copy(base, &c);
}

int KM_EEPROM_Save(void)
{
    // The copy being written holds no record until it is whole, so the
    // other one must hold one meanwhile: a copy 1 that holds none (cleared,
    // say) is written first.
    StoredCopy copy1;
    read_stored(EEPROM_COPY1, &copy1);
    int ok0, ok1;
    if (holds_record(&copy1)) {
        ok0 = saveEEandCsum(EEPROM_COPY0);
        ok1 = write_copy(EEPROM_COPY1, &copy1);
    } else {
        ok1 = write_copy(EEPROM_COPY1, &copy1);
        ok0 = saveEEandCsum(EEPROM_COPY0);
    }
    return ok0 && ok1;
}

// Whether the summed bytes of two records differ.
static int records_differ(const EepromRecord* a, const EepromRecord* b)
{
    const uint8_t* x = (const uint8_t*)a;
    const uint8_t* y = (const uint8_t*)b;
    for (uint32_t off = 0; off < RECORD_SIZE; ++off)
        if (summed(off) && x[off] != y[off])
            return 1;
    return 0;
}

void KM_EEPROM_LoadAndFix(void)
{
    eepromData.magic = MAGIC_NOT_LOADED;
    int ok1 = load_at_startup(EEPROM_COPY1);
    if (ok1) {
        const EepromRecord copy1 = eepromData;
        // Two copies under one checksum that still differ are a save of
        // copy 0 cut short where the sum of the bytes written so far
        // happened to come out as before (the checksum is a plain sum):
        // copy 1 holds the whole record.
        if (!load_at_startup(EEPROM_COPY0) ||
            (getCsum(EEPROM_COPY0) == getCsum(EEPROM_COPY1) && records_differ(&eepromData, &copy1))) {
            load_at_startup(EEPROM_COPY1);
            saveEEandCsum(EEPROM_COPY0);
        }
    } else if (load_at_startup(EEPROM_COPY0)) {
        saveEEandCsum(EEPROM_COPY1);
    } else if (known_layout(eepromData.magic)) {
        // What the failed loads left is a record of a known layout: only
        // its checksum was wrong.
        saveEEandCsum(EEPROM_COPY0);
        saveEEandCsum(EEPROM_COPY1);
    }
    if (getCsum(EEPROM_COPY0) != getCsum(EEPROM_COPY1))
        KM_EEPROM_Load(EEPROM_COPY0);
}

// ---------------------------------------------------------------- layouts

static void default_calibration(uint16_t x[5], uint16_t rx[5], uint16_t y[5], uint16_t ry[5])
{
    const uint16_t W = PANEL_WIDTH, H = PANEL_HEIGHT;
    const uint16_t dx[5] = {(uint16_t)(W / 2 - 1), 20, (uint16_t)(W - 21), (uint16_t)(W - 21), 20};
    const uint16_t drx[5] = {500, 850, 150, 150, 850};
    const uint16_t dy[5] = {(uint16_t)(H / 2 - 1), 20, 20, (uint16_t)(H - 21), (uint16_t)(H - 21)};
    const uint16_t dry[5] = {500, 150, 150, 850, 850};
    memcpy(x, dx, sizeof dx);
    memcpy(rx, drx, sizeof drx);
    memcpy(y, dy, sizeof dy);
    memcpy(ry, dry, sizeof dry);
}

void KM_EEPROM_SetDefaults(void)
{
    EepromRecord& e = eepromData;
    memset(&e, 0xFF, sizeof e);
    e.magic = EEPROM_MAGIC;
    e.tcTimeout = 10;
    e.oldCalLeftX = 15;
    e.oldCalRightX = PANEL_WIDTH - 16;
    e.oldCalRawLeftX = 150;
    e.oldCalRawRightX = 850;
    e.oldCalLowerY = PANEL_HEIGHT - 16;
    e.oldCalUpperY = 15;
    e.oldCalRawLowerY = 850;
    e.oldCalRawUpperY = 150;
    e.tplo = 250;
    e.tphi = 700;
    e.tpDeltaLim = 10;
    e.tsamp = 8;
    e.tspan = 12;
    e.touchSwap = 0;
    e.touchValue2C = 2600;
    e.touchValue30 = 200;
    e.pad31 = 0xFF;
    e.brite = 255;
    e.typematicDelay = 75;
    e.debounce = 100;
    e.typematicRepeat = 20;
    e.SPL = EE_OFF;
    e.SPLbitmap = 0xFF;
    e.PONMAC = 0;
    e.rs485Mode = 0xFF;
    e.rs485Address = 0xFF;
    e.PONMACnoBanner = EE_OFF;
    e.auxReport = 0xFF;
    e.auxEsc = 0x0D;
    e.mainPort = 0;
    e.invEnaHiTrue = 0;
    e.hfp = e.hpw = e.hbp = e.vfp = e.vpw = e.vbp = 0xFF;
    e.maxBrite = PANEL_MAX_BRITE;
    e.minBrite = PANEL_MIN_BRITE;
    e.pwmIsEnable = 1;
    e.orient = 0;
    memset(e.config, 0, sizeof e.config);
    e.touchMode = 0;
    e.autoCal = EE_OFF;
    e.LCDshiftclock = 1;
    e.baud0 = 7;
    e.baud1 = 7;
    e.externalSpeaker = 0;
    e.calMarker = EEPROM_CAL_MARKER;
    default_calibration(e.calX, e.calRawX, e.calY, e.calRawY);
    e.valid = 1;
}

// Layout 0x1259 kept its calibration as twenty 32-bit words from 0x84, of
// which the record holds the first eleven; the slots of the others take the
// build defaults.
static void migrate_wide_calibration(void)
{
    const uint32_t kStored = (RECORD_SIZE - offsetof(EepromRecord, calX)) / 4;
    uint32_t words[kStored];
    memcpy(words, (const uint8_t*)&eepromData + offsetof(EepromRecord, calX), sizeof words);
    uint16_t slots[20];
    default_calibration(slots, slots + 5, slots + 10, slots + 15);
    for (uint32_t i = 0; i < kStored; ++i)
        slots[i] = (uint16_t)words[i];
    memcpy(eepromData.calX, slots, 10);
    memcpy(eepromData.calRawX, slots + 5, 10);
    memcpy(eepromData.calY, slots + 10, 10);
    memcpy(eepromData.calRawY, slots + 15, 10);
}

// The words are signed; their sum may not fit 32 bits (a damaged record).
static uint16_t midpoint(uint32_t a, uint32_t b)
{
    return (uint16_t)(((int64_t)(int32_t)a + (int32_t)b) / 2);
}

// Layouts before the five-point calibration kept two target pairs: the
// centre becomes their midpoint, the corners their combinations.
static void migrate_two_point_calibration(void)
{
    EepromRecord& e = eepromData;
    const uint16_t left = (uint16_t)e.oldCalLeftX, right = (uint16_t)e.oldCalRightX;
    const uint16_t top = (uint16_t)e.oldCalUpperY, bottom = (uint16_t)e.oldCalLowerY;
    const uint16_t rawLeft = (uint16_t)e.oldCalRawLeftX, rawRight = (uint16_t)e.oldCalRawRightX;
    const uint16_t rawTop = (uint16_t)e.oldCalRawUpperY, rawBottom = (uint16_t)e.oldCalRawLowerY;
    const uint16_t x[5] = {midpoint(e.oldCalLeftX, e.oldCalRightX), left, right, right, left};
    const uint16_t y[5] = {midpoint(e.oldCalUpperY, e.oldCalLowerY), top, top, bottom, bottom};
    const uint16_t rx[5] = {midpoint(e.oldCalRawLeftX, e.oldCalRawRightX), rawLeft, rawRight, rawRight, rawLeft};
    const uint16_t ry[5] = {midpoint(e.oldCalRawUpperY, e.oldCalRawLowerY), rawTop, rawTop, rawBottom, rawBottom};
    memcpy(e.calX, x, sizeof x);
    memcpy(e.calY, y, sizeof y);
    memcpy(e.calRawX, rx, sizeof rx);
    memcpy(e.calRawY, ry, sizeof ry);
}

// Puts value into a field whose content is bad; returns whether it did.
static int fix(uint8_t* field, int bad, uint8_t value)
{
    if (!bad)
        return 0;
    *field = value;
    return 1;
}

// Older layouts: settings whose meaning or range has changed since.
static int check_older_layout(void)
{
    EepromRecord& e = eepromData;
    int changed = 0;
    changed |= fix(&e.baud0, e.baud0 < 3 || e.baud0 > 8, 7);
    changed |= fix(&e.baud1, e.baud1 < 3 || e.baud1 > 8, 7);
    changed |= fix(&e.LCDshiftclock, e.LCDshiftclock > 1, 1);
    changed |= fix(&e.autoCal, e.autoCal > 1, 0);
    return changed;
}

static int check_every_layout(void)
{
    EepromRecord& e = eepromData;
    int changed = 0;
    changed |= fix(&e.valid, e.valid != 1, 1);
    changed |= fix(&e.calMarker, e.calMarker != EEPROM_CAL_MARKER, EEPROM_CAL_MARKER);
    if (e.magic != EEPROM_MAGIC) {
        e.magic = EEPROM_MAGIC;
        changed = 1;
    }
    changed |= fix(&e.mainPort, e.mainPort > 1, 0);
    return changed;
}

void KM_EEPROM_Init(void)
{
    EepromRecord& e = eepromData;
    int changed = 0;
    int verbose = 0;
    int mainPortRequest = -1;
    const uint16_t magic = e.magic;
    if (!known_layout(magic)) {
        KM_EEPROM_SetDefaults();
        changed = 1;
    } else {
        const int current = magic == EEPROM_MAGIC && e.calMarker == EEPROM_CAL_MARKER;
        if (!current) {
            if (magic == 0x1259) {
                migrate_wide_calibration();
                changed = 1;
            } else if (magic <= 0x1258) {
                migrate_two_point_calibration();
                if (magic == EEPROM_MAGIC)
                    e.externalSpeaker = 0;
                changed = 1;
            }
            changed |= check_older_layout();
        }
        changed |= check_every_layout();
    }
    if (SDisInitialized() && KM_EEPROM_loadConfigFromFile(&verbose, &mainPortRequest))
        changed = 1;
    if (changed) {
        e.magic = EEPROM_MAGIC;
        if (verbose)
            pout(":storing new values in EEPROM\r");
        KM_EEPROM_Save();
    }
    if (mainPortRequest == 0)
        makeUart0Main();
    else if (mainPortRequest == 1)
        makeUart1Main();
}

// ---------------------------------------------------------------- clearing

static int blank_range(uint32_t first, uint32_t count)
{
    int ok = 1;
    for (uint32_t a = first; a < first + count; ++a)
        if (EEpromRead(a) != 0xFF && !write_verified(a, 0xFF))
            ok = 0;
    return ok;
}

int KM_EEPROM_Clear(int area)
{
    switch (area) {
    case 0: return blank_range(EEPROM_USER_BASE, 0xFF);
    case 1: return blank_range(EEPROM_COPY0, 0x100);
    case 2: return blank_range(EEPROM_COPY1, 0x100);
    default: return 1;  // no such area: nothing to clear
    }
}

int KM_EEPROM_ReadUserByte(int n)
{
    if (n < 0 || n >= EEPROM_USER_BYTES)
        return -1;
    return EEpromRead(EEPROM_USER_BASE + (uint32_t)n);
}

int KM_EEPROM_WriteUserByte(int n, uint8_t value)
{
    if (n < 0 || n >= EEPROM_USER_BYTES)
        return 0;
    return write_verified(EEPROM_USER_BASE + (uint32_t)n, value);
}

// ---------------------------------------------------------------- baud codes

static const uint32_t baudRates[9] = {1200, 4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800};

uint32_t KM_EEPROM_eeVal2Rate(uint8_t code)
{
    if (code >= 1 && code <= 9)
        return baudRates[code - 1];
    return 115200;
}

uint8_t KM_EEPROM_Rate2eeVal(uint32_t rate)
{
    for (int i = 0; i < 9; ++i)
        if (baudRates[i] == rate)
            return (uint8_t)(i + 1);
    return 0xFF;
}

int KM_save_baudrate_eeprom(int port, int32_t rate)
{
    if (port != 0 && port != 1)
        return 0;
    uint8_t code = rate > 0 ? KM_EEPROM_Rate2eeVal((uint32_t)rate) : 0xFF;
    if (code == 0xFF) {
        pout(":baud rate %d not supported, not saved\r", (int)rate);
        return 0;
    }
    if (port == 0)
        eepromData.baud0 = code;
    else
        eepromData.baud1 = code;
    return KM_EEPROM_Save();
}
