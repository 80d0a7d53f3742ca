#include "app/KM_bitmaps.h"

#include <stdio.h>
#include <string.h>

#include "app/KM_agif.h"
#include "app/KM_reply.h"
#include "app/KM_scan.h"
#include "app/KM_syscmds.h"
#include "app/command.h"
#include "app/parse_command.h"
#include "board/lcd_driver.h"
#include "graphics/GUI.h"
#include "graphics/GUI_Bitmap.h"
#include "graphics/LCDLin32.h"
#include "storage/KM_eeprom.h"
#include "storage/KM_extmem.h"

static ExtMemDirEntry* entry_at(int n)
{
    return n >= 1 ? ExtMemEntry(n) : 0;
}

static int is_bitmap_type(uint8_t t)
{
    return t == EXTMEM_BITMAP || t == EXTMEM_BITMAP_RLE16 || t == EXTMEM_BITMAP_TRANS;
}

// The image in flash is read-only: its stored addresses are resolved each
// time instead of being rewritten.
static int image_writable(void)
{
    return ExtMemBuffer == ExtMemRamBuffer;
}

// The bitmap record at an entry's address, when it lies inside the image.
static const ExtBitmapRecord* record_at(const ExtMemDirEntry* e)
{
    return e ? (const ExtBitmapRecord*)ExtMemObject(e->address, sizeof(ExtBitmapRecord), 4) : 0;
}

// The bitmap record of a bitmap entry.
static const ExtBitmapRecord* record_of(const ExtMemDirEntry* e)
{
    return e && is_bitmap_type(e->type) ? record_at(e) : 0;
}

static const uint8_t* pixels_of(const ExtBitmapRecord* r)
{
    return (const uint8_t*)hw_ptr(ExtMemResolve(r->pData));
}

// The pixel data of a plain or transparent bitmap when every row of it, at
// stride bytes a row, lies inside the image; 0 otherwise.
static const uint8_t* pixels_in_image(const ExtBitmapRecord* r, uint32_t stride)
{
    return ExtMemObject(r->pData, (uint64_t)stride * r->YSize, 1);
}

ExtMemDirEntry* KM_GetExtBitmap(int n)
{
    ExtMemDirEntry* e = entry_at(n);
    // A record off its word boundary cannot be read on the board (alignment
    // checking is on): such an entry is no bitmap.
    if (!e || !is_bitmap_type(e->type) || ExtMemResolve(e->address) % 4)
        return 0;
    if (image_writable()) {
        e->address = ExtMemResolve(e->address);
        if (ExtBitmapRecord* r = (ExtBitmapRecord*)record_of(e))
            r->pData = ExtMemResolve(r->pData);
    }
    return e;
}

const uint8_t* KM_GetExtGIF(int n, uint32_t* size)
{
    ExtMemDirEntry* e = entry_at(n);
    if (!e || e->type != EXTMEM_GIF)
        return 0;
    // The file must lie inside the image; an image of offsets is resolved.
    const uint8_t* at = ExtMemObject(e->address, e->size, 1);
    if (!at)
        return 0;
    if (size)
        *size = e->size;
    return at;
}

int KM_BitmapWidth(const ExtMemDirEntry* entry)
{
    const ExtBitmapRecord* r = record_of(entry);
    return r ? r->XSize : 0;
}

int KM_BitmapHeight(const ExtMemDirEntry* entry)
{
    const ExtBitmapRecord* r = record_of(entry);
    return r ? r->YSize : 0;
}

uint16_t KM_BitmapKey(const ExtMemDirEntry* entry)
{
    const ExtBitmapRecord* r = record_of(entry);
    return r ? (uint16_t)r->pPal : 0;
}

void KM_DrawCompressedBitmap(const ExtBitmapRecord* record, int x, int y, uint32_t dataLength)
{
    GUI__DrawBitmapRLE16(x, y, record->XSize, record->YSize, pixels_of(record), dataLength, 1, 1, 1);
}

