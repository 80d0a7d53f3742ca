// The GIF decoder: a walk over the blocks of the file from offset 0, the
// LZW decompression of GIF89a with codes of up to 12 bits, and the drawing
// of one image in runs of equal pixels.  Every entry takes its context from
// the memory pool and gives it back on every path.
#include "graphics/GUI_GIF.h"

#include <string.h>

#include "graphics/GUI_ALLOC.h"
#include "graphics/GUI_BMP.h"
#include "graphics/LCD.h"

#define GIF_MAX_SCREEN 2000
#define GIF_MAX_CODES 4096
#define GIF_STACK_SIZE 3002
#define GIF_STACK_LIMIT 2999


struct GifImageDesc {
    uint16_t Left, Top, Width, Height;
    uint8_t Flags;
    int NumColors;
};

struct GifContext {
    // LZW state.
    int CodeSize, ClearCode, EndCode, MaxCode, MaxCodeSize, OldCode, FirstChar;
    int MinCodeSize;
    int EndOfData;
    int CurBit, LastBit, LastByte;
    // Reading (the callback is in _Source).
    uint32_t Off;
    uint8_t aBuffer[2 + 255];
    uint16_t aPrefix[GIF_MAX_CODES];
    uint8_t aSuffix[GIF_MAX_CODES];
    uint8_t aStack[GIF_STACK_SIZE];
    int StackLen;
    GUI_ColorValue aColorTable[256];
    int NumColors;  // of the global table (also when the file has none)
};

static const uint16_t _aMaskTbl[16] = {0x0000, 0x0001, 0x0003, 0x0007, 0x000F, 0x001F, 0x003F, 0x007F,
                                       0x00FF, 0x01FF, 0x03FF, 0x07FF, 0x0FFF, 0x1FFF, 0x3FFF, 0x7FFF};
static const uint8_t _aInterlaceStep[4] = {8, 8, 4, 2};
static const uint8_t _aInterlaceStart[4] = {0, 4, 2, 1};

// One extension's data at a time: decodes run one after the other.
static uint8_t _aExtBuffer[256];

// The memory form reads through this.
static GUI_GetDataCallback* const GUI_GIF__GetData = GUI__GetDataMemFile;

// ------------------------------------------------------------ reading

// Reads n bytes at the running offset; 0 when they could all be had.
// Where the bytes come from; kept beside the context's pool block, not in
// it, so that the block takes the same room whatever the word size.  One
// decode runs at a time.
static struct {
    GUI_GetDataCallback* pfGetData;
    void* pParam;
} _Source;

static int GUI_GIF__ReadData(GifContext* c, unsigned n, const uint8_t** pp)
{
    const uint8_t* p = 0;
    if (n == 0)
        return 0;
    int got = _Source.pfGetData(_Source.pParam, &p, n, c->Off);
    if (got < (int)n || !p)
        return 1;
    c->Off += n;
    *pp = p;
    return 0;
}

static int _ReadU8(GifContext* c, int* pv)
{
    const uint8_t* p;
    if (GUI_GIF__ReadData(c, 1, &p))
        return 1;
    *pv = p[0];
    return 0;
}

static int _ReadBytes(GifContext* c, uint8_t* dst, unsigned n)
{
    const uint8_t* p;
    if (GUI_GIF__ReadData(c, n, &p))
        return 1;
    memcpy(dst, p, n);
    return 0;
}

// Passes over n bytes in requests of at most 256.
static int _Skip(GifContext* c, uint32_t n)
{
    const uint8_t* p;
    while (n) {
        unsigned k = n > 256 ? 256 : n;
        if (GUI_GIF__ReadData(c, k, &p))
            return 1;
        n -= k;
    }
    return 0;
}

// Reads a colour table of n entries into the context's table.
static int _ReadColorTable(GifContext* c, int n)
{
    const uint8_t* p;
    for (int i = 0; i < n; ++i) {
        if (GUI_GIF__ReadData(c, 3, &p))
            return 1;
        c->aColorTable[i] = (GUI_ColorValue)p[0] | ((GUI_ColorValue)p[1] << 8) | ((GUI_ColorValue)p[2] << 16);
    }
    return 0;
}

