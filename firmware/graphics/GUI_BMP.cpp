#include "graphics/GUI_BMP.h"

#include "graphics/GUI.h"
#include "graphics/GUI_ALLOC.h"
#include "graphics/LCD.h"

// The largest picture the reader accepts, in either direction.
#define BMP_MAX_SIZE 1024
#define BMP_HEADER_SIZE 54
// The file header before the info header, and the longest info header
// writers use (the 124-byte one of ImageMagick's default output; GIMP's has
// 108 bytes).
#define BMP_FILE_HEADER_SIZE 14
#define BMP_INFO_MAX 124

uint16_t GUI__Read16(const uint8_t** ppData)
{
    const uint8_t* p = *ppData;
    *ppData = p + 2;
    return (uint16_t)(p[0] | (p[1] << 8));
}

uint32_t GUI__Read32(const uint8_t** ppData)
{
    const uint8_t* p = *ppData;
    *ppData = p + 4;
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

// ------------------------------------------------------------ reading

struct BmpReader {
    GUI_GetDataCallback* pfGetData;
    uint32_t Off;
    void* pParam;
};

struct BmpHeader {
    int32_t xSize, ySize;
    int bpp;
    uint32_t compression;
    int numColors;     // palette entries
    uint32_t palette;  // file offset of the palette
    uint32_t data;     // file offset of the pixel rows, 0 when not given
};

// Memory source: the file image lies whole in memory.
int GUI__GetDataMemFile(void* p, const uint8_t** ppData, unsigned NumBytes, uint32_t Off)
{
    const GUI_MemFile* f = (const GUI_MemFile*)p;
    if (Off >= f->NumBytes)
        return 0;
    uint32_t n = f->NumBytes - Off;
    if (n > NumBytes)
        n = NumBytes;
    *ppData = f->pData + Off;
    return (int)n;
}

static int GUI_BMP__GetData(void* p, const uint8_t** ppData, unsigned NumBytes, uint32_t Off)
{
    *ppData = (const uint8_t*)p + Off;
    return (int)NumBytes;
}

// 0 when all n bytes came; the offset then moves on by n.
static int GUI_BMP__ReadData(BmpReader* r, const uint8_t** ppData, unsigned n, int reset)
{
    if (reset)
        r->Off = 0;
    if (r->pfGetData(r->pParam, ppData, n, r->Off) != (int)n)
        return 1;
    r->Off += n;
    return 0;
}

static int GUI_BMP__Init(BmpReader* r, BmpHeader* h)
{
    const uint8_t* p;
    if (GUI_BMP__ReadData(r, &p, BMP_HEADER_SIZE, 1))
        return 1;
    uint16_t type = GUI__Read16(&p);
    p += 8;  // file size, reserved words
    h->data = GUI__Read32(&p);
    const uint32_t infoSize = GUI__Read32(&p);
    // The palette follows the info header, whatever its length; a length
    // no writer uses leaves it where the common 40-byte header has it.
    h->palette = infoSize > 40 && infoSize <= BMP_INFO_MAX ? BMP_FILE_HEADER_SIZE + infoSize : BMP_HEADER_SIZE;
    h->xSize = (int32_t)GUI__Read32(&p);
    h->ySize = (int32_t)GUI__Read32(&p);
    p += 2;  // planes
    h->bpp = GUI__Read16(&p);
    h->compression = GUI__Read32(&p);
    p += 12;
    uint32_t used = GUI__Read32(&p);
    if (type != 0x4D42)
        return 1;
    switch (h->bpp) {
    case 1: h->numColors = 2; break;
    case 4: h->numColors = 16; break;
    case 8: h->numColors = 256; break;
    case 16:
    case 24:
    case 32: h->numColors = 0; break;
    default: return 1;
    }
    if (h->bpp <= 8 && used) {
        if (used > 256)
            return 1;
        h->numColors = (int)used;
    }
    if (h->compression > 2)
        return 1;
    // A width of 0 or less would give a row length of 0 or less, and a
    // height beyond -1024 a top-down picture larger than any accepted one:
    // both are refused like any other picture out of range.
    if (h->xSize <= 0 || h->xSize > BMP_MAX_SIZE)
        return 1;
    if (h->ySize > BMP_MAX_SIZE || h->ySize < -BMP_MAX_SIZE)
        return 1;
    return 0;
}

// Reads the palette and leaves the offset at the pixel rows: where the
// header says they begin, unless that is inside the header or the palette
// (then right after the palette).
static int GUI_BMP__ReadPalette(BmpReader* r, const BmpHeader* h)
{
    const int n = h->numColors;
    r->Off = h->palette;
    for (int i = 0; i < n; i++) {
        const uint8_t* p;
        if (GUI_BMP__ReadData(r, &p, 4, 0))
            return 1;
        GUI_ColorValue c = ((uint32_t)p[0] << 16) | ((uint32_t)p[1] << 8) | p[2];
        LCD__aConvTable[i] = LCD_Color2Index(c);
    }
    if (h->data > r->Off)
        r->Off = h->data;
    return 0;
}

static int row_length(int bpp, int32_t w)
{
    switch (bpp) {
    case 1: return ((w + 31) >> 5) * 4;
    case 4: return ((4 * w + 31) >> 5) * 4;
    case 8: return (w + 3) & ~3;
    case 16: return ((16 * w + 31) >> 5) * 4;
    case 24: return ((24 * w + 31) >> 5) * 4;
    default: return 4 * w;
    }
}

// Rows of the picture that lie inside the clip rectangle, in file order:
// the file row index of the first visible row, how many, the screen row of
// the first and the direction (-1 bottom-up files, +1 top-down files).
struct RowSpan {
    int first, count, y, dy;
};

static RowSpan visible_rows(int y0, int32_t ySize)
{
    const GUI_Area& c = GUI_Context.ClipRect;
    RowSpan s = {0, 0, 0, 0};
    int h = ySize < 0 ? -ySize : ySize;
    int top = y0 < c.y0 ? c.y0 : y0;
    int bottom = y0 + h - 1 > c.y1 ? c.y1 : y0 + h - 1;
    if (bottom < top)
        return s;
    s.count = bottom - top + 1;
    if (ySize > 0) {
        s.first = y0 + h - 1 - bottom;
        s.y = bottom;
        s.dy = -1;
    } else {
        s.first = top - y0;
        s.y = top;
        s.dy = 1;
    }
    return s;
}

// Columns inside the clip rectangle: first pixel and how many.
static int visible_columns(int x0, int32_t xSize, int* pFirst)
{
    const GUI_Area& c = GUI_Context.ClipRect;
    int left = x0 < c.x0 ? c.x0 : x0;
    int right = x0 + xSize - 1 > c.x1 ? c.x1 : x0 + xSize - 1;
    *pFirst = left - x0;
    return right < left ? 0 : right - left + 1;
}

// Uncompressed 1, 4 and 8 bits per pixel: one request per visible row for
// its visible bytes, drawn with the palette.
static int draw_indexed(BmpReader* r, const BmpHeader* h, int x0, int y0)
{
    if (GUI_BMP__ReadPalette(r, h))
        return 1;
    if (h->ySize == 0)
        return 1;
    const uint32_t dataStart = r->Off;
    const int rowLen = row_length(h->bpp, h->xSize);
    int first;
    const int n = visible_columns(x0, h->xSize, &first);
    const RowSpan s = visible_rows(y0, h->ySize);
    if (n == 0 || s.count == 0)
        return 0;
    // Columns left of the clip rectangle are skipped in whole bytes.
    int skip = first;
    if (h->bpp == 4)
        skip &= ~1;
    else if (h->bpp == 1)
        skip &= ~7;
    const int npix = first + n - skip;
    const unsigned bytes = (unsigned)(npix * h->bpp + 7) / 8;
    const uint32_t skipBytes = (uint32_t)(skip * h->bpp) / 8;
    for (int k = 0; k < s.count; k++) {
        const uint8_t* p;
        r->Off = dataStart + (uint32_t)(s.first + k) * (uint32_t)rowLen + skipBytes;
        if (GUI_BMP__ReadData(r, &p, bytes, 0))
            return 1;
        LCD_DrawBitmap(x0 + skip, s.y + k * s.dy, npix, 1, 1, 1, h->bpp, (int)bytes, p, LCD__aConvTable);
    }
    return 0;
}

// ------------------------------------------------------------ line buffer

// One line of converted pixels, drawn in one call when full or at the end
// of a line.
static struct {
    int x0;
    int x;
    int y;
    int xSize;
    GUI_ALLOC_Handle hBuffer;
    uint8_t* pBuffer;
    uint8_t* pWrite;
    int bytesPerPixel;
    int bitsPerPixel;
    int capacity;
    int held;
    int dy;  // -1 upward (bottom-up files), +1 downward
} _Context;

static void flush_line(void)
{
    if (_Context.held) {
        LCD_DrawBitmap(_Context.x, _Context.y, _Context.held, 1, 1, 1, _Context.bitsPerPixel,
                       _Context.held * _Context.bytesPerPixel, _Context.pBuffer, 0);
        _Context.x += _Context.held;
        _Context.held = 0;
        _Context.pWrite = _Context.pBuffer;
    }
}

static void _NextPixel_Start(int x0, int y, int x1, int dy)
{
    const int layerBpp = LCD_GetBitsPerPixel();
    _Context.x0 = _Context.x = x0;
    _Context.y = y;
    _Context.dy = dy;
    _Context.xSize = x1 - x0 + 1;
    _Context.bitsPerPixel = layerBpp <= 8 ? 8 : layerBpp <= 16 ? 16 : 32;
    _Context.bytesPerPixel = _Context.bitsPerPixel / 8;
    int32_t size = _Context.xSize * _Context.bytesPerPixel;
    int32_t max = GUI_ALLOC_GetMaxSize();
    if (max < size)
        size = max - max % _Context.bytesPerPixel;
    _Context.capacity = size > 0 ? size / _Context.bytesPerPixel : 0;
    _Context.hBuffer = _Context.capacity ? GUI_ALLOC_AllocNoInit(size) : 0;
    if (!_Context.hBuffer)
        _Context.capacity = 0;
    _Context.pBuffer = _Context.hBuffer ? (uint8_t*)GUI_ALLOC_h2p(_Context.hBuffer) : 0;
    _Context.pWrite = _Context.pBuffer;
    _Context.held = 0;
}

static void _NextPixel_SetPixel(LCD_PixelIndex index)
{
    // An empty pool leaves no buffer: each pixel is then set on its own.
    if (!_Context.capacity) {
        LCD_SetPixelIndex(_Context.x++, _Context.y, index);
        return;
    }
    switch (_Context.bytesPerPixel) {
    case 1: *_Context.pWrite = (uint8_t)index; break;
    case 2: *(uint16_t*)_Context.pWrite = (uint16_t)index; break;
    default: *(uint32_t*)_Context.pWrite = index; break;
    }
    _Context.pWrite += _Context.bytesPerPixel;
    if (++_Context.held == _Context.capacity)
        flush_line();
}

static void _NextPixel_NextLine(void)
{
    flush_line();
    _Context.y += _Context.dy;
    _Context.x = _Context.x0;
}

static void _NextPixel_End(void)
{
    flush_line();
    if (_Context.hBuffer)
        GUI_ALLOC_Free(_Context.hBuffer);
    _Context.hBuffer = 0;
    _Context.pBuffer = _Context.pWrite = 0;
    _Context.capacity = 0;
}

// 16, 24 and 32 bits per pixel: visible pixels of each visible row are
// converted one by one into the line buffer.  Top-down files are drawn top
// row first, downward, so they appear upright like bottom-up ones.
static int _DrawBitmap_RGB(BmpReader* r, const BmpHeader* h, int x0, int y0, int rowLen, int bytesPerPixel)
{
    if (h->ySize == 0)
        return 1;
    if (GUI_BMP__ReadPalette(r, h))  // none here: the rows' offset
        return 1;
    const uint32_t dataStart = r->Off;
    int first;
    const int n = visible_columns(x0, h->xSize, &first);
    const RowSpan s = visible_rows(y0, h->ySize);
    if (n == 0 || s.count == 0)
        return 0;
    LCD_Color2IndexFunc* toIndex = LCD_GetpfColor2IndexEx(0);
    _NextPixel_Start(x0 + first, s.y, x0 + first + n - 1, s.dy);
    int result = 0;
    for (int k = 0; k < s.count; k++) {
        const uint8_t* p;
        r->Off = dataStart + (uint32_t)(s.first + k) * (uint32_t)rowLen + (uint32_t)(first * bytesPerPixel);
        if (GUI_BMP__ReadData(r, &p, (unsigned)(n * bytesPerPixel), 0)) {
            result = 1;
            break;
        }
        for (int i = 0; i < n; i++, p += bytesPerPixel) {
            GUI_ColorValue c;
            if (bytesPerPixel == 2)
                c = LCD_Index2Color_M555((LCD_PixelIndex)((p[0] | (p[1] << 8)) & 0x7FFF));
            else
                c = ((uint32_t)p[0] << 16) | ((uint32_t)p[1] << 8) | p[2];
            _NextPixel_SetPixel(toIndex(c));
        }
        if (k + 1 < s.count)
            _NextPixel_NextLine();
    }
    _NextPixel_End();
    return result;
}

// ------------------------------------------------------------ RLE8 / RLE4

static void fill_colour0_rect(int x0, int y0, int x1, int y1)
{
    LCD_SetColorIndex(LCD__aConvTable[0]);
    LCD_FillRect(x0, y0, x1, y1);
}

static int draw_rle(BmpReader* r, const BmpHeader* h, int x0, int y0, int rle4)
{
    if (GUI_BMP__ReadPalette(r, h))
        return 1;
    const int w = h->xSize;
    const int height = h->ySize < 0 ? -h->ySize : h->ySize;
    const int xEnd = x0 + w - 1;
    int x = x0, y = y0 + height - 1;
    const LCD_PixelIndex saved = LCD_GetColorIndex();
    int result = 1;
    for (;;) {
        const uint8_t* p;
        if (GUI_BMP__ReadData(r, &p, 2, 0))
            break;
        const int count = p[0], value = p[1];
        // Encoders pad rows to whole words with pixels past the width, and
        // a delta may leave the picture: nothing is drawn outside it.
        const int inside = y >= y0 ? (x + count - 1 > xEnd ? xEnd - x + 1 : count) : 0;
        if (count) {
            if (inside <= 0) {
            } else if (!rle4) {
                LCD_SetColorIndex(LCD__aConvTable[value]);
                LCD_DrawHLine(x, y, x + inside - 1);
            } else {
                const int hi = value >> 4, lo = value & 15;
                if (hi == lo) {
                    LCD_SetColorIndex(LCD__aConvTable[hi]);
                    LCD_DrawHLine(x, y, x + inside - 1);
                } else {
                    for (int i = 0; i < inside; i++) {
                        LCD_SetColorIndex(LCD__aConvTable[(i & 1) ? lo : hi]);
                        LCD_DrawPixel(x + i, y);
                    }
                }
            }
            x += count;
        } else if (value == 0) {  // end of line
            if (x <= xEnd)  // the pixel at the edge is still undrawn
                fill_colour0_rect(x, y, xEnd, y);
            // Encoders end the top row with an end of line too; the
            // picture is whole when end of bitmap follows it at once.
            if (--y < y0) {
                if (GUI_BMP__ReadData(r, &p, 2, 0) == 0 && p[0] == 0 && p[1] == 1)
                    result = 0;
                break;
            }
            x = x0;
        } else if (value == 1) {  // end of bitmap
            if (x <= xEnd)  // the pixel at the edge is still undrawn
                fill_colour0_rect(x, y, xEnd, y);
            if (y > y0)
                fill_colour0_rect(x0, y0, xEnd, y - 1);
            result = 0;
            break;
        } else if (value == 2) {  // delta
            if (GUI_BMP__ReadData(r, &p, 2, 0))
                break;
            const int dx = p[0], dy = p[1];
            fill_colour0_rect(x, y - dy < y0 ? y0 : y - dy, x + dx > xEnd ? xEnd : x + dx, y);
            x += dx;
            y -= dy;
        } else {  // absolute run of value pixels
            const unsigned bytes = rle4 ? (unsigned)(value + 1) >> 1 : (unsigned)value;
            if (GUI_BMP__ReadData(r, &p, bytes, 0))
                break;
            const int n = y >= y0 ? (x + value - 1 > xEnd ? xEnd - x + 1 : value) : 0;
            if (n > 0)
                LCD_DrawBitmap(x, y, n, 1, 1, 1, rle4 ? 4 : 8, (int)bytes, p, LCD__aConvTable);
            x += value;
            if (bytes & 1) {
                if (GUI_BMP__ReadData(r, &p, 1, 0))
                    break;
            }
        }
    }
    LCD_SetColorIndex(saved);
    return result;
}

// ------------------------------------------------------------ entries

int GUI_BMP_DrawEx(GUI_GetDataCallback* pfGetData, void* p, int x0, int y0)
{
    BmpReader r = {pfGetData, 0, p};
    BmpHeader h;
    if (GUI_BMP__Init(&r, &h))
        return 1;
    if (h.compression == 1)
        return draw_rle(&r, &h, x0, y0, 0);
    if (h.compression == 2)
        return draw_rle(&r, &h, x0, y0, 1);
    switch (h.bpp) {
    case 1:
    case 4:
    case 8: return draw_indexed(&r, &h, x0, y0);
    case 16: return _DrawBitmap_RGB(&r, &h, x0, y0, row_length(16, h.xSize), 2);
    case 24: return _DrawBitmap_RGB(&r, &h, x0, y0, row_length(24, h.xSize), 3);
    default: return _DrawBitmap_RGB(&r, &h, x0, y0, row_length(32, h.xSize), 4);
    }
}

int GUI_BMP_Draw(const void* pFileData, int x0, int y0)
{
    return GUI_BMP_DrawEx(GUI_BMP__GetData, (void*)pFileData, x0, y0);
}

static int get_size(GUI_GetDataCallback* pfGetData, void* p, int height)
{
    const uint8_t* d;
    if (pfGetData(p, &d, 26, 0) != 26)
        return 1;
    d += height ? 22 : 18;
    // A top-down picture stores its height negative; the magnitude of the
    // most negative value does not fit an int.
    const uint32_t v = GUI__Read32(&d);
    const uint32_t magnitude = v & 0x80000000u ? 0u - v : v;
    return magnitude > 0x7FFFFFFFu ? 0x7FFFFFFF : (int)magnitude;
}

int GUI_BMP_GetXSizeEx(GUI_GetDataCallback* pfGetData, void* p) { return get_size(pfGetData, p, 0); }
int GUI_BMP_GetYSizeEx(GUI_GetDataCallback* pfGetData, void* p) { return get_size(pfGetData, p, 1); }
int GUI_BMP_GetXSize(const void* pFileData) { return get_size(GUI_BMP__GetData, (void*)pFileData, 0); }
int GUI_BMP_GetYSize(const void* pFileData) { return get_size(GUI_BMP__GetData, (void*)pFileData, 1); }

// ------------------------------------------------------------ writing

static void send16(GUI_CallbackSendByte* pf, uint32_t v, void* p)
{
    pf((uint8_t)v, p);
    pf((uint8_t)(v >> 8), p);
}

static void send32(GUI_CallbackSendByte* pf, uint32_t v, void* p)
{
    send16(pf, v & 0xFFFF, p);
    send16(pf, v >> 16, p);
}

void GUI_BMP_SerializeEx(GUI_CallbackSendByte* pfSendByte, int x0, int y0, int xSize, int ySize, void* p)
{
    const int b = LCD_GetBitsPerPixel();
    const int indexed = b <= 8;
    const uint32_t entries = indexed ? 1u << b : 0;
    const uint32_t dataOff = BMP_HEADER_SIZE + 4 * entries;
    const uint32_t dataBytes = indexed ? (uint32_t)xSize : 2u * (uint32_t)xSize;
    const uint32_t rowLen = (dataBytes + 3) & ~3u;
    pfSendByte('B', p);
    pfSendByte('M', p);
    send32(pfSendByte, dataOff + rowLen * (uint32_t)ySize, p);
    send32(pfSendByte, 0, p);
    send32(pfSendByte, dataOff, p);
    send32(pfSendByte, 40, p);
    send32(pfSendByte, (uint32_t)xSize, p);
    send32(pfSendByte, (uint32_t)ySize, p);
    send16(pfSendByte, 1, p);
    send16(pfSendByte, indexed ? 8 : 16, p);
    send32(pfSendByte, 0, p);
    for (int i = 0; i < 3; i++)
        send32(pfSendByte, 0, p);
    send32(pfSendByte, entries, p);
    send32(pfSendByte, 0, p);
    for (uint32_t i = 0; i < entries; i++) {
        GUI_ColorValue c = GUI_Index2Color(i);
        pfSendByte((uint8_t)(c >> 16), p);
        pfSendByte((uint8_t)(c >> 8), p);
        pfSendByte((uint8_t)c, p);
        pfSendByte(0, p);
    }
    for (int y = y0 + ySize - 1; y >= y0; y--) {
        for (int x = x0; x < x0 + xSize; x++) {
            if (indexed) {
                pfSendByte((uint8_t)LCD_GetPixelIndex(x, y), p);
            } else {
                GUI_ColorValue c = LCD_GetPixelColor(x, y);
                uint32_t red = (31 * (c & 0xFF) + 127) / 255;
                uint32_t green = (31 * ((c >> 8) & 0xFF) + 127) / 255;
                uint32_t blue = (31 * ((c >> 16) & 0xFF) + 127) / 255;
                send16(pfSendByte, red << 10 | green << 5 | blue, p);
            }
        }
        for (uint32_t i = dataBytes; i < rowLen; i++)
            pfSendByte(0, p);
    }
}

void GUI_BMP_Serialize(GUI_CallbackSendByte* pfSendByte, void* p)
{
    GUI_BMP_SerializeEx(pfSendByte, 0, 0, LCD_GetXSize(), LCD_GetYSize(), p);
}