// Bytes of an entry's pixel data that lie inside both the entry and the image.
static uint32_t data_length(const ExtMemDirEntry* e, const ExtBitmapRecord* r)
{
    const ExtMemHeader* h = ExtMemValidHeader();
    uint32_t base = ExtMemBase(), data = ExtMemResolve(r->pData);
    if (!h || data < base || data - base > h->size || e->size < sizeof(ExtBitmapRecord))
        return 0;
    uint32_t inImage = h->size - (data - base), inEntry = e->size - (uint32_t)sizeof(ExtBitmapRecord);
    return inImage < inEntry ? inImage : inEntry;
}

int KM_DrawBitmap(const ExtMemDirEntry* entry, int x, int y)
{
    const ExtBitmapRecord* r = record_of(entry);
    if (!r)
        return 0;
    if (entry->type == EXTMEM_BITMAP_RLE16) {
        KM_DrawCompressedBitmap(r, x, y, data_length(entry, r));
    } else if (entry->type == EXTMEM_BITMAP_TRANS) {
        KM_DrawBitmapTr(entry, x, y, (uint16_t)r->pPal);
    } else {
        // A copy with the pixel address resolved; plain RGB565 needs no
        // palette or method table.
        const uint32_t row = ((uint32_t)r->XSize * r->BitsPerPixel + 7) / 8;
        const uint8_t* pixels = pixels_in_image(r, r->BytesPerLine > row ? r->BytesPerLine : row);
        if (pixels) {
            GUI_BitmapRecord bm = {r->XSize, r->YSize, r->BytesPerLine, r->BitsPerPixel, pixels, 0, 0};
            GUI_DrawBitmap(&bm, x, y);
        }
    }
    return 1;
}

int KM_DrawBitmapW(const ExtMemDirEntry* entry, int x, int y)
{
    const ExtBitmapRecord* r = record_of(entry);
    if (!r)
        return 0;
    wvr(y + r->YSize);
    return KM_DrawBitmap(entry, x, y);
}

// Copies the source rectangle (sx0, sy0)..(sx1, sy1), inclusive, of a plain
// bitmap to the screen at (dx, dy), skipping the key when one is given.
// Whatever would fall off the screen is left out.
static void copy_block(const ExtBitmapRecord* r, int dx, int dy, int sx0, int sy0, int sx1, int sy1, int key)
{
    if (dx < 0) {
        sx0 -= dx;
        dx = 0;
    }
    if (dy < 0) {
        sy0 -= dy;
        dy = 0;
    }
    if (sx1 - sx0 >= LCD_WIDTH - dx)
        sx1 = sx0 + LCD_WIDTH - dx - 1;
    if (sy1 - sy0 >= LCD_HEIGHT - dy)
        sy1 = sy0 + LCD_HEIGHT - dy - 1;
    if (sx0 < 0 || sy0 < 0 || sx1 >= r->XSize || sy1 >= r->YSize || sx1 < sx0 || sy1 < sy0)
        return;
    const uint8_t* src = pixels_in_image(r, (uint32_t)r->XSize * 2);
    if (!src)
        return;
    for (int row = sy0; row <= sy1; ++row) {
        const uint8_t* s = src + (uint32_t)row * r->XSize * 2 + sx0 * 2;
        uint16_t* d = LCD_L0_PixelAddress(dx, dy + row - sy0);
        for (int col = sx0; col <= sx1; ++col, s += 2, ++d) {
            uint16_t v = (uint16_t)(s[0] | (s[1] << 8));
            if (key < 0 || v != (uint16_t)key)
                *d = v;
        }
    }
}

void KM_DrawBitmapTr(const ExtMemDirEntry* entry, int x, int y, uint16_t key)
{
    const ExtBitmapRecord* r = record_of(entry);
    if (!r || entry->type == EXTMEM_BITMAP_RLE16)
        return;
    copy_block(r, x, y, 0, 0, r->XSize - 1, r->YSize - 1, key);
}