// Reads one data sub-block into dst; its length, 0 at the terminator, -1
// when it cannot be read.
static int _GetDataBlock(GifContext* c, uint8_t* dst)
{
    int len;
    if (_ReadU8(c, &len))
        return -1;
    if (len && _ReadBytes(c, dst, (unsigned)len))
        return -1;
    return len;
}

// Passes over data sub-blocks up to and including the terminator.
static int _SkipSubBlocks(GifContext* c)
{
    int len;
    for (;;) {
        if (_ReadU8(c, &len))
            return 1;
        if (len == 0)
            return 0;
        if (_Skip(c, (uint32_t)len))
            return 1;
    }
}

// Header check: signature, logical screen, global colour table.
static int _GetImageDimension(GifContext* c, int* pxSize, int* pySize)
{
    const uint8_t* p;
    if (GUI_GIF__ReadData(c, 6, &p))
        return 1;
    if (p[0] != 'G' || p[1] != 'I' || p[2] != 'F' || p[3] != '8' || (p[4] != '7' && p[4] != '9') || p[5] != 'a')
        return 1;
    if (GUI_GIF__ReadData(c, 4, &p))
        return 1;
    int xs = p[0] | (p[1] << 8), ys = p[2] | (p[3] << 8);
    if (xs > GIF_MAX_SCREEN || ys > GIF_MAX_SCREEN)
        return 1;
    if (GUI_GIF__ReadData(c, 3, &p))
        return 1;
    int flags = p[0];
    c->NumColors = 2 << (flags & 7);
    if ((flags & 0x80) && _ReadColorTable(c, c->NumColors))
        return 1;
    if (pxSize)
        *pxSize = xs;
    if (pySize)
        *pySize = ys;
    return 0;
}

// ------------------------------------------------------------ LZW

static void _ResetTable(GifContext* c)
{
    memset(c->aPrefix, 0, sizeof c->aPrefix);
    for (int k = 0; k < c->ClearCode; ++k)
        c->aSuffix[k] = (uint8_t)k;
    c->CodeSize = c->MinCodeSize + 1;
    c->MaxCodeSize = 2 * c->ClearCode;
    c->MaxCode = c->ClearCode + 2;
    c->OldCode = -1;
}

// Reads the minimum code size and sets the decompression up; 1 when the
// size cannot make a valid code space.
static int GUI_GIF__InitLZW(GifContext* c)
{
    int s;
    if (_ReadU8(c, &s))
        return 1;
    // A clear code of 4096 or more leaves no room for the table; a size of
    // 0 gives no pixel codes at all.
    if (s < 1 || s > 11)
        return 1;
    c->MinCodeSize = s;
    c->ClearCode = 1 << s;
    c->EndCode = c->ClearCode + 1;
    _ResetTable(c);
    c->EndOfData = 0;
    c->CurBit = c->LastBit = 0;
    c->LastByte = 2;
    c->aBuffer[0] = c->aBuffer[1] = 0;
    c->StackLen = 0;
    c->FirstChar = 0;
    return 0;
}

// The next code, least-significant bit first across the sub-blocks; -1 on
// a read failure or when the data ended.
static int _GetCode(GifContext* c)
{
    while (c->CurBit + c->CodeSize > c->LastBit) {
        if (c->EndOfData)
            return -1;
        // The last two bytes stay in front so a code may straddle blocks.
        c->aBuffer[0] = c->aBuffer[c->LastByte - 2];
        c->aBuffer[1] = c->aBuffer[c->LastByte - 1];
        int count = _GetDataBlock(c, &c->aBuffer[2]);
        if (count < 0)
            return -1;
        if (count == 0)
            c->EndOfData = 1;
        c->CurBit = c->CurBit - c->LastBit + 16;
        c->LastByte = 2 + count;
        c->LastBit = c->LastByte * 8;
    }
    int code = 0, bit = c->CurBit;
    for (int i = 0; i < c->CodeSize; ++i, ++bit)
        code |= ((c->aBuffer[bit >> 3] >> (bit & 7)) & 1) << i;
    c->CurBit += c->CodeSize;
    return code & _aMaskTbl[c->CodeSize];
}

