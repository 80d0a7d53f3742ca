#include "storage/KM_extmem.h"

#include <string.h>

#include "app/KM_reply.h"
#include "board/bootflash.h"
#include "board/bootio.h"
#include "graphics/GUI_ALLOC.h"
#include "app/Main.h"
#include "app/command.h"
#include "graphics/GUI.h"
#include "graphics/GUI_BMP.h"
#include "graphics/GUI_Bitmap.h"
#include "board/KM_led.h"
#include "board/KM_visibility.h"
#include "board/lcd_driver.h"
#include "storage/KM_config.h"
#include "storage/file_sys.h"
#include "storage/sdcard.h"

uint8_t* ExtMemBuffer;
uint32_t ExtMemSize;

#define FLASH2 EXTMEM_FLASH2_BASE
#define FLASH2_SIZE EXTMEM_FLASH2_SIZE
#define FLASH2_LAST (FLASH2 + FLASH2_SIZE - 1)
#define SECTOR EXTMEM_FLASH2_SECTOR_SIZE

static uint32_t rd32(const uint8_t* p)
{
    uint32_t v;
    memcpy(&v, p, 4);
    return v;
}

static void wr32(uint8_t* p, uint32_t v)
{
    memcpy(p, &v, 4);
}

static const ExtMemHeader* header(const uint8_t* image)
{
    return (const ExtMemHeader*)image;
}

static const ExtMemDirEntry* entry(const uint8_t* image, uint32_t i)
{
    return (const ExtMemDirEntry*)(image + ExtMemDirEntryOffset(i));
}

// ---------------------------------------------------------------- the live image

const ExtMemHeader* ExtMemValidHeader(void)
{
    const ExtMemHeader* h = header(ExtMemBuffer);
    return h && h->validity == EXTMEM_VALID_PLUS ? h : 0;
}

ExtMemDirEntry* ExtMemEntry(int n)
{
    const ExtMemHeader* h = ExtMemValidHeader();
    if (!h || n < 0 || n >= h->count)
        return 0;
    return (ExtMemDirEntry*)(ExtMemBuffer + ExtMemDirEntryOffset((uint32_t)n));
}

uint32_t ExtMemBase(void)
{
    return ExtMemBuffer ? hw_addr(ExtMemBuffer) : 0;
}

uint32_t ExtMemResolve(uint32_t stored)
{
    const uint32_t base = ExtMemBase();
    return stored < base ? stored + base : stored;
}

const uint8_t* ExtMemObject(uint32_t stored, uint64_t bytes, uint32_t align)
{
    const ExtMemHeader* h = ExtMemValidHeader();
    const uint32_t base = ExtMemBase(), at = ExtMemResolve(stored);
    if (!h || !stored || at < base || (uint64_t)(at - base) + bytes > h->size || at % align)
        return 0;
    return (const uint8_t*)hw_ptr(at);
}

// ---------------------------------------------------------------- relocation

int tryFixup(uint32_t* p, uint32_t base, uint32_t size)
{
    uint32_t v = *p;
    if (v > FLASH2 && v <= FLASH2_LAST) {
        v -= FLASH2;
        *p = v;
    }
    if (v < base) {
        if (v >= size)
            return 0;
        *p = base + v;
        return 1;
    }
    return v <= base + size;
}

// Relocates the stored address at p (an unaligned word inside the image).
static int fix_word(uint8_t* p, uint32_t base, uint32_t size)
{
    uint32_t v = rd32(p);
    int ok = tryFixup(&v, base, size);
    wr32(p, v);
    return ok;
}

// Where an object lies in the RAM copy, from the directory address.
static uint8_t* object_in_ram(uint32_t stored)
{
    uint32_t v = stored;
    if (!tryFixup(&v, EXTMEM_RAM_BUFFER, FLASH2_SIZE))
        return 0;
    return (uint8_t*)hw_ptr(v);
}

