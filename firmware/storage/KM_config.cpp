#include "storage/KM_config.h"

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "app/KM_beep.h"
#include "app/KM_macros.h"
#include "app/KM_reply.h"
#include "app/command.h"
#include "app/parse_command.h"
#include "board/bootio.h"
#include "storage/KM_eeprom.h"
#include "storage/KM_extmem.h"
#include "storage/file_sys.h"
#include "storage/sdcard.h"

static const char kConfigFile[] = "config.ini";
static const char kDumpFile[] = "currconf.txt";

// ---------------------------------------------------------------- key search

static int is_line_end(char c)
{
    return c == '\0' || c == '\r' || c == '\n';
}

static int is_blank(char c)
{
    return c == ' ' || c == '\t';
}

// The first occurrence of key on a line that does not begin with '#'.
static const char* find_key(const char* text, const char* key)
{
    if (!text || !key || !*key)
        return 0;
    for (const char* p = strstr(text, key); p; p = strstr(p + 1, key)) {
        const char* line = p;
        while (line > text && line[-1] != '\r' && line[-1] != '\n')
            --line;
        if (*line != '#')
            return p;
    }
    return 0;
}

// Past the first word (which begins at the key) and the blanks after it.
static const char* after_word(const char* p)
{
    while (!is_line_end(*p) && !is_blank(*p))
        ++p;
    while (is_blank(*p))
        ++p;
    return p;
}

// The value of the key at p: past the key, the blanks and an '=' with the
// blanks after it.
static const char* value_of(const char* p)
{
    p = after_word(p);
    if (*p == '=') {
        ++p;
        while (is_blank(*p))
            ++p;
    }
    return p;
}

static int digit_value(char c, int base)
{
    int d = -1;
    if (c >= '0' && c <= '9')
        d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
        d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F')
        d = c - 'A' + 10;
    return d < base ? d : -1;
}

// A signed number on the line at p; 0 when there is no digit or it does
// not fit an int (hexadecimal: 32 bits, taken as they come).
static int parse_number(const char* p, int base, int* out)
{
    int negative = 0;
    if (*p == '-' || *p == '+')
        negative = *p++ == '-';
    if (base == 16 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && digit_value(p[2], 16) >= 0)
        p += 2;
    if (digit_value(*p, base) < 0)
        return 0;
    uint64_t v = 0;
    const uint64_t limit = base == 16 ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    for (int d; (d = digit_value(*p, base)) >= 0; ++p) {
        v = v * (uint64_t)base + (uint64_t)d;
        if (v > limit)
            return 0;
    }
    uint32_t u = (uint32_t)v;
    *out = (int)(negative ? (uint32_t)0 - u : u);
    return 1;
}

// The line from p to its end, cut to fit the reports.
static void copy_line(char* dst, size_t size, const char* p)
{
    size_t n = 0;
    while (n + 1 < size && !is_line_end(p[n])) {
        dst[n] = p[n];
        ++n;
    }
    dst[n] = '\0';
}

int lookfor(const char* text, const char* key, char format, int* value, int verbose)
{
    int base;
    if (format == 'd')
        base = 10;
    else if (format == 'x' || format == 'h')
        base = 16;
    else
        return 0;
    const char* at = find_key(text, key);
    if (!at)
        return 0;
    const char* p = value_of(at);
    int v;
    if (!parse_number(p, base, &v)) {
        if (verbose) {
            char line[100];
            copy_line(line, sizeof line, at);
            pout(":Syntax error \"%s\"\r", line);
        }
        return 0;
    }
    if (verbose) {
        if (base == 16)
            pout(":%s = 0x%X\r", key, (unsigned)v);
        else
            pout(":%s = %d\r", key, v);
    }
    if (value)
        *value = v;
    return 1;
}