// The next pixel value; -2 at the end code, -1 on a read failure or a code
// the table cannot have.
static int GUI_GIF__GetNextByte(GifContext* c)
{
    if (c->StackLen > 0)
        return c->aStack[--c->StackLen];
    int code = _GetCode(c);
    if (code < 0)
        return -1;
    if (code == c->ClearCode) {
        _ResetTable(c);
        do {
            code = _GetCode(c);
        } while (code == c->ClearCode);
        if (code < 0)
            return -1;
    }
    if (code == c->EndCode)
        return -2;
    if (c->OldCode < 0) {
        // The first code after a clear is a pixel of its own.
        if (code >= c->ClearCode)
            return -1;
        c->OldCode = c->FirstChar = code;
        return code;
    }
    // A code beyond the next free one cannot have come from an encoder.
    if (code > c->MaxCode || code >= GIF_MAX_CODES)
        return -1;
    int inCode = code;
    if (code == c->MaxCode) {
        c->aStack[c->StackLen++] = (uint8_t)c->FirstChar;
        code = c->OldCode;
    }
    while (code >= c->ClearCode) {
        c->aStack[c->StackLen++] = c->aSuffix[code];
        if (code == c->aPrefix[code] || c->StackLen >= GIF_STACK_LIMIT)
            return code;
        code = c->aPrefix[code];
    }
    c->FirstChar = c->aSuffix[code];
    c->aStack[c->StackLen++] = (uint8_t)c->FirstChar;
    if (c->MaxCode < GIF_MAX_CODES) {
        c->aPrefix[c->MaxCode] = (uint16_t)c->OldCode;
        c->aSuffix[c->MaxCode] = (uint8_t)c->FirstChar;
        c->MaxCode++;
        if (c->MaxCode >= c->MaxCodeSize && c->MaxCodeSize < GIF_MAX_CODES) {
            c->MaxCodeSize <<= 1;
            c->CodeSize++;
        }
    }
    c->OldCode = inCode;
    return c->aStack[--c->StackLen];
}

// ------------------------------------------------------------ drawing

static void _Fill(int x0, int y0, int x1, int y1)
{
    if (x0 <= x1 && y0 <= y1)
        LCD_FillRect(x0, y0, x1, y1);
}

// Disposal 2: the parts of the previous image that this one does not cover
// go back to the background colour.
static void _ClearUnusedPixels(int x0, int y0, const GifImageDesc* cur, const GifImageDesc* prev)
{
    if (!prev->Width || !prev->Height)
        return;
    int px0 = prev->Left, py0 = prev->Top, px1 = prev->Left + prev->Width - 1, py1 = prev->Top + prev->Height - 1;
    int cx0 = cur->Left, cy0 = cur->Top, cx1 = cur->Left + cur->Width - 1, cy1 = cur->Top + cur->Height - 1;
    LCD_SetColorIndex(LCD_GetBkColorIndex());
    int top = cy0 - 1 < py1 ? cy0 - 1 : py1;
    _Fill(x0 + px0, y0 + py0, x0 + px1, y0 + top);  // above
    int by0 = cy1 + 1 > py0 ? cy1 + 1 : py0;
    _Fill(x0 + px0, y0 + by0, x0 + px1, y0 + py1);  // below
    int my0 = cy0 > py0 ? cy0 : py0, my1 = cy1 < py1 ? cy1 : py1;
    _Fill(x0 + px0, y0 + my0, x0 + (cx0 - 1 < px1 ? cx0 - 1 : px1), y0 + my1);  // left
    _Fill(x0 + (cx1 + 1 > px0 ? cx1 + 1 : px0), y0 + my0, x0 + px1, y0 + my1);  // right
}

static void _DrawRun(int x0, int x1, int y, LCD_PixelIndex index)
{
    if (x0 == x1) {
        LCD_SetPixelIndex(x0, y, index);
    } else {
        LCD_SetColorIndex(index);
        LCD_DrawHLine(x0, y, x1);
    }
}