int KM_Fixup_ExtMem(uint32_t base, uint32_t size)
{
    uint8_t* img = ExtMemRamBuffer;
    const ExtMemHeader* h = header(img);
    GUI_RLE16_ForgetPosition();
    if (h->validity != EXTMEM_VALID_PLUS || h->size > ExtMemSize)
        return 0;
    // Everything the directory names must lie inside the image itself.
    if (ExtMemDirEntryOffset(h->count) > h->size)
        return 0;
    for (uint32_t i = 0; i < h->count; ++i) {
        uint8_t* e = img + ExtMemDirEntryOffset(i);
        const ExtMemDirEntry* d = (const ExtMemDirEntry*)e;
        if (d->type > EXTMEM_TYPE_LAST || d->size > h->size)
            return 0;
        uint8_t* obj = object_in_ram(rd32(e + offsetof(ExtMemDirEntry, address)));
        if (!obj || hw_addr(obj) - EXTMEM_RAM_BUFFER > h->size ||
            !fix_word(e + offsetof(ExtMemDirEntry, address), base, size))
            return 0;
        // A record must lie inside the image before it is touched.
        uint32_t room = h->size - (hw_addr(obj) - EXTMEM_RAM_BUFFER);
        // Records are read in place as structures, their words by word
        // loads: on the board, with alignment checking on, a record off a
        // word boundary faults.  The builder aligns every object.
        if (d->type != EXTMEM_GIF && d->type != EXTMEM_EMPTY && (hw_addr(obj) & 3))
            return 0;
        switch (d->type) {
        case EXTMEM_BITMAP:
        case EXTMEM_BITMAP_RLE16:
        case EXTMEM_BITMAP_TRANS:
            if (room < sizeof(ExtBitmapRecord) || !fix_word(obj + offsetof(ExtBitmapRecord, pData), base, size))
                return 0;
            break;
        case EXTMEM_MACROS:
            if (i != 0)
                break;
            if ((uint64_t)d->size * sizeof(ExtMacroEntry) > room)
                return 0;
            for (uint32_t m = 0; m < d->size; ++m)
                if (!fix_word(obj + m * sizeof(ExtMacroEntry) + offsetof(ExtMacroEntry, address), base, size))
                    return 0;
            break;
        case EXTMEM_FONT:
            if (room < sizeof(ExtFontRecord) || !fix_word(obj + offsetof(ExtFontRecord, pData), base, size) ||
                !fix_word(obj + offsetof(ExtFontRecord, pAlias), base, size))
                return 0;
            break;
        default:
            break;
        }
    }
    return 1;
}

// ---------------------------------------------------------------- loading

int Flash2Init(void)
{
    const uint8_t* img = (const uint8_t*)hw_ptr(FLASH2);
    const ExtMemHeader* h = header(img);
    if (h->validity != EXTMEM_VALID_PLUS || h->size > FLASH2_SIZE)
        return 1;
    if (h->count >= 2) {
        uint32_t a = entry(img, 1)->address;
        if (a <= FLASH2 || a > FLASH2_LAST)
            return 1;
    }
    ExtMemBuffer = (uint8_t*)hw_ptr(FLASH2);
    GUI_RLE16_ForgetPosition();
    uint32_t kb = h->size / 1024;
    pout(":loading %dKB bitmap/macro file from flash2\r", kb ? (int)kb : 1);
    return 0;
}

int KM_LoadFlash2ToRam(void)
{
    const uint8_t* img = (const uint8_t*)hw_ptr(FLASH2);
    const ExtMemHeader* h = header(img);
    if (h->validity != EXTMEM_VALID_PLUS) {
        perr(":Flash2 memory invalid (saw %04X, expected %04X)\r", h->validity, EXTMEM_VALID_PLUS);
        return 0;
    }
    if (h->size == 0 || h->size == 0xFF || h->size > FLASH2_SIZE) {
        perr(":Flash2 memory invalid size 0x%08X\r", (unsigned)h->size);
        return 0;
    }
    memcpy(ExtMemRamBuffer, img, h->size & ~3u);
    if (!KM_Fixup_ExtMem(EXTMEM_RAM_BUFFER, ExtMemSize)) {
        perr(":Internal error - fixup\r");
        return 0;
    }
    ExtMemBuffer = ExtMemRamBuffer;
    return 1;
}

// ---------------------------------------------------------------- card files

static uint32_t kb_at_least_1(uint32_t bytes)
{
    return bytes / 1024 ? bytes / 1024 : 1;
}

static char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? (char)(c + 32) : c;
}

int findVelmBin(char* name13)
{
    uint8_t e[32];
    int16_t r;
    for (r = fat::read_directory_entry(e, 0); r == 1; r = fat::read_directory_entry(e, 1)) {
        if (e[11] & (fat::ATTR_DIRECTORY | fat::ATTR_VOLUME))
            continue;
        if (lower((char)e[0]) == 'v' && lower((char)e[1]) == 'e' && lower((char)e[2]) == 'l' &&
            lower((char)e[3]) == 'm' && lower((char)e[8]) == 'b' && lower((char)e[9]) == 'i' &&
            lower((char)e[10]) == 'n') {
            fat::NameFromDirEntry(name13, e);
            return 1;
        }
    }
    return r == 0 && fat::dir_read_failed() ? -1 : 0;
}