int lookforQuotedString(const char* text, const char* key, char* out, size_t size, int verbose)
{
    const char* at = find_key(text, key);
    if (!at || !out || size == 0)
        return 0;
    const char* p = value_of(at);
    if (*p != '"')
        return 0;
    // Decoded in a copy, so the settings text stays whole for later keys.
    // The copy holds more than any text that fits out, so a cut line
    // still shows up as too long.
    char line[160];
    copy_line(line, sizeof line, p);
    char* rest;
    int length = 0;
    char* s = escstrl(line, '"', &rest, &length);
    if (!s || length < 0 || (size_t)length + 1 > size)
        return 0;
    memcpy(out, s, (size_t)length);
    out[length] = '\0';
    if (verbose)
        pout(":%s = \"%s\"\r", key, out);
    return 1;
}

void strToUpper(char* s)
{
    for (; s && *s; ++s)
        if (*s >= 'a' && *s <= 'z')
            *s = (char)(*s - 'a' + 'A');
}

// ---------------------------------------------------------------- config.ini

// What the keys of config.ini do to their setting.
enum KeyKind {
    K_AUTOCAL,   // 0xA5 for nonzero, 0xFF for zero
    K_MACDEBUG,  // the macro engine's verbose flag
    K_AND3,      // value AND 3
    K_AND1,      // value AND 1
    K_BOOL,      // 1 for nonzero, else 0
    K_BYTE,
    K_U16,
    K_U32,
    K_BEEPFREQ,
    K_BEEPVOL,
    K_PONMAC,
    K_SPL,
    K_MAINPORT,
    K_BAUD,
};

struct ConfigKey {
    const char* key;
    uint8_t kind;
    uint8_t offset;  // in the record
    char format;
};

#define REC(field) (uint8_t) offsetof(EepromRecord, field)

// Scan order: each key is looked up over the whole text in this order.
static const ConfigKey kKeys[] = {
    {"autoCal", K_AUTOCAL, REC(autoCal), 'd'},
    {"macdebug", K_MACDEBUG, 0, 'd'},
    {"orient", K_AND3, REC(orient), 'd'},
    {"invEnaHiTrue", K_BOOL, REC(invEnaHiTrue), 'd'},
    {"touchSwap", K_BOOL, REC(touchSwap), 'd'},
    {"tplo", K_U16, REC(tplo), 'd'},
    {"tphi", K_U16, REC(tphi), 'd'},
    {"tpDeltaLim", K_BYTE, REC(tpDeltaLim), 'd'},
    {"tsamp", K_BYTE, REC(tsamp), 'd'},
    {"tspan", K_BYTE, REC(tspan), 'd'},
    {"touchMode", K_BYTE, REC(touchMode), 'd'},
    {"tcTimeout", K_BYTE, REC(tcTimeout), 'd'},
    {"auxEsc", K_BYTE, REC(auxEsc), 'x'},
    {"beepFreq", K_BEEPFREQ, 0, 'd'},
    {"beepVol", K_BEEPVOL, 0, 'd'},
    {"typematicDelay", K_BYTE, REC(typematicDelay), 'd'},
    {"typematicRepeat", K_BYTE, REC(typematicRepeat), 'd'},
    {"debounce", K_U32, REC(debounce), 'd'},
    {"PONMAC", K_PONMAC, 0, 'd'},
    {"SPL", K_SPL, 0, 'd'},
    {"hfp", K_BYTE, REC(hfp), 'd'},
    {"hpw", K_BYTE, REC(hpw), 'd'},
    {"hbp", K_BYTE, REC(hbp), 'd'},
    {"vfp", K_BYTE, REC(vfp), 'd'},
    {"vpw", K_BYTE, REC(vpw), 'd'},
    {"vbp", K_BYTE, REC(vbp), 'd'},
    {"maxBrite", K_BYTE, REC(maxBrite), 'd'},
    {"minBrite", K_BYTE, REC(minBrite), 'd'},
    {"brite", K_BYTE, REC(brite), 'd'},
    {"pwmIsEnable", K_BOOL, REC(pwmIsEnable), 'd'},
    {"mainPort", K_MAINPORT, REC(mainPort), 'd'},
    {"LCDshiftclock", K_BOOL, REC(LCDshiftclock), 'd'},
    {"baud0", K_BAUD, REC(baud0), 'd'},
    {"baud1", K_BAUD, REC(baud1), 'd'},
    {"externalSpeaker", K_AND1, REC(externalSpeaker), 'd'},
};