static int _DrawFromDataBlock(GifContext* c, const GifImageDesc* d, int x0, int y0, int trans, int disposal)
{
    GUI_PaletteRecord pal = {d->NumColors, 0, c->aColorTable};
    const LCD_PixelIndex* pTrans = LCD_GetpPalConvTable(&pal);
    if (!pTrans)
        return 1;
    if (GUI_GIF__InitLZW(c))
        return 1;
    LCD_PixelIndex bk = LCD_GetBkColorIndex();
    int interlace = d->Flags & 0x40, pass = 0, row = 0;
    for (int r = 0; r < d->Height; ++r) {
        int y = y0 + d->Top + row;
        int runStart = 0, runValue = -1;
        // An end code inside the row ends the image after the pixels that
        // came before it.
        int cols = d->Width, ended = 0;
        for (int col = 0; col < d->Width; ++col) {
            int v = GUI_GIF__GetNextByte(c);
            if (v == -2) {
                cols = col;
                ended = 1;
                break;
            }
            if (v < 0 || v >= d->NumColors)
                return 1;
            if (v != runValue) {
                if (runValue >= 0 && (runValue != trans || disposal == 2))
                    _DrawRun(x0 + d->Left + runStart, x0 + d->Left + col - 1, y,
                             runValue == trans ? bk : pTrans[runValue]);
                runStart = col;
                runValue = v;
            }
        }
        if (runValue >= 0 && (runValue != trans || disposal == 2))
            _DrawRun(x0 + d->Left + runStart, x0 + d->Left + cols - 1, y, runValue == trans ? bk : pTrans[runValue]);
        if (ended)
            break;
        if (!interlace) {
            ++row;
        } else {
            row += _aInterlaceStep[pass];
            while (row >= d->Height && pass < 3)
                row = _aInterlaceStart[++pass];
        }
    }
    // What is left of the data up to its terminator.
    if (!c->EndOfData)
        return _SkipSubBlocks(c);
    return 0;
}

// ------------------------------------------------------------ block walk

struct GifWalk {
    int Index;                  // the image wanted (-1: none, count them)
    int NumImages;              // images passed
    int Trans;                  // transparent colour index, -1 none
    int Disposal;               // of the wanted image
    int Delay;                  // of the wanted image
    int Draw;                   // draw the wanted image at x0, y0
    int x0, y0;
    int Found;
    GifImageDesc Desc;          // the wanted image's descriptor
    int CommentIndex;           // the comment wanted (-1: none)
    int NumComments;
    uint8_t* pComment;
    int CommentSize;
    int CommentLen;
    int XSize, YSize;           // the logical screen
};

static int _ReadExtension(GifContext* c, GifWalk* w)
{
    int label, len;
    if (_ReadU8(c, &label))
        return 1;
    switch (label) {
    case 0xF9:
        if (_ReadU8(c, &len) || len != 4 || _ReadBytes(c, _aExtBuffer, 4))
            return 1;
        w->Trans = (_aExtBuffer[0] & 1) ? _aExtBuffer[3] : -1;
        if (w->NumImages == w->Index) {
            w->Delay = _aExtBuffer[1] | (_aExtBuffer[2] << 8);
            w->Disposal = (_aExtBuffer[0] >> 2) & 7;
        }
        if (_ReadU8(c, &len) || len != 0)
            return 1;
        return 0;
    case 0xFE:
        if (w->NumComments++ == w->CommentIndex && w->CommentIndex >= 0) {
            int n = _GetDataBlock(c, _aExtBuffer);
            if (n < 0)
                return 1;
            if (n == 0)
                return 0;
            int k = n < w->CommentSize ? n : w->CommentSize;
            if (k > 0)
                memcpy(w->pComment, _aExtBuffer, (size_t)k);
            w->CommentLen = k;
        }
        return _SkipSubBlocks(c);
    case 0xFF:
    case 0x01:
        return _SkipSubBlocks(c);
    default:
        return 1;
    }
}