int SDvalidateBin(fat::FatFile* f)
{
    if (fat::fseek(f, 0, 2) != 0 || fat::fread(ExtMemRamBuffer, 1, 8, f) < 8) {
        perr(":SD card .BIN file too small\r");
        return 0;
    }
    fat::fseek(f, 0, 2);
    const ExtMemHeader* h = header(ExtMemRamBuffer);
    if (h->validity == EXTMEM_VALID_VELM5) {
        perr(":SD card .BIN file created for VELM5; select VELM5 PLUS in Dravik\r");
        return 0;
    }
    if (h->validity != EXTMEM_VALID_PLUS) {
        perr(":SD card .BIN file header is not valid (got 0x%04X, expected 0x%04X)\r", h->validity, EXTMEM_VALID_PLUS);
        return 0;
    }
    if (h->size != f->length) {
        perr(":SD card .BIN file invalid (internal size error)\r");
        return 0;
    }
    if (h->size > ExtMemSize) {
        pout(":SD card .BIN file %dKB > max %dKB\r", (int)(h->size / 1024), (int)(ExtMemSize / 1024));
        return 0;
    }
    return 1;
}

// Whole sectors straight into dst from the file's position on; never more
// than the image area holds.
uint32_t fastFileLoad(fat::FatFile* f, uint8_t* dst)
{
    uint32_t total = 0;
    while (total + 512 <= ExtMemSize + 512) {
        int16_t n = fat::freadChunk(f, dst + total);
        if (n <= 0)
            break;
        total += (uint32_t)n;
        if (n < 512)
            break;
    }
    return total;
}

int fastFileReadBuf(uint8_t* dst, uint32_t want, fat::FatFile* f)
{
    uint32_t total = 0;
    while (total < want) {
        int16_t n = fat::freadChunk(f, dst + total);
        if (n <= 0)
            break;
        total += (uint32_t)n;
    }
    return (int)(total < want ? total : want);
}

int SDLoadBinFileToRam(fat::FatFile* f)
{
    if (!SDvalidateBin(f))
        return 0;
    return fastFileLoad(f, ExtMemRamBuffer) >= f->length;
}

// The card file in the RAM buffer becomes the live image only when every
// address in it checks out: a bad file must not leave the drawing code
// pointers into nowhere.
static int use_ram_image(void)
{
    if (!KM_Fixup_ExtMem(EXTMEM_RAM_BUFFER, ExtMemSize)) {
        perr(":Internal error - fixup\r");
        return 0;
    }
    ExtMemBuffer = ExtMemRamBuffer;
    return 1;
}

int CopyBinFileToFlash2(fat::FatFile* f, const char* name)
{
    pout(":loading %dKB bitmap/macro file from SD card\r", (int)kb_at_least_1(f->length));
    startProgressDots("Loading Flash Data file from SD Card");
    uint32_t n = fastFileLoad(f, ExtMemRamBuffer);
    if (n < f->length) {
        perr("Error - Failed to read file '%s' into memory\r", name);
        return 21;
    }
    ExtMemHeader* h = (ExtMemHeader*)ExtMemRamBuffer;
    h->size = f->length;
    // The addresses must all be good before anything is erased: Flash2
    // keeps its old image when the card file is broken.
    if (!KM_Fixup_ExtMem(FLASH2, FLASH2_SIZE)) {
        perr(":Internal error - fixup\r");
        return 21;
    }
    return CopyMemToFlash2(h->size, ExtMemRamBuffer);
}

int KM_Load_VelmBin_To_ExtMem(void)
{
    char name[13];
    if (!SDisInitialized() || findVelmBin(name) != 1)
        return 0;
    fat::FatFile* f = SD_fopen(name, fat::FF_READ);
    if (!f)
        return 0;
    pout(":loading %dKB bitmap/macro file from SD card...\r", (int)kb_at_least_1(f->length));
    int ok = SDLoadBinFileToRam(f);
    if (!ok)
        perr(":SD card error %d\r", (int)fat::_FF_error);
    SD_fclose(f);
    return ok && use_ram_image();
}

// The splash file in the RAM buffer, served no further than its length: a
// cut-short or damaged file then ends as a short read instead of drawing
// whatever the buffer held before.
static uint32_t splashLength;

static int splash_data(void* p, const uint8_t** ppData, unsigned NumBytes, uint32_t Off)
{
    *ppData = (const uint8_t*)p + Off;
    if (Off >= splashLength)
        return 0;
    return (int)(NumBytes < splashLength - Off ? NumBytes : splashLength - Off);
}