static uint8_t* record_byte(uint8_t offset)
{
    return (uint8_t*)&eepromData + offset;
}

// Stores a byte setting; 1 when the value read differed from it.
static int set_byte(uint8_t offset, int read, uint8_t stored)
{
    uint8_t* b = record_byte(offset);
    if ((int)*b == read)
        return 0;
    *b = stored;
    return 1;
}

// One key's value applied to its setting: 1 when the record changed.
static int apply_key(const ConfigKey& k, int v, int verbose, int* mainPortRequest)
{
    EepromRecord& e = eepromData;
    switch (k.kind) {
    case K_AUTOCAL: {
        uint8_t want = v ? EE_ON : EE_OFF;
        if (e.autoCal == want)
            return 0;
        e.autoCal = want;
        return 1;
    }
    case K_MACDEBUG:
        if ((int)macroVerbose == v)
            return 0;
        macroVerbose = (uint8_t)(v & 1);
        return 1;
    case K_AND3: return set_byte(k.offset, v, (uint8_t)(v & 3));
    case K_AND1: return set_byte(k.offset, v, (uint8_t)(v & 1));
    case K_BOOL: return set_byte(k.offset, v, v ? 1 : 0);
    case K_BYTE: return set_byte(k.offset, v, (uint8_t)v);
    case K_U16: {
        uint16_t cur;
        memcpy(&cur, record_byte(k.offset), sizeof cur);
        if ((int)cur == v)
            return 0;
        uint16_t nv = (uint16_t)v;
        memcpy(record_byte(k.offset), &nv, sizeof nv);
        return 1;
    }
    case K_U32: {
        uint32_t cur;
        memcpy(&cur, record_byte(k.offset), sizeof cur);
        if (cur == (uint32_t)v)
            return 0;
        uint32_t nv = (uint32_t)v;
        memcpy(record_byte(k.offset), &nv, sizeof nv);
        return 1;
    }
    case K_BEEPFREQ:
        if (GetBeepFrequency() == (uint32_t)v)
            return 0;
        BeepFrequency((uint32_t)v);
        return 1;
    case K_BEEPVOL:
        if ((int)GetBeepVolume() == v)
            return 0;
        SetBeepVolume((uint8_t)v);
        return 1;
    case K_PONMAC: {
        uint8_t n = (uint8_t)v;
        uint8_t enable = n ? EE_ON : EE_OFF;
        if (e.PONMAC == n && e.PONMACnoBanner == enable)
            return 0;
        e.PONMACnoBanner = enable;
        e.PONMAC = n;
        return 1;
    }
    case K_SPL:
        if (v) {
            if (e.SPL == EE_ON && e.SPLbitmap == (uint8_t)v)
                return 0;
            e.SPL = EE_ON;
            e.SPLbitmap = (uint8_t)v;
            return 1;
        }
        if (e.SPL == EE_OFF)
            return 0;
        e.SPL = EE_OFF;
        return 1;
    case K_MAINPORT:
        if ((v != 0 && v != 1) || e.mainPort == v)
            return 0;
        e.mainPort = (uint8_t)v;
        *mainPortRequest = v;
        return 1;
    case K_BAUD: {
        uint8_t code = v > 0 ? KM_EEPROM_Rate2eeVal((uint32_t)v) : 0xFF;
        if (code == 0xFF) {
            if (verbose)
                pout(":new rate not valid, not saved\r");
            return 0;
        }
        uint8_t* b = record_byte(k.offset);
        if (*b == code)
            return 0;
        *b = code;
        if (verbose)
            pout(":new rate will take effect on next powerup/reset\r");
        return 1;
    }
    }
    return 0;
}