static int clip_abs(const ExtMemDirEntry* entry, int x, int y, int x0, int y0, int x1, int y1, int key)
{
    const ExtBitmapRecord* r = record_of(entry);
    if (!r || entry->type == EXTMEM_BITMAP_RLE16)
        return 0;
    if (x0 < x || y0 < y || x1 < x0 || y1 < y0)
        return 0;
    // Kept inside the bitmap and the screen: only what lies in both is
    // drawn.
    int sx1 = x1 - x, sy1 = y1 - y;
    if (sx1 >= r->XSize)
        sx1 = r->XSize - 1;
    if (sy1 >= r->YSize)
        sy1 = r->YSize - 1;
    copy_block(r, x0, y0, x0 - x, y0 - y, sx1, sy1, key);
    return 1;
}

int KM_DrawBitmapClipAbs(const ExtMemDirEntry* entry, int x, int y, int x0, int y0, int x1, int y1)
{
    return clip_abs(entry, x, y, x0, y0, x1, y1, -1);
}

int KM_DrawBitmapTrClipAbs(const ExtMemDirEntry* entry, int x, int y, int x0, int y0, int x1, int y1, uint16_t key)
{
    return clip_abs(entry, x, y, x0, y0, x1, y1, key);
}

int KM_DrawBitmapCutOff(const ExtMemDirEntry* entry, int x, int y, int sx0, int sy0, int sx1, int sy1)
{
    const ExtBitmapRecord* r = record_of(entry);
    if (!r || entry->type == EXTMEM_BITMAP_RLE16)
        return 0;
    int fits = 1;
    if (sx0 < 0 || sy0 < 0)
        return 0;
    if (sx1 - sx0 > r->XSize || sx1 > r->XSize) {
        sx1 = r->XSize;
        fits = 0;
    }
    if (sy1 - sy0 > r->YSize || sy1 > r->YSize) {
        sy1 = r->YSize;
        fits = 0;
    }
    copy_block(r, x, y, sx0, sy0, sx1 - 1, sy1 - 1, -1);
    return fits;
}

int screenCompressedBitmap(const ExtMemDirEntry* entry)
{
    if (entry && (entry->type & 0xF) == EXTMEM_BITMAP_RLE16) {
        txString(":bitmap must be uncompressed\r");
        return 0;
    }
    return 1;
}

uint32_t KM_Index2Color256(uint8_t i)
{
    if (i >= 120 && i <= 135)
        return 0x111111u * (uint32_t)(i - 120);
    if (i >= 108 && i <= 147)
        return 0;
    int k = i > 147 ? i - 40 : i;
    uint32_t r = (uint32_t)(k % 6) * 0x33, g = (uint32_t)((k / 6) % 6) * 0x33, b = (uint32_t)(k / 36) * 0x33;
    return r | (g << 8) | (b << 16);
}

void KM_Reset_LUT(uint16_t* palette)
{
    for (int i = 0; i < 256; ++i) {
        GUI_ColorValue c = GUI_Index2Color((LCD_PixelIndex)i);
        uint16_t r = (c >> 4) & 0xF, g = (c >> 12) & 0xF, b = (c >> 20) & 0xF;
        palette[i] = (uint16_t)((r << 8) | (g << 4) | b);
    }
}

// ---------------------------------------------------------------- commands

int cmdDrawBitmap(int n, int x, int y)
{
    if (!pointAtOrigin(&x, &y))
        return CMD_FAIL;
    if (ExtMemDirEntry* e = KM_GetExtBitmap(n)) {
        KM_DrawBitmap(e, x, y);
        return CMD_OK;
    }
    uint32_t size = 0;
    if (KM_GetExtGIF(n, &size) && size)
        return agif_play_once(n, x, y) ? CMD_OK : CMD_FAIL;
    return CMD_FAIL;
}