// splash.bmp on the card is read whole into the RAM buffer (which a RAM
// image then no longer holds) and drawn at the top-left corner.
static void show_splash(void)
{
    fat::FatFile* f = SD_fopen("splash.bmp", fat::FF_READ);
    if (!f)
        return;
    if (f->length > ExtMemSize) {
        pout(":splash.bmp could not be loaded - too big\r");
    } else if (fastFileLoad(f, ExtMemRamBuffer) < f->length) {
        pout(":splash.bmp could not be loaded\r");
    } else {
        GUI_ContextRecord saved;
        GUI_SaveContext_M(&saved);
        splashLength = f->length;
        GUI_BMP_DrawEx(splash_data, ExtMemRamBuffer, 0, 0);
        GUI_RestoreContext(&saved);
        splashShown = 1;
        KM_Visibility_Init();
    }
    SD_fclose(f);
}

int KM_Load_ExtMem(void)
{
    if (!SDisInitialized()) {
        if (Flash2Init()) {
            perr(":No .BIN file in flash or on SD card\r");
            return 0;
        }
        return 1;
    }
    show_splash();
    // flash2.ini on the card asks for the card file to be copied to Flash2.
    int copy = 0;
    fat::FatFile* f = SD_fopen("flash2.ini", fat::FF_READ);
    if (f) {
        copy = 1;
        SD_fclose(f);
    }
    char name[13];
    f = 0;
    const int found = findVelmBin(name);
    if (found == 1)
        f = SD_fopen(name, fat::FF_READ);
    if (f && SDvalidateBin(f)) {
        if (copy) {
            KM_Visibility_Init();
            int r = CopyBinFileToFlash2(f, name);
            SD_fclose(f);
            if (r) {
                perr(":Failed to copy .BIN file from SD Card to Flash\r");
                return 0;
            }
            ExtMemBuffer = (uint8_t*)hw_ptr(FLASH2);
            GUI_RLE16_ForgetPosition();
            return 1;
        }
        pout(":loading %dKB bitmap/macro file from SD card\r", (int)kb_at_least_1(f->length));
        int ok = fastFileLoad(f, ExtMemRamBuffer) >= f->length;
        if (!ok)
            perr(":SD card error %d\r", (int)fat::_FF_error);
        SD_fclose(f);
        if (ok && use_ram_image())
            return 1;
        return 0;
    }
    if (f)
        SD_fclose(f);
    int r = Flash2Init();
    if (r) {
        perr(":No bin file in Flash or SD card (%d)\r", r);
        return 0;
    }
    // The image in flash serves, but the card's folder was not looked
    // through: it may hold a file that was not loaded.
    return found >= 0;
}

uint32_t ExtMemUsed(void)
{
    const uint8_t* img = ExtMemBuffer;
    if (!img || header(img)->validity != EXTMEM_VALID_PLUS || header(img)->count == 0)
        return 0;
    const ExtMemDirEntry* last = entry(img, header(img)->count - 1u);
    if (last->size == 0)
        return 0;
    return last->address + last->size - hw_addr(img);
}

int KM_Check_Demo(void)
{
    static const char name[] = "rundemo.ini";
    if (!SDisInitialized())
        return 0;
    fat::FatFile* f = SD_fopen(name, fat::FF_READ);
    if (!f)
        return 0;
    uint32_t length = f->length;
    if (length == 0) {
        SD_fclose(f);
        return 0;
    }
    // The text lives in the graphics pool only while it is searched.
    GUI_ALLOC_Handle h = length < (uint32_t)GUI_ALLOC_POOL_SIZE ? GUI_ALLOC_AllocNoInit((int32_t)length + 1) : 0;
    char* text = h ? (char*)GUI_ALLOC_LockH(h) : 0;
    uint32_t got = 0;
    while (text && got < length) {
        uint32_t chunk = length - got > 512 ? 512 : length - got;
        int16_t n = fat::fread(text + got, 1, (int16_t)chunk, f);
        if (n <= 0)
            break;
        got += (uint32_t)n;
    }
    SD_fclose(f);
    if (!text || got != length) {
        pout(":rundemo.ini could not be loaded\r");
        if (h) {
            GUI_ALLOC_UnlockH(h);
            GUI_ALLOC_Free(h);
        }
        return 0;
    }
    text[length] = '\0';
    int verbose = 0;
    if (lookfor(text, "verbose", 'd', &verbose, 0) && verbose)
        pout(":rundemo.ini verbose mode enabled\r");
    int demo = 0;
    int macro = 0;
    if (lookfor(text, "demomac", 'd', &demo, verbose))
        macro = demo & 0xFF;
    GUI_ALLOC_UnlockH(h);
    GUI_ALLOC_Free(h);
    return macro;
}