// Reads the whole file into the settings buffer and ends it with NUL: 1
// when every byte came.  A file that would not fit the buffer is refused.
static int read_settings(fat::FatFile* f, char* dst, uint32_t room)
{
    uint32_t length = f->length;
    if (length >= room)
        return 0;
    uint32_t got = 0;
    while (got < length) {
        uint32_t chunk = length - got > 512 ? 512 : length - got;
        int16_t n = fat::fread(dst + got, 1, (int16_t)chunk, f);
        if (n <= 0)
            break;
        got += (uint32_t)n;
    }
    dst[got] = '\0';
    return got == length;
}

int KM_EEPROM_loadConfigFromFile(int* verbose, int* mainPortRequest)
{
    fat::FatFile* f = SD_fopen(kConfigFile, fat::FF_READ);
    if (!f)
        return 0;
    EepromRecord& e = eepromData;
    int changed = 0;
    char* text = (char*)ExtMemRamBuffer;
    if (!read_settings(f, text, ExtMemSize)) {
        pout(":%s could not be loaded\r", kConfigFile);
    } else {
        int v = 0;
        if (lookfor(text, "verbose", 'd', &v, 0)) {
            *verbose = v;
            if (v)
                pout(":%s verbose mode enabled\r", kConfigFile);
        }
        for (const ConfigKey& k : kKeys)
            if (lookfor(text, k.key, k.format, &v, *verbose))
                changed |= apply_key(k, v, *verbose, mainPortRequest);
        char config[sizeof e.config];
        if (lookforQuotedString(text, "config", config, sizeof config, *verbose) &&
            strncmp(config, e.config, sizeof e.config) != 0) {
            memset(e.config, 0, sizeof e.config);
            memcpy(e.config, config, strlen(config));
            changed = 1;
        }
    }
    // Touch sampling needs a span above three readings.
    if (e.tspan <= 3) {
        e.tspan = 12;
        if (*verbose)
            pout(":tspan too low!! Set to default (12)\r");
    }
    SD_fclose(f);
    return changed;
}

// ---------------------------------------------------------------- currconf.txt

static void notify(const char* fmt, const char* arg)
{
    char line[64];
    snprintf(line, sizeof line, fmt, arg);
    txNotify(line);
}

int write_config_item(const char* text, fat::FatFile* f)
{
    // The file system's fputs ends the line with CR LF itself.
    if (fat::fputs(text, f) < 0) {
        txNotify(":error writing config file\r");
        fat::fclose(f);
        return 0;
    }
    return 1;
}

static int write_line(fat::FatFile* f, const char* fmt, int v)
{
    char line[80];
    snprintf(line, sizeof line, fmt, v);
    return write_config_item(line, f);
}

struct DumpItem {
    const char* format;
    uint8_t offset;
};

static int dump_bytes(fat::FatFile* f, const DumpItem* items, int n)
{
    for (int i = 0; i < n; ++i)
        if (!write_line(f, items[i].format, *record_byte(items[i].offset)))
            return 0;
    return 1;
}