int cmdDrawBitmapKey(int n, int x, int y, unsigned key)
{
    ExtMemDirEntry* e = KM_GetExtBitmap(n);
    if (!e || e->type == EXTMEM_BITMAP_RLE16 || !pointAtOrigin(&x, &y))
        return CMD_FAIL;
    KM_DrawBitmapTr(e, x, y, (uint16_t)key);
    return CMD_OK;
}

int cmdDrawBitmapCentred(int n, int x, int y)
{
    ExtMemDirEntry* e = KM_GetExtBitmap(n);
    if (!e)
        return CMD_FAIL;
    const long long left = (long long)x + Origin_X - KM_BitmapWidth(e) / 2;
    const long long top = (long long)y + Origin_Y - KM_BitmapHeight(e) / 2;
    if (left < 0 || top < 0) {
        txString(":argument error\r");
        return CMD_FAIL;
    }
    if (!coordInRange(left) || !coordInRange(top))
        return CMD_FAIL;
    KM_DrawBitmap(e, (int)left, (int)top);
    return CMD_OK;
}

int cmdDrawBitmapClipped(int n, int x, int y, int x0, int y0, int x1, int y1)
{
    ExtMemDirEntry* e = KM_GetExtBitmap(n);
    if (!e)
        return CMD_FAIL;
    // The place and the clipping corners, relative to it, all in the room.
    if (!pointAtOrigin(&x, &y) || !coordInRange((long long)x + x0) || !coordInRange((long long)y + y0) ||
        !coordInRange((long long)x + x1) || !coordInRange((long long)y + y1))
        return CMD_FAIL;
    // A record outside the image is no bitmap to draw.
    if (!record_of(e))
        return CMD_FAIL;
    switch (e->type) {
    case EXTMEM_BITMAP:
        return KM_DrawBitmapClipAbs(e, x, y, x + x0, y + y0, x + x1, y + y1) ? CMD_OK : CMD_FAIL;
    case EXTMEM_BITMAP_TRANS:
        return KM_DrawBitmapTrClipAbs(e, x, y, x + x0, y + y0, x + x1, y + y1, KM_BitmapKey(e)) ? CMD_OK : CMD_FAIL;
    default: {
        GUI_Area saved = GUI_Context.ClipRect;
        GUI_Area clip = {(int16_t)(x + x0), (int16_t)(y + y0), (int16_t)(x + x1), (int16_t)(y + y1)};
        GUI_SetClipRect(&clip);
        KM_DrawBitmap(e, x, y);
        LCD_SetClipRectEx(&saved);
        return CMD_OK;
    }
    }
}

// Where a strip from off of len rows or columns ends.  An end past 32 bits
// lies past every bitmap as well: it is held there and the strip is cut to
// the bitmap.
static int strip_end(int off, int len)
{
    const int64_t end = (int64_t)off + len;
    return end > INT32_MAX ? INT32_MAX : (int)end;
}

int cmdDrawBitmapStrip(int n, int x, int y, int dir, int len, int off)
{
    ExtMemDirEntry* e = KM_GetExtBitmap(n);
    if (!e) {
        txString(":invalid bitmap\r");
        return CMD_FAIL;
    }
    if (!screenCompressedBitmap(e))
        return CMD_FAIL;
    if (e->type == EXTMEM_BITMAP_TRANS) {
        txString(":transparency not supported\r");
        txString(":invalid bitmap\r");
        return CMD_FAIL;
    }
    if (!pointAtOrigin(&x, &y) || len < 0 || off < 0 || x < 0 || y < 0)
        return CMD_FAIL;
    int w = KM_BitmapWidth(e), h = KM_BitmapHeight(e);
    int fits;
    if (dir == 0) {
        if (len > LCD_HEIGHT - y)
            len = LCD_HEIGHT - y;
        int cols = w < LCD_WIDTH - x ? w : LCD_WIDTH - x;
        wvr(y + len);
        fits = KM_DrawBitmapCutOff(e, x, y, 0, off, cols, strip_end(off, len));
    } else {
        if (len > LCD_WIDTH - x)
            len = LCD_WIDTH - x;
        int rows = h < LCD_HEIGHT - y ? h : LCD_HEIGHT - y;
        wvr(y + rows);
        fits = KM_DrawBitmapCutOff(e, x, y, off, 0, strip_end(off, len), rows);
    }
    return fits ? CMD_OK : CMD_FAIL;
}