// Walks the blocks from the start; for drawing it stops after the wanted
// image, for the others at the trailer.
static int GUI_GIF__DrawFromFilePointer(GifContext* c, GifWalk* w)
{
    GifImageDesc prev = {0, 0, 0, 0, 0, 0};
    const uint8_t* p;
    if (_GetImageDimension(c, &w->XSize, &w->YSize))
        return 1;
    for (;;) {
        int intro;
        if (_ReadU8(c, &intro))
            return 1;
        if (intro == 0x3B)
            return 0;
        if (intro == 0x21) {
            if (_ReadExtension(c, w))
                return 1;
            continue;
        }
        if (intro != 0x2C)
            return 1;
        if (GUI_GIF__ReadData(c, 9, &p))
            return 1;
        GifImageDesc d;
        d.Left = (uint16_t)(p[0] | (p[1] << 8));
        d.Top = (uint16_t)(p[2] | (p[3] << 8));
        d.Width = (uint16_t)(p[4] | (p[5] << 8));
        d.Height = (uint16_t)(p[6] | (p[7] << 8));
        d.Flags = p[8];
        // A local colour table is this image's alone: only the wanted
        // image's is read, so that the context's table still holds the
        // global one for an image that has none.
        const int localColors = (d.Flags & 0x80) ? 2 << (d.Flags & 7) : 0;
        d.NumColors = localColors ? localColors : c->NumColors;
        if (w->NumImages == w->Index - 1)
            prev = d;
        if (w->NumImages == w->Index) {
            if (localColors && _ReadColorTable(c, localColors))
                return 1;
            w->Found = 1;
            w->Desc = d;
            if (!w->Draw)
                return 0;
            if (w->Disposal == 2)
                _ClearUnusedPixels(w->x0, w->y0, &d, &prev);
            return _DrawFromDataBlock(c, &d, w->x0, w->y0, w->Trans, w->Disposal);
        }
        int s;
        if (_Skip(c, 3u * (uint32_t)localColors) || _ReadU8(c, &s) || _SkipSubBlocks(c))
            return 1;
        // A graphic control extension speaks for the one image after it.
        w->Trans = -1;
        w->NumImages++;
    }
}

// ------------------------------------------------------------ entries

static GifContext* _Open(GUI_ALLOC_Handle* ph, GUI_GetDataCallback* pfGetData, void* p)
{
    // The block keeps the room of the two addresses it once held (4 bytes
    // each on the board), so that what fits the pool beside it stays as it
    // was.
    *ph = GUI_ALLOC_AllocZero((int32_t)sizeof(GifContext) + 2 * 4);
    if (!*ph)
        return 0;
    GifContext* c = (GifContext*)GUI_ALLOC_LockH(*ph);
    _Source.pfGetData = pfGetData;
    _Source.pParam = p;
    c->Off = 0;
    return c;
}

static void _Close(GUI_ALLOC_Handle h)
{
    GUI_ALLOC_UnlockH(h);
    GUI_ALLOC_Free(h);
}

static void _InitWalk(GifWalk* w)
{
    memset(w, 0, sizeof *w);
    w->Index = -1;
    w->Trans = -1;
    w->CommentIndex = -1;
}

// Walks the blocks of the file from the start with w, in a context of its
// own: 0 when the walk succeeded.
static int _Walk(GUI_GetDataCallback* pfGetData, void* p, GifWalk* w)
{
    GUI_ALLOC_Handle h;
    GifContext* c = _Open(&h, pfGetData, p);
    if (!c)
        return 1;
    const int r = GUI_GIF__DrawFromFilePointer(c, w);
    _Close(h);
    return r;
}

int GUI_GIF_DrawSubEx(GUI_GetDataCallback* pfGetData, void* p, int x0, int y0, int Index)
{
    if (Index < 0)
        return 1;
    GifWalk w;
    _InitWalk(&w);
    w.Index = Index;
    w.Draw = 1;
    w.x0 = x0;
    w.y0 = y0;
    const LCD_PixelIndex saved = LCD_GetColorIndex();
    const int r = _Walk(pfGetData, p, &w);
    LCD_SetColorIndex(saved);
    return r;
}

int GUI_GIF_DrawEx(GUI_GetDataCallback* pfGetData, void* p, int x0, int y0)
{
    return GUI_GIF_DrawSubEx(pfGetData, p, x0, y0, 0);
}

int GUI_GIF_GetInfoEx(GUI_GetDataCallback* pfGetData, void* p, GUI_GifFileInfo* pInfo)
{
    GifWalk w;
    _InitWalk(&w);
    const int r = _Walk(pfGetData, p, &w);
    if (!r && pInfo) {
        pInfo->XSize = w.XSize;
        pInfo->YSize = w.YSize;
        pInfo->NumImages = w.NumImages;
    }
    return r;
}