static int write_dump(fat::FatFile* f)
{
    const EepromRecord& e = eepromData;
    char hashes[59];
    memset(hashes, '#', 58);
    hashes[58] = '\0';
    if (!write_config_item(hashes, f) ||
        !write_config_item("# active config data generated by *getConfigAsFile command", f) ||
        !write_config_item(hashes, f) || !write_line(f, "autoCal = %d", e.autoCal == EE_ON))
        return 0;
    static const DumpItem touch[] = {
        {"orient = %d", REC(orient)},       {"invEnaHiTrue = %d", REC(invEnaHiTrue)},
        {"touchSwap = %d", REC(touchSwap)},
    };
    if (!dump_bytes(f, touch, 3) || !write_line(f, "tplo = %d", e.tplo) || !write_line(f, "tphi = %d", e.tphi))
        return 0;
    static const DumpItem touch2[] = {
        {"tsamp = %d", REC(tsamp)},
        {"tspan = %d", REC(tspan)},
        {"touchMode = %d", REC(touchMode)},
        {"tcTimeout = %d", REC(tcTimeout)},
    };
    if (!dump_bytes(f, touch2, 4) || !write_line(f, "auxEsc = 0x%02x", e.auxEsc) ||
        !write_line(f, "beepFreq = %d", (int)GetBeepFrequency()) || !write_line(f, "beepVol = %d", GetBeepVolume()) ||
        !write_line(f, "typematicDelay = %d", e.typematicDelay) ||
        !write_line(f, "typematicRepeat = %d", e.typematicRepeat) || !write_line(f, "debounce = %d", (int)e.debounce) ||
        !write_line(f, "PONMAC = %d", e.PONMAC) || !write_line(f, "SPL = %d", e.SPL == EE_ON ? e.SPLbitmap : 0))
        return 0;
    static const DumpItem panel[] = {
        {"hfp = %d", REC(hfp)},
        {"hpw = %d", REC(hpw)},
        {"hbp = %d", REC(hbp)},
        {"vfp = %d", REC(vfp)},
        {"vpw = %d", REC(vpw)},
        {"vbp = %d", REC(vbp)},
        {"maxBrite = %d", REC(maxBrite)},
        {"minBrite = %d", REC(minBrite)},
        {"brite = %d", REC(brite)},
        {"pwmIsEnable = %d", REC(pwmIsEnable)},
        {"mainPort = %d", REC(mainPort)},
        {"LCDshiftclock = %d", REC(LCDshiftclock)},
    };
    if (!dump_bytes(f, panel, 12) || !write_line(f, "baud0 = %d", (int)KM_EEPROM_eeVal2Rate(e.baud0)) ||
        !write_line(f, "baud1 = %d", (int)KM_EEPROM_eeVal2Rate(e.baud1)) ||
        !write_line(f, "externalSpeaker = %d", e.externalSpeaker))
        return 0;
    // The stored text need not end inside its field.
    char config[sizeof e.config + 1];
    memcpy(config, e.config, sizeof e.config);
    config[sizeof e.config] = '\0';
    char line[sizeof config + 16];
    snprintf(line, sizeof line, "config = \"%s\"", config);
    return write_config_item(line, f);
}

int KM_EEPROM_saveConfigToFile(void)
{
    const EepromRecord& e = eepromData;
    if (e.valid != 1 || e.calMarker != EEPROM_CAL_MARKER || e.magic != EEPROM_MAGIC) {
        txNotify(":EEPROM invalid\r");
        return 0;
    }
    if (!SDisInitialized()) {
        txNotify(":SD Card not initialized\r");
        return 0;
    }
    fat::FatFile* f = SD_fopen(kDumpFile, fat::FF_READ);
    if (f) {
        SD_fclose(f);
        fat::remove(kDumpFile);
        txNotify(":existing config file removed\r");
    }
    f = fat::fcreate(kDumpFile, fat::ATTR_ARCHIVE);
    if (!f) {
        txNotify(":error creating config file\r");
        return 0;
    }
    notify(":writing SD File %s\r", kDumpFile);
    if (!write_dump(f))
        return 0;
    fat::fclose(f);
    f = SD_fopen(kDumpFile, fat::FF_READ);
    if (!f) {
        notify(":file %s not created\r", kDumpFile);
        return 0;
    }
    SD_fclose(f);
    return 1;
}

int cmdGetConfigAsFile(void)
{
    return KM_EEPROM_saveConfigToFile() ? CMD_OK : CMD_FAIL;
}