// ---------------------------------------------------------------- programming

int KM_ExtMem_ProgramArea(uint32_t offset, const uint8_t* src, uint32_t len, uint8_t)
{
    if (len & 1)
        return 5;
    if (!src)
        return 2;
    if ((uint64_t)offset + len > FLASH2_SIZE)
        return 1;
    // A block that crosses a 64 KB boundary goes in two pieces.
    uint32_t e = (offset + len) & 0xFFFF;
    GUI_RLE16_ForgetPosition();
    int ok;
    if (e < len && e > 0)
        ok = FlashWriteBlock(FLASH2 + offset, src, len - e) && FlashWriteBlock(FLASH2 + offset + len - e, src + len - e, e);
    else
        ok = FlashWriteBlock(FLASH2 + offset, src, len);
    // The chip refused a word: the caller must not take the data as stored.
    return ok ? 0 : 4;
}

int KM_ExtMem_Erase_Sector(int n)
{
    if (n < 0)
        return 3;
    uint64_t addr = FLASH2 + (uint64_t)n * SECTOR;
    if (addr > FLASH2_LAST)
        return 3;
    GUI_RLE16_ForgetPosition();
    if (!FlashIsErased((uint32_t)addr, SECTOR) && !FlashEraseSector((uint32_t)addr))
        return 4;
    return 0;
}

// The validity word at the start of an image.
#define VALIDITY_BYTES 2u

// Programs bytes [from, end) of the image at src into Flash2, all but its
// validity word.
static int program_after_validity(const uint8_t* src, uint32_t from, uint32_t end)
{
    if (from < VALIDITY_BYTES)
        from = end < VALIDITY_BYTES ? end : VALIDITY_BYTES;
    return FlashWriteBlock(FLASH2 + from, src + from, end - from);
}

int CopyMemToFlash2(uint32_t count, const uint8_t* src)
{
    startProgressDots("Copying Data File to Flash Memory");
    pout(":Erasing Flash2\r");
    pout(":");
    GUI_RLE16_ForgetPosition();
    int ok = 1;
    uint32_t erased = 0;
    uint32_t addr = FLASH2;
    do {
        ok = ok && FlashEraseSector(addr);
        addr += SECTOR;
        erased += SECTOR;
        LedToggle();
        pout(".");
        addProgressDot();
    } while (erased < count && addr <= FLASH2_LAST);
    LedToggle();
    pout("\r:Programming Flash2\r");
    pout(":");
    uint32_t done = 0;
    while (ok && count - done >= 0x8000) {
        ok = program_after_validity(src, done, done + 0x8000);
        done += 0x8000;
        LedToggle();
        pout(".");
        addProgressDot();
    }
    if (ok && count > done)
        ok = program_after_validity(src, done, count);
    // The validity word last, as the serial programming writes it: a copy
    // cut short anywhere before leaves the erased word, which no start-up
    // takes for an image.
    if (ok)
        ok = FlashWriteBlock(FLASH2, src, count < VALIDITY_BYTES ? count : VALIDITY_BYTES);
    FlashLed(0);
    if (!ok) {
        // The chip refused: Flash2 holds no usable image now.
        pout("  FAILED!\r");
        endProgressDots("FAILED!");
        return 4;
    }
    pout("  DONE!\r");
    endProgressDots("DONE!");
    return 0;
}

// ---------------------------------------------------------------- progress display

#define DOTS_PER_LINE 64
int32_t dots;

static void progress_next_line(void)
{
    GUI_DispNextLine();
    GUI_GotoX(Origin_X + 10);
}

void startProgressDots(const char* title)
{
    GUIDEMO_SetFont("m12");
    GUI_Clear();
    GUI_DispStringAt(title, Origin_X + 10, Origin_Y + 10);
    progress_next_line();
    dots = 0;
}

void addProgressDot(void)
{
    SD_ledToggle();
    GUI_DispString(".");
    if (++dots >= DOTS_PER_LINE) {
        progress_next_line();
        dots = 0;
    }
    // Shown while the long work goes on, not when it is over.
    LCD_FlushFrameBuffer();
}

void endProgressDots(const char* text)
{
    progress_next_line();
    GUI_DispString(text);
}