static void list_entry(int i, const ExtMemDirEntry* e, int dump)
{
    char line[96];
    snprintf(line, sizeof line, "  %02d: type %0X @ %06lx size %lu\r", i, e->type, (unsigned long)e->address,
             (unsigned long)e->size);
    txString(line);
    // A record outside the image lists as 0x0 and is not dumped.
    const ExtBitmapRecord* r = record_at(e);
    static const ExtBitmapRecord none = {};
    const ExtBitmapRecord* shown = r ? r : &none;
    int w = 0, h = 0;
    switch (e->type & 0xF) {
    case 0: txString("    Blank Record\r"); break;
    case 1:
        snprintf(line, sizeof line, "    Uncompressed Bitmap: %dx%d\r", shown->XSize, shown->YSize);
        txString(line);
        break;
    case 2:
        snprintf(line, sizeof line, "    Compressed Bitmap: %dx%d\r", shown->XSize, shown->YSize);
        txString(line);
        break;
    case 3: txString("    Macro Definitions\r"); break;
    case 4: txString("    User Font\r"); break;
    case 5:
        snprintf(line, sizeof line, "    Uncompressed Transparent Bitmap: %dx%d (0x%X)\r", shown->XSize,
                 shown->YSize, (unsigned)shown->pPal);
        txString(line);
        break;
    case 6:
        w = agif_width(e);
        h = agif_height(e);
        snprintf(line, sizeof line, "    GIF: %dx%d, %d frames\r", w, h, agif_frame_count(e));
        txString(line);
        break;
    default: txString("    Unknown record type!\r"); break;
    }
    if (dump && r && ((e->type & 0xF) == 1 || (e->type & 0xF) == 5))
        DumpBitMapStructure(r);
}

int cmdListBitmaps(char* cmd)
{
    const ExtMemHeader* h = ExtMemValidHeader();
    if (!h) {
        txString(":External Memory not valid\r");
        return CMD_FAIL;
    }
    int dump = !strncmp(cmd, "lsbmp", 5);
    int n;
    if (KM_sscanf(cmd, "%*s %d", &n) == 1) {
        if (n < 0 || n >= h->count) {
            txString(":index outside valid range\r");
            return CMD_FAIL;
        }
        list_entry(n, ExtMemEntry(n), dump);
        return CMD_OK;
    }
    char line[64];
    snprintf(line, sizeof line, "Records: %d\r", h->count);
    txString(line);
    for (int i = 0; i < h->count; ++i)
        list_entry(i, ExtMemEntry(i), dump);
    txString("\r");
    uint32_t kb = ExtMemUsed() / 1024;
    snprintf(line, sizeof line, "Total Used %dKB (%s)\r", kb ? (int)kb : 1,
             ExtMemBuffer == ExtMemRamBuffer ? "DRAM" : "FLASH");
    txString(line);
    return CMD_OK;
}

int cmdSplash(char* cmd)
{
    int n;
    if (KM_sscanf(cmd, "*SPL %d", &n) != 1) {
        char line[16];
        snprintf(line, sizeof line, "%d\r", eepromData.SPL == EE_ON ? eepromData.SPLbitmap : 0);
        txString(line);
        return CMD_OK;
    }
    if (n == 0) {
        eepromData.SPL = 0;
        eepromData.SPLbitmap = 0;
        KM_EEPROM_Save();
        return CMD_OK;
    }
    if (n < 0 || n > 255 || !KM_GetExtBitmap(n))
        return CMD_FAIL;
    eepromData.SPLbitmap = (uint8_t)n;
    eepromData.SPL = EE_ON;
    KM_EEPROM_Save();
    return CMD_OK;
}