int GUI_GIF_GetImageInfoEx(GUI_GetDataCallback* pfGetData, void* p, GUI_GifFrameInfo* pInfo, int Index)
{
    if (Index < 0)
        return 1;
    GifWalk w;
    _InitWalk(&w);
    w.Index = Index;
    const int r = _Walk(pfGetData, p, &w);
    if (!r && w.Found && pInfo) {
        pInfo->xPos = w.Desc.Left;
        pInfo->yPos = w.Desc.Top;
        pInfo->XSize = w.Desc.Width;
        pInfo->YSize = w.Desc.Height;
        pInfo->Delay = w.Delay;
    }
    return r;
}

int GUI_GIF_GetCommentEx(GUI_GetDataCallback* pfGetData, void* p, uint8_t* pBuffer, int MaxSize, int Index)
{
    if (Index < 0)
        return 1;
    GifWalk w;
    _InitWalk(&w);
    w.CommentIndex = Index;
    w.pComment = pBuffer;
    w.CommentSize = pBuffer ? MaxSize : 0;
    const int r = _Walk(pfGetData, p, &w);
    return (r == 0 && w.CommentLen > 0) ? 0 : 1;
}

static int _GetSize(GUI_GetDataCallback* pfGetData, void* p, uint32_t off)
{
    GUI_ALLOC_Handle h;
    GifContext* c = _Open(&h, pfGetData, p);
    if (!c)
        return 0;
    const uint8_t* q;
    int v = 0;
    c->Off = off;
    if (!GUI_GIF__ReadData(c, 2, &q))
        v = q[0] | (q[1] << 8);
    _Close(h);
    return v;
}

int GUI_GIF_GetXSizeEx(GUI_GetDataCallback* pfGetData, void* p) { return _GetSize(pfGetData, p, 6); }
int GUI_GIF_GetYSizeEx(GUI_GetDataCallback* pfGetData, void* p) { return _GetSize(pfGetData, p, 8); }

// ---- the memory forms

int GUI_GIF_Draw(const void* pGIF, uint32_t NumBytes, int x0, int y0)
{
    GUI_MemFile f = {(const uint8_t*)pGIF, pGIF ? NumBytes : 0};
    return GUI_GIF_DrawSubEx(GUI_GIF__GetData, &f, x0, y0, 0);
}

int GUI_GIF_DrawSub(const void* pGIF, uint32_t NumBytes, int x0, int y0, int Index)
{
    GUI_MemFile f = {(const uint8_t*)pGIF, pGIF ? NumBytes : 0};
    return GUI_GIF_DrawSubEx(GUI_GIF__GetData, &f, x0, y0, Index);
}

int GUI_GIF_GetInfo(const void* pGIF, uint32_t NumBytes, GUI_GifFileInfo* pInfo)
{
    GUI_MemFile f = {(const uint8_t*)pGIF, pGIF ? NumBytes : 0};
    return GUI_GIF_GetInfoEx(GUI_GIF__GetData, &f, pInfo);
}

int GUI_GIF_GetImageInfo(const void* pGIF, uint32_t NumBytes, GUI_GifFrameInfo* pInfo, int Index)
{
    GUI_MemFile f = {(const uint8_t*)pGIF, pGIF ? NumBytes : 0};
    return GUI_GIF_GetImageInfoEx(GUI_GIF__GetData, &f, pInfo, Index);
}

int GUI_GIF_GetComment(const void* pGIF, uint32_t NumBytes, uint8_t* pBuffer, int MaxSize, int Index)
{
    GUI_MemFile f = {(const uint8_t*)pGIF, pGIF ? NumBytes : 0};
    return GUI_GIF_GetCommentEx(GUI_GIF__GetData, &f, pBuffer, MaxSize, Index);
}

int GUI_GIF_GetXSize(const void* pGIF, uint32_t NumBytes)
{
    GUI_MemFile f = {(const uint8_t*)pGIF, pGIF ? NumBytes : 0};
    return GUI_GIF_GetXSizeEx(GUI_GIF__GetData, &f);
}

int GUI_GIF_GetYSize(const void* pGIF, uint32_t NumBytes)
{
    GUI_MemFile f = {(const uint8_t*)pGIF, pGIF ? NumBytes : 0};
    return GUI_GIF_GetYSizeEx(GUI_GIF__GetData, &f);
}
