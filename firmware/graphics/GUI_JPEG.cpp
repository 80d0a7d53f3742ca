// The JPEG decoder.  One decoder state in the graphics pool holds the
// tables and the reader; the picture is produced line by line from MCU rows,
// each put through the accurate integer inverse DCT and the colour
// conversion, and drawn by a pixel writer.
//
// A sequential frame whose first scan carries every component is decoded
// MCU row by MCU row as the lines need it.  Progressive frames, and
// sequential frames split into several scans, keep the coefficients of
// whole MCU rows in one store per component: of the whole image when the
// pool holds it, else of a band of MCU rows.  In bands the file is read once
// per band, from the top; each scan's data for the next band is remembered
// where the band before left it, so every scan (refinements too) is decoded
// exactly once over all bands and a banded picture equals the whole-image
// one.
//
// A restart interval whose data is damaged costs only its own MCUs (grey,
// or what the earlier scans gave them): decoding picks up again at the next
// restart marker.  Without a marker to go on from, the file is cut short.
#include "graphics/GUI_JPEG.h"

#include <string.h>

#include "graphics/GUI.h"
#include "graphics/GUI_ALLOC.h"
#include "graphics/LCD.h"

#define JPEG_REQUEST 4096u      // bytes asked of the read callback at a time
#define JPEG_MAX_MCU_BLOCKS 10  // blocks of one MCU of a scan of several components
#define JPEG_BLOCK_BYTES 128    // one block of 64 coefficients in a store
#define JPEG_ALLOC_COST 16      // what a pool block costs beyond its payload, rounding included
#define JPEG_MAX_SHIFT 13       // largest successive-approximation bit position of 8-bit samples
#define JPEG_MAX_DC_CATEGORY 11 // largest DC difference category of 8-bit samples

enum {
    M_SOF0 = 0xC0,
    M_SOF1 = 0xC1,
    M_SOF2 = 0xC2,
    M_DHT = 0xC4,
    M_JPG = 0xC8,
    M_DAC = 0xCC,
    M_RST0 = 0xD0,
    M_SOI = 0xD8,
    M_EOI = 0xD9,
    M_SOS = 0xDA,
    M_DQT = 0xDB,
    M_DRI = 0xDD,
    M_TEM = 0x01,
    M_APP0 = 0xE0,
    M_APP14 = 0xEE,
};

// ------------------------------------------------------------ constant tables

// Position k of the coded (zig-zag) order to the natural index; runs that
// pass position 63 land on the last coefficient.
static const uint8_t _aCoeffOrder[80] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13,
    6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51, 58, 59, 52, 45, 38, 31,
    39, 46, 53, 60, 61, 54, 47, 55, 62, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63};

// A received value v of s bits stands for v + offset[s] when v < test[s].
static const int32_t _aExtendTest[16] = {0,     1,     2,     4,      8,      16,     32,     64,
                                         128,   256,   512,   1024,   2048,   4096,   8192,   16384};
static const int32_t _aExtendOffset[16] = {0,     -1,    -3,    -7,     -15,    -31,    -63,    -127,
                                           -255,  -511,  -1023, -2047,  -4095,  -8191,  -16383, -32767};

struct JpegLimitTable {
    uint8_t a[768];
};

// Entry 256 + v is v clamped to 0..255, for v from -256 to 511.
static constexpr JpegLimitTable _MakeLimit()
{
    JpegLimitTable t{};
    for (int i = 0; i < 768; ++i)
        t.a[i] = (uint8_t)(i < 256 ? 0 : i > 511 ? 255 : i - 256);
    return t;
}
static constexpr JpegLimitTable _Limit = _MakeLimit();
static const uint8_t* const _aLimit = _Limit.a;

// The same clamped values as the red, green and blue fields of RGB565.
struct Jpeg565Tables {
    uint16_t R[768], G[768], B[768];
};

static constexpr Jpeg565Tables _Make565()
{
    Jpeg565Tables t{};
    for (int i = 0; i < 768; ++i) {
        const uint8_t v = _Limit.a[i];
        t.R[i] = (uint16_t)LCD__RGB2Index_M565(v, 0, 0);
        t.G[i] = (uint16_t)LCD__RGB2Index_M565(0, v, 0);
        t.B[i] = (uint16_t)LCD__RGB2Index_M565(0, 0, v);
    }
    return t;
}
static constexpr Jpeg565Tables _a565 = _Make565();

// YCbCr to RGB per chroma sample value i, x = i - 128: red and blue terms
// scaled and rounded, the green terms kept at 16 fraction bits (their sum is
// shifted once).
struct JpegColorTables {
    int32_t CrToR[256], CbToB[256], CrToG[256], CbToG[256];
};

static constexpr JpegColorTables _MakeColorTables()
{
    JpegColorTables t{};
    for (int i = 0; i < 256; ++i) {
        const int32_t x = i - 128;
        t.CrToR[i] = (91882 * x + 32768) >> 16;
        t.CbToB[i] = (116130 * x + 32768) >> 16;
        t.CrToG[i] = -46802 * x;
        t.CbToG[i] = -22554 * x + 32768;
    }
    return t;
}
static constexpr JpegColorTables _aColor = _MakeColorTables();

// ------------------------------------------------------------ state

// A Huffman table as the file gives it, with its decoding tables.
struct JpegHuff {
    uint8_t aCount[16];      // codes of each length 1..16
    uint8_t aVal[256];       // symbols in code order
    uint8_t Defined;
    uint16_t aLookup[256];   // next 8 bits: length << 8 | symbol for codes of up to 8 bits, 0 for longer ones
    int32_t aMaxCode[17];    // per length the largest code, -1 when there is none
    int32_t aValOffset[17];  // code c of length l is aVal[c + aValOffset[l]]
};

struct JpegComp {
    uint8_t Id;
    uint8_t H, V;            // sampling factors (1 x 1 for a grey image)
    uint8_t Tq;              // quantisation table
    uint8_t DCSlot, ACSlot;  // Huffman slots of the current scan (0-3, 4-7)
    int16_t Pred;            // DC predictor of the current scan; predictions run modulo 2^16
    int32_t PlaneOffset;     // the component's samples of one MCU row in the sample buffer
    int32_t PlaneWidth;
    int32_t BlocksAcross;    // coefficient store: blocks per block row,
    int32_t StoreRows;       // block rows held,
    int32_t StoreStart;      // and the first of them
};

// The reader: the bytes of the last request and, for entropy-coded data,
// the bit buffer.  At a marker or at the end of the file the bit buffer is
// filled with 1-bits that stand in for data; taking one of them means the
// data ran out.
struct JpegInput {
    uint32_t Off;            // file offset of the next request
    uint32_t NumLeft;        // bytes of the last request not taken yet (from _Addr.pCur)
    uint8_t aPushBack[4];    // bytes given back, taken last in first out (a marker met in the data)
    uint8_t NumPushBack;
    uint8_t Ended;           // the callback had no more bytes
    uint32_t BitBuf;         // next bit in bit 31
    int32_t BitCnt;
    int32_t NumFillBits;     // of BitCnt, the stand-in 1-bits at its end
};

// Where the next band's part of a scan begins: the reader and the values the
// scan carries from block to block.
struct JpegResume {
    uint32_t Pos;
    uint32_t BitBuf;
    int32_t BitCnt, NumFillBits;
    uint8_t Ended;
    uint8_t NextRestart;
    uint16_t RestartsLeft;
    uint32_t SkipMCUs;
    uint32_t EOBRUN;
    int16_t aPred[4];
};

struct JpegScanPos {
    uint32_t End;     // file position of the marker after the scan's data; 0 while not known
    JpegResume Next;
};

// The state of a decode, in a block of the pool: no addresses in it (they
// are in _Addr), so that it takes the same room in the pool whatever the
// word size, and a file fits the pool or not alike on the board and on the
// simulated board.
struct GUI_JPEG_DCONTEXT {
    JpegInput In;
    // Frame.
    uint16_t XSize, YSize;
    uint8_t NumComps;
    uint8_t IsProgressive;
    // What the file says of its colours before its first scan.
    uint8_t SawJFIF, SawAdobe, AdobeTransform;
    uint8_t RGB;              // three components coded as RGB, drawn without a colour transform
    uint8_t HMax, VMax;
    JpegComp aComp[4];
    // Tables.
    uint16_t aaQuant[4][64];  // natural order
    JpegHuff aHuff[8];        // DC tables 0-3, AC tables 0-3
    uint16_t RestartInterval;
    // Scan.
    uint8_t NumScanComps;
    uint8_t aScanComp[4];     // frame index of each scan component
    uint8_t Ss, Se, Ah, Al;
    uint8_t NextRestart;      // n of the RSTn expected next
    uint16_t RestartsLeft;
    uint32_t SkipMCUs;        // MCUs of damaged restart intervals still to pass over
    uint32_t EOBRUN;
    // The last look for a restart marker that found another: from any file
    // position in [LookFrom, LookEnd] the next marker is LookMarker (-1: none).
    uint32_t LookFrom, LookEnd;
    int LookMarker;
    int32_t ScanMCUsAcross, ScanMCUsDown;
    uint8_t NumMCUBlocks;
    uint8_t aBlockComp[JPEG_MAX_MCU_BLOCKS];  // per block of an MCU: component and place in it
    uint8_t aBlockH[JPEG_MAX_MCU_BLOCKS];
    uint8_t aBlockV[JPEG_MAX_MCU_BLOCKS];
    // Geometry.
    uint8_t Mode;             // 0 grey; 1 4:4:4; 2 4:2:2; 3 4:4:0; 4 4:2:0
    uint8_t BlocksPerMCU;
    uint8_t MCUWidth, MCUHeight;
    int32_t MCUsPerRow, NumMCURows;
    uint8_t MultiScan;        // coefficients go through the stores
    // Output.
    uint8_t BytesPerPixel;
    uint8_t IndexBytes;       // of one pixel in the index line
    uint8_t Direct565;        // lines go straight into the index line as RGB565
    int32_t BytesPerLine;
    int32_t LinesLeftInRow, LineInRow, NextMCURow;
    // Pool blocks.
    GUI_ALLOC_Handle hCoeff, hSamples, hLine, hIndexLine, hScanPos;
    GUI_ALLOC_Handle ahStore[4];
    // Bands (in MCU rows).
    uint8_t Banding;
    int32_t BandMCURows, NumBands, BandStart;
    int32_t NumScans;
    int16_t aScratch[64];     // blocks the band does not keep are decoded here
};

// The addresses a decode works with; one decode runs at a time.
static struct {
    GUI_GetDataCallback* pfGetData;
    void* pParam;
    const uint8_t* pCur;  // bytes of the last request not taken yet
    // Addresses of the pool blocks, valid during one step.
    int16_t* pCoeff;
    uint8_t* pSamples;
    JpegScanPos* pScanPos;
    int16_t* apStore[4];
} _Addr;

typedef GUI_JPEG_DCONTEXT JpegState;
typedef int JpegBlockFunc(JpegState* p, int ci, int32_t col, int32_t row);
typedef GUI_ColorValue JpegGetColorFunc(const uint8_t** ppCursor, int Step);
typedef void JpegWriteFunc(JpegState* p, int x0, int y, JpegGetColorFunc* pfGetColor,
                           LCD_Color2IndexFunc* pfColor2Index);

// ------------------------------------------------------------ steps and pool

static JpegState* _Lock(GUI_ALLOC_Handle h)
{
    JpegState* p = (JpegState*)GUI_ALLOC_LockH(h);
    _Addr.pCoeff = (int16_t*)GUI_ALLOC_h2p(p->hCoeff);
    _Addr.pSamples = (uint8_t*)GUI_ALLOC_h2p(p->hSamples);
    _Addr.pScanPos = (JpegScanPos*)GUI_ALLOC_h2p(p->hScanPos);
    for (int c = 0; c < 4; ++c)
        _Addr.apStore[c] = (int16_t*)GUI_ALLOC_h2p(p->ahStore[c]);
    return p;
}

static void _Unlock(GUI_ALLOC_Handle h)
{
    GUI_ALLOC_UnlockH(h);
}

// One step of a draw, with the state locked for its time.
static int _Step(GUI_ALLOC_Handle h, int (*pfStep)(JpegState* p))
{
    JpegState* p = _Lock(h);
    const int r = pfStep(p);
    _Unlock(h);
    return r;
}

// ------------------------------------------------------------ byte input

// The memory form reads through this.
static GUI_GetDataCallback* const GUI_JPEG__GetData = GUI__GetDataMemFile;

static void _PushBack(JpegInput* in, uint8_t b)
{
    if (in->NumPushBack < sizeof in->aPushBack)
        in->aPushBack[in->NumPushBack++] = b;
}

static int _GetStuff(JpegInput* in, uint8_t* pb)
{
    *pb = in->aPushBack[--in->NumPushBack];
    return 0;
}

// The next byte of the file; 1 when there is none.
static int _GetU8(JpegState* p, uint8_t* pb)
{
    JpegInput* in = &p->In;
    if (in->NumPushBack)
        return _GetStuff(in, pb);
    if (!in->NumLeft) {
        if (in->Ended)
            return 1;
        // Any count the callback can serve will do.
        const uint8_t* q = 0;
        int n = _Addr.pfGetData(_Addr.pParam, &q, JPEG_REQUEST, in->Off);
        if (n <= 0 || !q) {
            in->Ended = 1;
            return 1;
        }
        if ((unsigned)n > JPEG_REQUEST)
            n = JPEG_REQUEST;
        _Addr.pCur = q;
        in->NumLeft = (uint32_t)n;
        in->Off += (uint32_t)n;
    }
    in->NumLeft--;
    *pb = *_Addr.pCur++;
    return 0;
}

static int _GetU16(JpegState* p, uint16_t* pv)
{
    uint8_t a, b;
    if (_GetU8(p, &a) || _GetU8(p, &b))
        return 1;
    *pv = (uint16_t)(a << 8 | b);
    return 0;
}

static int _GetBytes(JpegState* p, uint8_t* dst, int n)
{
    for (int i = 0; i < n; ++i)
        if (_GetU8(p, dst + i))
            return 1;
    return 0;
}

// Drops n bytes; what the last request did not bring is passed over by
// moving the file offset, without reading it.
static int _SkipInputData(JpegState* p, uint32_t n)
{
    JpegInput* in = &p->In;
    while (n && in->NumPushBack) {
        in->NumPushBack--;
        n--;
    }
    uint32_t k = n < in->NumLeft ? n : in->NumLeft;
    _Addr.pCur += k;
    in->NumLeft -= k;
    n -= k;
    if (n) {
        if (in->Ended || in->Off > 0xFFFFFFFFu - n)
            return 1;
        in->Off += n;
    }
    return 0;
}

// File position of the next byte to be taken.
static uint32_t _Tell(const JpegInput* in)
{
    return in->Off - in->NumLeft - in->NumPushBack;
}

static void _EmptyBits(JpegInput* in)
{
    in->BitBuf = 0;
    in->BitCnt = 0;
    in->NumFillBits = 0;
}

static void _SetPos(JpegState* p, uint32_t pos)
{
    JpegInput* in = &p->In;
    in->Off = pos;
    in->NumLeft = 0;
    in->NumPushBack = 0;
    in->Ended = 0;
    _EmptyBits(in);
}

// ------------------------------------------------------------ entropy-coded bits

// Fills the bit buffer to more than 24 bits.  0xFF 0x00 is a data byte
// 0xFF; 0xFF and another byte is a marker, which is given back for the
// marker reader while 1-bits stand in for data.
static void _GetBitsNoMarker(JpegState* p)
{
    JpegInput* in = &p->In;
    while (in->BitCnt <= 24) {
        uint32_t b = 0xFF;
        int fill = 1;
        uint8_t c, m;
        if (!in->NumPushBack && !_GetU8(p, &c)) {
            if (c != 0xFF) {
                b = c;
                fill = 0;
            } else {
                int got;
                do
                    got = !_GetU8(p, &m);
                while (got && m == 0xFF);
                if (got && m == 0) {
                    fill = 0;
                } else if (got) {
                    _PushBack(in, m);
                    _PushBack(in, 0xFF);
                }
            }
        }
        in->BitBuf |= b << (24 - in->BitCnt);
        in->BitCnt += 8;
        if (fill)
            in->NumFillBits += 8;
    }
}

// The bit buffer while blocks are decoded, apart from the state so that it
// can live in registers; taken from the state and given back around it.
struct JpegBits {
    uint32_t Buf;
    int32_t Cnt;
};

static inline void _BitsBegin(JpegBits& b, const JpegState* p)
{
    b.Buf = p->In.BitBuf;
    b.Cnt = p->In.BitCnt;
}

static inline void _BitsEnd(const JpegBits& b, JpegState* p)
{
    p->In.BitBuf = b.Buf;
    p->In.BitCnt = b.Cnt;
}

static inline void _FillBits(JpegState* p, JpegBits& b)
{
    JpegInput* in = &p->In;
    while (b.Cnt <= 24) {
        if (!in->NumLeft || in->NumPushBack || *_Addr.pCur == 0xFF) {
            _BitsEnd(b, p);
            _GetBitsNoMarker(p);
            _BitsBegin(b, p);
            return;
        }
        b.Buf |= (uint32_t)*_Addr.pCur++ << (24 - b.Cnt);
        in->NumLeft--;
        b.Cnt += 8;
    }
}

// n bits (1 to 16) as an unsigned value.
static inline int32_t _GetBits(JpegState* p, JpegBits& b, int n)
{
    if (b.Cnt < n)
        _FillBits(p, b);
    const int32_t v = (int32_t)(b.Buf >> (32 - n));
    b.Buf <<= n;
    b.Cnt -= n;
    return v;
}

static inline int32_t _Extend(int32_t v, int s)
{
    return v < _aExtendTest[s] ? v + _aExtendOffset[s] : v;
}

// The next Huffman-coded symbol; -1 when no code matches.
static inline int _DecodeHuff(JpegState* p, JpegBits& b, const JpegHuff* h)
{
    if (b.Cnt < 16)
        _FillBits(p, b);
    const uint32_t e = h->aLookup[b.Buf >> 24];
    if (e) {
        b.Buf <<= e >> 8;
        b.Cnt -= (int32_t)(e >> 8);
        return (int)(e & 0xFF);
    }
    for (int l = 9; l <= 16; ++l) {
        const int32_t code = (int32_t)(b.Buf >> (32 - l));
        if (code <= h->aMaxCode[l]) {
            b.Buf <<= l;
            b.Cnt -= l;
            return h->aVal[code + h->aValOffset[l]];
        }
    }
    return -1;
}

// Decoding took bits that were not in the file.
static inline int _FillUsed(const JpegState* p)
{
    return p->In.NumFillBits > p->In.BitCnt;
}

// ------------------------------------------------------------ tables

// Codes of the given counts fit their lengths (canonical assignment).
static int _CountsFit(const uint8_t* aCount)
{
    uint32_t code = 0;
    for (int l = 1; l <= 16; ++l) {
        code += aCount[l - 1];
        if (code > (1u << l))
            return 0;
        code <<= 1;
    }
    return 1;
}

static void _CreateHuffmanTable(JpegHuff* h)
{
    memset(h->aLookup, 0, sizeof h->aLookup);
    int32_t code = 0, k = 0;
    for (int l = 1; l <= 16; ++l) {
        const int n = h->aCount[l - 1];
        h->aValOffset[l] = k - code;
        h->aMaxCode[l] = n ? code + n - 1 : -1;
        for (int i = 0; i < n; ++i, ++code, ++k)
            if (l <= 8) {
                const uint16_t e = (uint16_t)(l << 8 | h->aVal[k]);
                for (int32_t j = code << (8 - l); j < (code + 1) << (8 - l); ++j)
                    h->aLookup[j] = e;
            }
        code <<= 1;
    }
}

// DHT: every table is checked before its slot is changed.
static int _ReadDHT(JpegState* p)
{
    uint16_t len;
    if (_GetU16(p, &len) || len < 2)
        return 1;
    int32_t left = len - 2;
    while (left > 16) {
        uint8_t t, aCount[16], aVal[256];
        if (_GetU8(p, &t) || _GetBytes(p, aCount, 16))
            return 1;
        const int tc = t >> 4, th = t & 15;
        if (tc > 1 || th > 3)
            return 1;
        int sum = 0;
        for (int i = 0; i < 16; ++i)
            sum += aCount[i];
        if (sum > 255 || sum > left - 17 || !_CountsFit(aCount) || _GetBytes(p, aVal, sum))
            return 1;
        if (tc == 0)
            for (int i = 0; i < sum; ++i)
                if (aVal[i] > JPEG_MAX_DC_CATEGORY)
                    return 1;
        JpegHuff* h = &p->aHuff[th + 4 * tc];
        memcpy(h->aCount, aCount, sizeof aCount);
        memcpy(h->aVal, aVal, (size_t)sum);
        h->Defined = 1;
        _CreateHuffmanTable(h);
        left -= 17 + sum;
    }
    return _SkipInputData(p, (uint32_t)left);
}

// DQT: the segment must hold its tables exactly.
static int _ReadDQT(JpegState* p)
{
    uint16_t len;
    if (_GetU16(p, &len) || len < 2)
        return 1;
    int32_t left = len - 2;
    while (left > 0) {
        uint8_t t;
        if (_GetU8(p, &t))
            return 1;
        const int pq = t >> 4, tq = t & 15;
        const int32_t n = pq ? 128 : 64;
        if (tq > 3 || 1 + n > left)
            return 1;
        uint16_t aQ[64];
        for (int k = 0; k < 64; ++k) {
            uint8_t a, b = 0;
            if (_GetU8(p, &a) || (pq && _GetU8(p, &b)))
                return 1;
            aQ[_aCoeffOrder[k]] = pq ? (uint16_t)(a << 8 | b) : a;
        }
        memcpy(p->aaQuant[tq], aQ, sizeof aQ);
        left -= 1 + n;
    }
    return 0;
}

// APP0 and APP14: a JFIF marker makes three components YCbCr; an Adobe
// marker carries the colour transform (0: none, they are RGB).
static int _ReadColourMarker(JpegState* p, int marker)
{
    uint16_t len;
    if (_GetU16(p, &len) || len < 2)
        return 1;
    uint8_t a[14];
    const uint32_t n = len - 2u < sizeof a ? len - 2u : (uint32_t)sizeof a;
    if (_GetBytes(p, a, (int)n))
        return 1;
    if (marker == M_APP0 && n >= 14 && !memcmp(a, "JFIF", 5))
        p->SawJFIF = 1;
    if (marker == M_APP14 && n >= 12 && !memcmp(a, "Adobe", 5)) {
        p->SawAdobe = 1;
        p->AdobeTransform = a[11];
    }
    return _SkipInputData(p, len - 2u - n);
}

// Three components are YCbCr unless the file says RGB: by its Adobe marker,
// or, with neither a JFIF nor an Adobe marker, by the components' names.
static int _CodedAsRGB(const JpegState* p)
{
    if (p->NumComps != 3 || p->SawJFIF)
        return 0;
    if (p->SawAdobe)
        return p->AdobeTransform == 0;
    return p->aComp[0].Id == 'R' && p->aComp[1].Id == 'G' && p->aComp[2].Id == 'B';
}

// Reads segments up to the marker that ends them: 0 with the marker in
// *pMarker (a frame header, SOI, EOI or SOS), 1 for a bad segment or when
// the file ends first.
static int _ReadMarkers(JpegState* p, int* pMarker)
{
    for (;;) {
        uint8_t b;
        if (_GetU8(p, &b))
            return 1;
        if (b != 0xFF)
            continue;
        do
            if (_GetU8(p, &b))
                return 1;
        while (b == 0xFF);
        if (b == 0)
            continue;
        uint16_t len;
        switch (b) {
        case M_DHT:
            if (_ReadDHT(p))
                return 1;
            break;
        case M_DQT:
            if (_ReadDQT(p))
                return 1;
            break;
        case M_DRI:
            if (_GetU16(p, &len) || len != 4 || _GetU16(p, &p->RestartInterval))
                return 1;
            break;
        case M_APP0:
        case M_APP14:
            if (_ReadColourMarker(p, b))
                return 1;
            break;
        case M_SOI:
        case M_EOI:
        case M_SOS:
            *pMarker = b;
            return 0;
        case M_JPG:
        case M_DAC:
        case M_TEM:
            return 1;
        default:
            if ((b & 0xF8) == M_RST0)
                return 1;
            if ((b & 0xF0) == 0xC0) {  // a frame header
                *pMarker = b;
                return 0;
            }
            if (_GetU16(p, &len) || len < 2 || _SkipInputData(p, len - 2u))
                return 1;
            break;
        }
    }
}

// Frame header; every value is checked before it is kept.
static int _ReadFrame(JpegState* p)
{
    uint16_t lf, y, x;
    uint8_t prec, nf;
    if (_GetU16(p, &lf) || _GetU8(p, &prec) || _GetU16(p, &y) || _GetU16(p, &x) || _GetU8(p, &nf))
        return 1;
    p->XSize = x;
    p->YSize = y;
    if (prec != 8 || !x || !y || nf > 4 || lf != 8 + 3 * nf)
        return 1;
    p->HMax = p->VMax = 1;
    for (int i = 0; i < nf; ++i) {
        uint8_t id, hv, tq;
        if (_GetU8(p, &id) || _GetU8(p, &hv) || _GetU8(p, &tq))
            return 1;
        const int h = hv >> 4, v = hv & 15;
        if (h < 1 || h > 4 || v < 1 || v > 4 || tq > 3)
            return 1;
        JpegComp* c = &p->aComp[i];
        c->Id = id;
        // A grey image's MCU is one block whatever its factors say.
        c->H = (uint8_t)(nf == 1 ? 1 : h);
        c->V = (uint8_t)(nf == 1 ? 1 : v);
        c->Tq = tq;
        if (c->H > p->HMax)
            p->HMax = c->H;
        if (c->V > p->VMax)
            p->VMax = c->V;
    }
    p->NumComps = nf;
    return 0;
}

// From SOI up to and including the frame header.  A frame of a process
// not drawn gives 0 with no frame read.
static int _ReadUntilSOF(JpegState* p)
{
    p->SawJFIF = p->SawAdobe = 0;
    uint8_t a, b;
    if (_GetU8(p, &a) || _GetU8(p, &b) || a != 0xFF || b != M_SOI)
        return 1;
    int m;
    if (_ReadMarkers(p, &m))
        return 1;
    if (m == M_SOF0 || m == M_SOF1 || m == M_SOF2) {
        p->IsProgressive = m == M_SOF2;
        return _ReadFrame(p);
    }
    return (m & 0xF0) == 0xC0 ? 0 : 1;
}

// Reads the file again from the start up to the frame, which must be the
// one the buffers were made for.
static int _ReadFrameAgain(JpegState* p)
{
    const uint16_t x = p->XSize, y = p->YSize;
    const uint8_t n = p->NumComps, prog = p->IsProgressive;
    uint8_t aHV[4];
    for (int i = 0; i < 4; ++i)
        aHV[i] = (uint8_t)(p->aComp[i].H << 4 | p->aComp[i].V);
    _SetPos(p, 0);
    if (_ReadUntilSOF(p) || p->XSize != x || p->YSize != y || p->NumComps != n || p->IsProgressive != prog)
        return 1;
    for (int i = 0; i < n; ++i)
        if (aHV[i] != (p->aComp[i].H << 4 | p->aComp[i].V))
            return 1;
    return 0;
}

// ------------------------------------------------------------ scans

static void _CalcMCUBlockOrder(JpegState* p)
{
    if (p->NumScanComps == 1) {
        // A component alone: one block per MCU, over the component's own size.
        const int ci = p->aScanComp[0];
        const JpegComp* c = &p->aComp[ci];
        const int32_t w = ((int32_t)p->XSize * c->H + p->HMax - 1) / p->HMax;
        const int32_t h = ((int32_t)p->YSize * c->V + p->VMax - 1) / p->VMax;
        p->ScanMCUsAcross = (w + 7) / 8;
        p->ScanMCUsDown = (h + 7) / 8;
        p->NumMCUBlocks = 1;
        p->aBlockComp[0] = (uint8_t)ci;
        p->aBlockH[0] = p->aBlockV[0] = 0;
        return;
    }
    p->ScanMCUsAcross = p->MCUsPerRow;
    p->ScanMCUsDown = p->NumMCURows;
    int n = 0;
    for (int i = 0; i < p->NumScanComps; ++i) {
        const JpegComp* c = &p->aComp[p->aScanComp[i]];
        for (int v = 0; v < c->V; ++v)
            for (int h = 0; h < c->H && n < JPEG_MAX_MCU_BLOCKS; ++h, ++n) {
                p->aBlockComp[n] = p->aScanComp[i];
                p->aBlockH[n] = (uint8_t)h;
                p->aBlockV[n] = (uint8_t)v;
            }
    }
    p->NumMCUBlocks = (uint8_t)n;
}

// Reads up to and including the next scan header: 0 when a scan is ready,
// 1 on an error, 2 at the end of the image (EOI after the first scan; a
// file that stops without it is cut short, as the number of scans is not
// told anywhere else).
static int _InitScan(JpegState* p, int first)
{
    _EmptyBits(&p->In);
    int m;
    if (_ReadMarkers(p, &m))
        return 1;
    if (m == M_EOI)
        return first ? 1 : 2;
    if (m != M_SOS)
        return 1;
    uint16_t len;
    uint8_t ns;
    if (_GetU16(p, &len) || _GetU8(p, &ns) || !ns || ns > p->NumComps || len != 6 + 2 * ns)
        return 1;
    for (int i = 0; i < ns; ++i) {
        uint8_t id, t;
        if (_GetU8(p, &id) || _GetU8(p, &t))
            return 1;
        int ci = 0;
        while (ci < p->NumComps && p->aComp[ci].Id != id)
            ++ci;
        if (ci == p->NumComps || (t >> 4) > 3 || (t & 15) > 3)
            return 1;
        for (int j = 0; j < i; ++j)
            if (p->aScanComp[j] == ci)
                return 1;  // a component twice in one scan
        p->aComp[ci].DCSlot = (uint8_t)(t >> 4);
        p->aComp[ci].ACSlot = (uint8_t)((t & 15) + 4);
        p->aScanComp[i] = (uint8_t)ci;
    }
    uint8_t ahal;
    if (_GetU8(p, &p->Ss) || _GetU8(p, &p->Se) || _GetU8(p, &ahal))
        return 1;
    p->Ah = ahal >> 4;
    p->Al = ahal & 15;
    if (!p->IsProgressive) {
        p->Ss = 0;
        p->Se = 63;
        p->Ah = p->Al = 0;
    }
    p->NumScanComps = ns;
    if (first)
        p->RGB = (uint8_t)_CodedAsRGB(p);
    if (ns > 1) {
        int blocks = 0;
        for (int i = 0; i < ns; ++i)
            blocks += p->aComp[p->aScanComp[i]].H * p->aComp[p->aScanComp[i]].V;
        if (blocks > JPEG_MAX_MCU_BLOCKS)
            return 1;  // more than a file may have
    }
    _CalcMCUBlockOrder(p);
    for (int i = 0; i < ns; ++i) {
        JpegComp* c = &p->aComp[p->aScanComp[i]];
        if ((p->Ss == 0 && !p->aHuff[c->DCSlot].Defined) || (p->Se && !p->aHuff[c->ACSlot].Defined))
            return 1;
        c->Pred = 0;
    }
    p->RestartsLeft = p->RestartInterval;
    p->NextRestart = 0;
    p->SkipMCUs = 0;
    p->EOBRUN = 0;
    return 0;
}

// The reader's place and the values a scan carries from MCU to MCU, to go
// on from there later.
static void _SaveScanPos(const JpegState* p, JpegResume* r)
{
    const JpegInput* in = &p->In;
    r->Pos = _Tell(in);
    r->BitBuf = in->BitBuf;
    r->BitCnt = in->BitCnt;
    r->NumFillBits = in->NumFillBits;
    r->Ended = in->Ended;
    r->NextRestart = p->NextRestart;
    r->RestartsLeft = p->RestartsLeft;
    r->SkipMCUs = p->SkipMCUs;
    r->EOBRUN = p->EOBRUN;
    for (int c = 0; c < 4; ++c)
        r->aPred[c] = p->aComp[c].Pred;
}

static void _Resume(JpegState* p, const JpegResume* r)
{
    _SetPos(p, r->Pos);
    JpegInput* in = &p->In;
    in->BitBuf = r->BitBuf;
    in->BitCnt = r->BitCnt;
    in->NumFillBits = r->NumFillBits;
    in->Ended = r->Ended;
    p->NextRestart = r->NextRestart;
    p->RestartsLeft = r->RestartsLeft;
    p->SkipMCUs = r->SkipMCUs;
    p->EOBRUN = r->EOBRUN;
    for (int c = 0; c < 4; ++c)
        p->aComp[c].Pred = r->aPred[c];
}

// Passes entropy-coded data up to the next marker, which is left for the
// marker reader: its code, or -1 when the file ends first.  Restart markers
// are passed too unless stopAtRestart.
static int _PassData(JpegState* p, int stopAtRestart)
{
    JpegInput* in = &p->In;
    _EmptyBits(in);
    for (;;) {
        if (!in->NumPushBack && in->NumLeft) {
            const uint8_t* f = (const uint8_t*)memchr(_Addr.pCur, 0xFF, in->NumLeft);
            const uint32_t k = f ? (uint32_t)(f - _Addr.pCur) : in->NumLeft;
            _Addr.pCur += k;
            in->NumLeft -= k;
            if (!f)
                continue;
        }
        uint8_t b, m;
        if (_GetU8(p, &b))
            return -1;
        if (b != 0xFF)
            continue;
        do
            if (_GetU8(p, &m))
                return -1;
        while (m == 0xFF);
        if (m == 0 || (!stopAtRestart && (m & 0xF8) == M_RST0))
            continue;
        _PushBack(in, m);
        _PushBack(in, 0xFF);
        return m;
    }
}

// Passes over the rest of a scan's entropy-coded data, restart markers
// included, up to the marker after it.
static void _SkipScanData(JpegState* p)
{
    _PassData(p, 0);
}

// The restart marker waiting for the marker reader; -1 when there is none.
static int _PendingRestart(const JpegInput* in)
{
    return in->NumPushBack == 2 && (in->aPushBack[0] & 0xF8) == M_RST0 ? in->aPushBack[0] - M_RST0 : -1;
}

// Data stands where the marker that ends an interval should: either the
// interval's data was damaged and decoding ended early, and its marker
// follows further on, or the marker was lost and the data is the next
// interval's.  1 when the expected marker was found (and the data before
// it passed over), 0 when the reader is back at the data.  A look that
// found another marker is not repeated from a place it covered, so that a
// file of lost markers is not read again and again.
static int _PassToExpectedRestart(JpegState* p)
{
    const int expected = M_RST0 + p->NextRestart;
    const uint32_t from = _Tell(&p->In);
    if (p->LookEnd && from >= p->LookFrom && from <= p->LookEnd && p->LookMarker != expected)
        return 0;
    JpegResume here;
    _SaveScanPos(p, &here);
    const int m = _PassData(p, 1);
    if (m == expected)
        return 1;
    p->LookFrom = from;
    p->LookEnd = _Tell(&p->In);
    p->LookMarker = m;
    _Resume(p, &here);
    return 0;
}

// Restart intervals lost before the one that RSTn begins.  A marker one or
// two numbers on from the one expected stands after lost intervals; any
// other is taken for the one expected, as the numbers run modulo 8 and
// further ones tell nothing for sure.
static uint32_t _IntervalsLost(const JpegState* p, int n)
{
    const uint32_t k = (uint32_t)(n - p->NextRestart) & 7;
    return k <= 2 ? k : 0;
}

// At the end of a restart interval.  The interval's data ends on a byte
// boundary, where the marker that should follow is taken.  A marker of a
// later interval means that the intervals before it were lost: their MCUs
// are passed over, and the marker is taken after them.  A lost marker
// costs nothing: the data that follows is kept for the new interval.
static void _ProcessRestart(JpegState* p)
{
    JpegInput* in = &p->In;
    in->BitBuf <<= in->BitCnt & 7;
    in->BitCnt &= ~7;
    if (in->BitCnt <= in->NumFillBits) {
        _EmptyBits(in);
        if (!in->NumPushBack)
            _GetBitsNoMarker(p);
    }
    if (in->BitCnt > in->NumFillBits && !_PassToExpectedRestart(p)) {
        p->NextRestart = (uint8_t)((p->NextRestart + 1) & 7);
    } else {
        _EmptyBits(in);
        const int n = _PendingRestart(in);
        if (n >= 0) {
            const uint32_t lost = _IntervalsLost(p, n);
            p->NextRestart = (uint8_t)n;
            if (lost) {
                p->SkipMCUs = lost * p->RestartInterval;
                return;
            }
            p->NextRestart = (uint8_t)((n + 1) & 7);
            in->NumPushBack = 0;
        }
    }
    for (int c = 0; c < p->NumComps; ++c)
        p->aComp[c].Pred = 0;
    p->EOBRUN = 0;
    p->RestartsLeft = p->RestartInterval;
}

// At the start of each MCU: 1 when the MCU lies in a damaged restart
// interval and is passed over.
static inline int _CountRestart(JpegState* p)
{
    if (!p->RestartInterval)
        return 0;
    if (!p->SkipMCUs && !p->RestartsLeft)
        _ProcessRestart(p);
    if (p->SkipMCUs) {
        p->SkipMCUs--;
        return 1;
    }
    p->RestartsLeft--;
    return 0;
}

// The data of the current restart interval is damaged (no code matched, or
// decoding ran into a marker): the interval's MCUs after this one are lost,
// and decoding picks up at the next restart marker, whose number tells
// whether intervals lie between; they are lost too.  Damage in the scan's last
// interval loses the rest of the scan.  1 when no restart marker follows a
// damaged interval that is not the last (the file is cut short), or the
// file has no restart intervals.
static int _Resync(JpegState* p, uint32_t mcusAfter)
{
    if (!p->RestartInterval)
        return 1;
    const int m = _PassData(p, 1);
    if ((m & 0xF8) == M_RST0) {
        p->SkipMCUs = p->RestartsLeft + _IntervalsLost(p, m - M_RST0) * p->RestartInterval;
        p->NextRestart = (uint8_t)(m - M_RST0);
    } else if (mcusAfter <= p->RestartsLeft) {
        p->SkipMCUs = mcusAfter;
    } else {
        return 1;
    }
    p->RestartsLeft = 0;
    return 0;
}

// MCUs of the scan after MCU i of scan row u.
static uint32_t _MCUsAfter(const JpegState* p, int32_t u, int32_t i)
{
    return (uint32_t)(p->ScanMCUsDown - 1 - u) * (uint32_t)p->ScanMCUsAcross + (uint32_t)(p->ScanMCUsAcross - 1 - i);
}

// ------------------------------------------------------------ block decoding

// A coefficient times its quantisation value, kept in 16 bits: the products
// of valid files fit (a coefficient is about the picture's value over the
// quantisation value); those of a damaged file wrap, and the inverse DCT
// takes any values.
static inline int16_t _Dequant(int32_t v, uint16_t q)
{
    return (int16_t)(v * (int32_t)q);
}

// One block of a sequential scan into blk, which is all zero: the DC
// difference and the AC coefficients, each multiplied by its quantisation
// value (q null: kept as coded).  Returns one more than the coded position
// of the last coefficient stored, 0 on data that no code matches.
static int _DecodeBlockSeq(JpegState* p, JpegComp* c, int16_t* blk, const uint16_t* q)
{
    JpegBits b;
    _BitsBegin(b, p);
    const JpegHuff* ac = &p->aHuff[c->ACSlot];
    int s = _DecodeHuff(p, b, &p->aHuff[c->DCSlot]);
    if (s < 0)
        return 0;
    if (s)
        c->Pred = (int16_t)(c->Pred + _Extend(_GetBits(p, b, s), s));
    blk[0] = q ? _Dequant(c->Pred, q[0]) : c->Pred;
    int last = 1;
    for (int k = 1; k <= 63; ++k) {
        const int rs = _DecodeHuff(p, b, ac);
        if (rs < 0)
            return 0;
        const int r = rs >> 4;
        s = rs & 15;
        if (s) {
            k += r;
            const int z = _aCoeffOrder[k];
            const int32_t v = _Extend(_GetBits(p, b, s), s);
            blk[z] = (int16_t)(q ? _Dequant(v, q[z]) : v);
            last = k + 1;
        } else if (r == 15) {
            k += 15;
        } else {
            break;
        }
    }
    _BitsEnd(b, p);
    return last;
}

// Where a block of component ci lives in its store; 0 outside the band.
static int16_t* _StoreBlock(JpegState* p, int ci, int32_t col, int32_t row)
{
    const JpegComp* c = &p->aComp[ci];
    const int32_t r = row - c->StoreStart;
    if (col < 0 || col >= c->BlocksAcross || r < 0 || r >= c->StoreRows)
        return 0;
    return _Addr.apStore[ci] + ((size_t)r * (size_t)c->BlocksAcross + (size_t)col) * 64;
}

static int16_t* _StoreOrScratch(JpegState* p, int ci, int32_t col, int32_t row)
{
    int16_t* blk = _StoreBlock(p, ci, col, row);
    return blk ? blk : p->aScratch;
}

static int _DecodeBlockSeqStored(JpegState* p, int ci, int32_t col, int32_t row)
{
    return _DecodeBlockSeq(p, &p->aComp[ci], _StoreOrScratch(p, ci, col, row), 0) ? 0 : 1;
}

static int _DecodeBlockDC_First(JpegState* p, int ci, int32_t col, int32_t row)
{
    JpegComp* c = &p->aComp[ci];
    JpegBits b;
    _BitsBegin(b, p);
    const int s = _DecodeHuff(p, b, &p->aHuff[c->DCSlot]);
    if (s < 0)
        return 1;
    if (s)
        c->Pred = (int16_t)(c->Pred + _Extend(_GetBits(p, b, s), s));
    _BitsEnd(b, p);
    _StoreOrScratch(p, ci, col, row)[0] = (int16_t)(c->Pred * (1 << p->Al));
    return 0;
}

static int _DecodeBlockDC_Refine(JpegState* p, int ci, int32_t col, int32_t row)
{
    int16_t* blk = _StoreOrScratch(p, ci, col, row);
    JpegBits b;
    _BitsBegin(b, p);
    if (_GetBits(p, b, 1))
        blk[0] = (int16_t)(blk[0] | (1 << p->Al));
    _BitsEnd(b, p);
    return 0;
}

static int _DecodeBlockAC_First(JpegState* p, int ci, int32_t col, int32_t row)
{
    if (p->EOBRUN) {
        p->EOBRUN--;
        return 0;
    }
    int16_t* blk = _StoreOrScratch(p, ci, col, row);
    const JpegHuff* h = &p->aHuff[p->aComp[ci].ACSlot];
    JpegBits b;
    _BitsBegin(b, p);
    for (int k = p->Ss; k <= p->Se; ++k) {
        const int rs = _DecodeHuff(p, b, h);
        if (rs < 0)
            return 1;
        const int r = rs >> 4, s = rs & 15;
        if (s) {
            k += r;
            blk[_aCoeffOrder[k]] = (int16_t)(_Extend(_GetBits(p, b, s), s) * (1 << p->Al));
        } else if (r == 15) {
            k += 15;
        } else {
            p->EOBRUN = (1u << r) - 1;
            if (r)
                p->EOBRUN += (uint32_t)_GetBits(p, b, r);
            break;
        }
    }
    _BitsEnd(b, p);
    return 0;
}

// One more bit of a coefficient that is not zero: added away from zero
// unless the coefficient has it already.
static inline void _Refine(JpegState* p, JpegBits& b, int16_t* c, int32_t p1)
{
    if (_GetBits(p, b, 1) && !(*c & p1))
        *c = (int16_t)(*c + (*c >= 0 ? p1 : -p1));
}

// A refinement: one more bit of every coefficient that is not zero yet,
// and coefficients that become +1 or -1 at this bit, placed among those
// still zero.
static int _DecodeBlockAC_Refine(JpegState* p, int ci, int32_t col, int32_t row)
{
    int16_t* blk = _StoreBlock(p, ci, col, row);
    if (!blk)
        return 1;  // its history is not kept, so its bits cannot be told apart
    const JpegHuff* h = &p->aHuff[p->aComp[ci].ACSlot];
    const int32_t p1 = 1 << p->Al;
    JpegBits b;
    _BitsBegin(b, p);
    int k = p->Ss;
    if (!p->EOBRUN) {
        while (k <= p->Se) {
            const int rs = _DecodeHuff(p, b, h);
            if (rs < 0)
                return 1;
            int r = rs >> 4;
            const int s = rs & 15;
            int32_t value = 0;
            if (s) {
                if (s != 1)
                    return 1;
                value = _GetBits(p, b, 1) ? p1 : -p1;
            } else if (r != 15) {
                p->EOBRUN = 1u << r;
                if (r)
                    p->EOBRUN += (uint32_t)_GetBits(p, b, r);
                break;
            }
            // Past r coefficients still zero (refining the others on the
            // way); the new one goes in the next zero place.
            while (k <= p->Se) {
                int16_t* c = &blk[_aCoeffOrder[k++]];
                if (*c) {
                    _Refine(p, b, c, p1);
                } else if (r-- == 0) {
                    if (value)
                        *c = (int16_t)value;
                    break;
                }
            }
        }
    }
    if (p->EOBRUN) {
        // Within an end-of-band run: only the correction bits.
        for (; k <= p->Se; ++k) {
            int16_t* c = &blk[_aCoeffOrder[k]];
            if (*c)
                _Refine(p, b, c, p1);
        }
        p->EOBRUN--;
    }
    _BitsEnd(b, p);
    return 0;
}

// Scan units (MCU rows of the scan) u0 .. u1 - 1, with fn for each block.
// The reader's place at u1 goes to *pNext when given.  The blocks of a
// damaged restart interval keep what the scans before gave them.
static int _DecodeScanProg(JpegState* p, JpegBlockFunc* fn, int32_t u0, int32_t u1, JpegResume* pNext)
{
    for (int32_t u = u0; u < u1; ++u)
        for (int32_t i = 0; i < p->ScanMCUsAcross; ++i) {
            if (_CountRestart(p))
                continue;
            int bad = 0;
            for (int j = 0; j < p->NumMCUBlocks && !bad; ++j) {
                const int ci = p->aBlockComp[j];
                const JpegComp* c = &p->aComp[ci];
                const int32_t col = p->NumScanComps == 1 ? i : i * c->H + p->aBlockH[j];
                const int32_t row = p->NumScanComps == 1 ? u : u * c->V + p->aBlockV[j];
                bad = fn(p, ci, col, row);
            }
            if ((bad || _FillUsed(p)) && _Resync(p, _MCUsAfter(p, u, i)))
                return 1;
        }
    if (pNext)
        _SaveScanPos(p, pNext);
    return 0;
}

// The block decoder for the current scan; 0 for bad scan parameters.
static JpegBlockFunc* _ScanDecoder(const JpegState* p)
{
    if (!p->IsProgressive)
        return _DecodeBlockSeqStored;
    if (p->Ss > p->Se || p->Se > 63 || p->Ah > JPEG_MAX_SHIFT || p->Al > JPEG_MAX_SHIFT)
        return 0;
    if (p->Ah && p->Al != p->Ah - 1)
        return 0;
    if (p->Ss == 0)
        return p->Se ? 0 : p->Ah ? _DecodeBlockDC_Refine : _DecodeBlockDC_First;
    if (p->NumScanComps != 1)
        return 0;
    return p->Ah ? _DecodeBlockAC_Refine : _DecodeBlockAC_First;
}

// Decodes every scan of the file for the MCU rows of the current band.
static int _DecodeBand(JpegState* p)
{
    if (_ReadFrameAgain(p))
        return 1;
    for (int32_t k = 0;; ++k) {
        const int r = _InitScan(p, k == 0);
        if (r == 2)
            return 0;
        if (r)
            return 1;
        JpegBlockFunc* fn = _ScanDecoder(p);
        if (!fn || (p->Banding && k >= p->NumScans))
            return 1;
        int32_t u0 = p->BandStart, u1 = p->BandStart + p->BandMCURows;
        if (p->NumScanComps == 1) {
            const int v = p->aComp[p->aScanComp[0]].V;
            u0 *= v;
            u1 *= v;
        }
        if (u1 > p->ScanMCUsDown)
            u1 = p->ScanMCUsDown;
        JpegScanPos* sp = p->Banding ? &_Addr.pScanPos[k] : 0;
        if (sp && p->BandStart)
            _Resume(p, &sp->Next);
        if (u0 < u1 && _DecodeScanProg(p, fn, u0, u1, sp ? &sp->Next : 0))
            return 1;
        // On to the next scan: in bands found once, then gone to directly.
        if (sp && sp->End) {
            _SetPos(p, sp->End);
        } else {
            _SkipScanData(p);
            if (sp)
                sp->End = _Tell(&p->In);
        }
    }
}

// Counts the scans of the file (entropy-coded data passed over).
static int32_t _CountScans(JpegState* p)
{
    if (_ReadFrameAgain(p))
        return -1;
    for (int32_t n = 0;; ++n) {
        int m;
        if (_ReadMarkers(p, &m))
            return -1;
        if (m == M_EOI)
            return n;
        uint16_t len;
        if (m != M_SOS || _GetU16(p, &len) || len < 2 || _SkipInputData(p, len - 2u))
            return -1;
        _SkipScanData(p);
    }
}

// ------------------------------------------------------------ inverse DCT

// One dimension of the inverse DCT (Loeffler, Ligtenberg and Moschytz),
// constants scaled by 2^13; o[] gets the outputs at that scale.  The sums
// are taken modulo 2^32: no valid block comes near that, and the
// coefficients of a damaged file only give wrong samples, which are clamped.
static inline void _Idct8(uint32_t x0, uint32_t x1, uint32_t x2, uint32_t x3, uint32_t x4, uint32_t x5,
                          uint32_t x6, uint32_t x7, int32_t* o)
{
    const uint32_t z1 = (x2 + x6) * 4433u;    // 0.541196100
    const uint32_t t2 = z1 - x6 * 15137u;     // 1.847759065
    const uint32_t t3 = z1 + x2 * 6270u;      // 0.765366865
    const uint32_t t0 = (x0 + x4) * 8192u;
    const uint32_t t1 = (x0 - x4) * 8192u;
    const uint32_t e0 = t0 + t3, e3 = t0 - t3, e1 = t1 + t2, e2 = t1 - t2;
    uint32_t a = x7, b = x5, c = x3, d = x1;
    uint32_t za = a + d, zb = b + c, zc = a + c, zd = b + d;
    const uint32_t z5 = (zc + zd) * 9633u;    // 1.175875602
    a *= 2446u;                               // 0.298631336
    b *= 16819u;                              // 2.053119869
    c *= 25172u;                              // 3.072711026
    d *= 12299u;                              // 1.501321110
    za *= 0u - 7373u;                         // -0.899976223
    zb *= 0u - 20995u;                        // -2.562915447
    zc = zc * (0u - 16069u) + z5;             // -1.961570560
    zd = zd * (0u - 3196u) + z5;              // -0.390180644
    a += za + zc;
    b += zb + zd;
    c += zb + zc;
    d += za + zd;
    o[0] = (int32_t)(e0 + d);
    o[7] = (int32_t)(e0 - d);
    o[1] = (int32_t)(e1 + c);
    o[6] = (int32_t)(e1 - c);
    o[2] = (int32_t)(e2 + b);
    o[5] = (int32_t)(e2 - b);
    o[3] = (int32_t)(e3 + a);
    o[4] = (int32_t)(e3 - a);
}

static inline uint8_t _Sample(int32_t v)
{
    v += 128;
    return (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v);
}

// One column of the first pass into the work area, kept 2 bits wider
// (kHalf: its last four terms are zero, so the sums without them serve).
template <bool kHalf>
static inline void _IdctColumn(const int16_t* c, int32_t* w)
{
    int32_t o[8];
    _Idct8((uint32_t)c[0], (uint32_t)c[8], (uint32_t)c[16], (uint32_t)c[24], kHalf ? 0 : (uint32_t)c[32],
           kHalf ? 0 : (uint32_t)c[40], kHalf ? 0 : (uint32_t)c[48], kHalf ? 0 : (uint32_t)c[56], o);
    w[0] = (o[0] + 1024) >> 11;
    w[8] = (o[1] + 1024) >> 11;
    w[16] = (o[2] + 1024) >> 11;
    w[24] = (o[3] + 1024) >> 11;
    w[32] = (o[4] + 1024) >> 11;
    w[40] = (o[5] + 1024) >> 11;
    w[48] = (o[6] + 1024) >> 11;
    w[56] = (o[7] + 1024) >> 11;
}

// One row of the second pass into samples.
template <bool kHalf>
static inline void _IdctRow(const int32_t* w, uint8_t* out)
{
    int32_t o[8];
    _Idct8((uint32_t)w[0], (uint32_t)w[1], (uint32_t)w[2], (uint32_t)w[3], kHalf ? 0 : (uint32_t)w[4],
           kHalf ? 0 : (uint32_t)w[5], kHalf ? 0 : (uint32_t)w[6], kHalf ? 0 : (uint32_t)w[7], o);
    out[0] = _Sample((int32_t)((uint32_t)o[0] + 131072u) >> 18);
    out[1] = _Sample((int32_t)((uint32_t)o[1] + 131072u) >> 18);
    out[2] = _Sample((int32_t)((uint32_t)o[2] + 131072u) >> 18);
    out[3] = _Sample((int32_t)((uint32_t)o[3] + 131072u) >> 18);
    out[4] = _Sample((int32_t)((uint32_t)o[4] + 131072u) >> 18);
    out[5] = _Sample((int32_t)((uint32_t)o[5] + 131072u) >> 18);
    out[6] = _Sample((int32_t)((uint32_t)o[6] + 131072u) >> 18);
    out[7] = _Sample((int32_t)((uint32_t)o[7] + 131072u) >> 18);
}

// The block's 64 dequantised coefficients to 8 x 8 samples: columns first,
// then rows; a column or row of zero AC terms is its DC.
static void _IDCT(const int16_t* in, int dcOnly, uint8_t* out, int32_t stride)
{
    if (dcOnly) {
        const uint8_t v = _Sample((in[0] * 4 + 16) >> 5);
        for (int r = 0; r < 8; ++r, out += stride)
            memset(out, v, 8);
        return;
    }
    int32_t ws[64];
    for (int col = 0; col < 8; ++col) {
        const int16_t* c = in + col;
        int32_t* w = ws + col;
        if (c[32] | c[40] | c[48] | c[56]) {
            _IdctColumn<false>(c, w);
        } else if (c[8] | c[16] | c[24]) {
            _IdctColumn<true>(c, w);
        } else {
            const int32_t dc = c[0] * 4;
            for (int r = 0; r < 8; ++r)
                w[8 * r] = dc;
        }
    }
    for (int row = 0; row < 8; ++row, out += stride) {
        const int32_t* w = ws + 8 * row;
        if (w[4] | w[5] | w[6] | w[7])
            _IdctRow<false>(w, out);
        else if (w[1] | w[2] | w[3])
            _IdctRow<true>(w, out);
        else
            memset(out, _Sample((w[0] + 16) >> 5), 8);
    }
}

static uint8_t* _BlockSamples(JpegState* p, const JpegComp* c, int32_t col, int v)
{
    return _Addr.pSamples + c->PlaneOffset + (int32_t)v * 8 * c->PlaneWidth + col * 8;
}

// ------------------------------------------------------------ MCU rows

// Sequential: the next MCU row from the file, through the inverse DCT into
// the sample buffer unless it is only passed over.
static int _DecodeNextRow(JpegState* p, int transform)
{
    const int32_t u = p->NextMCURow++;
    int16_t* blk = _Addr.pCoeff;
    for (int32_t i = 0; i < p->ScanMCUsAcross; ++i) {
        int j = 0;
        if (!_CountRestart(p)) {
            for (; j < p->NumMCUBlocks; ++j) {
                JpegComp* c = &p->aComp[p->aBlockComp[j]];
                const int last = _DecodeBlockSeq(p, c, blk, p->aaQuant[c->Tq]);
                if (!last)
                    break;
                if (transform)
                    _IDCT(blk, last == 1, _BlockSamples(p, c, i * c->H + p->aBlockH[j], p->aBlockV[j]),
                          c->PlaneWidth);
                for (int k = 0; k < last && k < 64; ++k)
                    blk[_aCoeffOrder[k]] = 0;
            }
            if ((j < p->NumMCUBlocks || _FillUsed(p)) && _Resync(p, _MCUsAfter(p, u, i)))
                return 1;
            if (j == p->NumMCUBlocks)
                continue;
        }
        // The blocks of a damaged restart interval are grey.
        memset(blk, 0, 64 * sizeof *blk);
        for (; transform && j < p->NumMCUBlocks; ++j) {
            const JpegComp* c = &p->aComp[p->aBlockComp[j]];
            _IDCT(blk, 1, _BlockSamples(p, c, i * c->H + p->aBlockH[j], p->aBlockV[j]), c->PlaneWidth);
        }
    }
    return 0;
}

// Coefficient stores: the next MCU row of the band, dequantised, through the
// inverse DCT into the sample buffer.
static int _LoadNextRow(JpegState* p, int transform)
{
    const int32_t m = p->NextMCURow++;
    if (!transform)
        return 0;
    int16_t* blk = _Addr.pCoeff;
    for (int ci = 0; ci < p->NumComps; ++ci) {
        const JpegComp* c = &p->aComp[ci];
        const uint16_t* q = p->aaQuant[c->Tq];
        for (int v = 0; v < c->V; ++v)
            for (int32_t col = 0; col < c->BlocksAcross; ++col) {
                const int16_t* src = _StoreBlock(p, ci, col, m * c->V + v);
                if (!src)
                    return 1;
                int ac = 0;
                blk[0] = _Dequant(src[0], q[0]);
                for (int z = 1; z < 64; ++z) {
                    blk[z] = _Dequant(src[z], q[z]);
                    ac |= blk[z];
                }
                _IDCT(blk, !ac, _BlockSamples(p, c, col, v), c->PlaneWidth);
            }
    }
    return 0;
}

static int _NextRow(JpegState* p, int transform)
{
    if (p->MultiScan ? _LoadNextRow(p, transform) : _DecodeNextRow(p, transform))
        return 1;
    p->LinesLeftInRow = p->MCUHeight;
    p->LineInRow = 0;
    return 0;
}

// ------------------------------------------------------------ output lines

// Pixel x of the line: y plus the red, green and blue terms of its chroma,
// clamped; into the line buffer as red, green, blue (and a spare byte), or
// straight into the index line in the panel's RGB565.
template <bool k565>
static inline void _PutPixel(uint8_t* d, uint16_t* d565, int32_t x, int y, int32_t r, int32_t g, int32_t b)
{
    y += 256;
    if (k565) {
        d565[x] = (uint16_t)(_a565.R[y + r] | _a565.G[y + g] | _a565.B[y + b]);
    } else {
        d[4 * x] = _aLimit[y + r];
        d[4 * x + 1] = _aLimit[y + g];
        d[4 * x + 2] = _aLimit[y + b];
    }
}

// A line of n pixels; chroma (none for grey) over 1 or 2 pixels across.
template <bool k565, int kHs>
static void _ConvertPixels(uint8_t* d, uint16_t* d565, const uint8_t* y, const uint8_t* cb, const uint8_t* cr,
                           int32_t n)
{
    if (!cb) {
        for (int32_t x = 0; x < n; ++x)
            _PutPixel<k565>(d, d565, x, y[x], 0, 0, 0);
        return;
    }
    for (int32_t x = 0; x < n; x += 1 << kHs) {
        const int ccb = cb[x >> kHs], ccr = cr[x >> kHs];
        const int32_t r = _aColor.CrToR[ccr], g = (_aColor.CbToG[ccb] + _aColor.CrToG[ccr]) >> 16,
                      b = _aColor.CbToB[ccb];
        _PutPixel<k565>(d, d565, x, y[x], r, g, b);
        if (kHs && x + 1 < n)
            _PutPixel<k565>(d, d565, x + 1, y[x + 1], r, g, b);
    }
}

// RGB samples as they are; green and blue over 1 or 2 pixels across.
template <bool k565, int kHs>
static void _ConvertRGBPixels(uint8_t* d, uint16_t* d565, const uint8_t* r, const uint8_t* g, const uint8_t* b,
                              int32_t n)
{
    for (int32_t x = 0; x < n; ++x)
        _PutPixel<k565>(d, d565, x, 0, r[x], g[x >> kHs], b[x >> kHs]);
}

template <bool k565>
static void _ConvertPixels(uint8_t* d, uint16_t* d565, const uint8_t* y, const uint8_t* cb, const uint8_t* cr,
                           int32_t n, int hs, int rgb)
{
    if (rgb && hs)
        _ConvertRGBPixels<k565, 1>(d, d565, y, cb, cr, n);
    else if (rgb)
        _ConvertRGBPixels<k565, 0>(d, d565, y, cb, cr, n);
    else if (hs)
        _ConvertPixels<k565, 1>(d, d565, y, cb, cr, n);
    else
        _ConvertPixels<k565, 0>(d, d565, y, cb, cr, n);
}

// The current line of the MCU row: colour (4 bytes a pixel) or grey (1)
// into the line buffer, or RGB565 into the index line.
static void _ConvertLine(JpegState* p)
{
    const JpegComp* cy = &p->aComp[0];
    const uint8_t* y = _Addr.pSamples + cy->PlaneOffset + p->LineInRow * cy->PlaneWidth;
    const uint8_t *cb = 0, *cr = 0;
    // A chroma sample covers 1 or 2 luma samples each way (the mode).  In an
    // RGB file the three planes are red, green and blue.
    const int hs = p->Mode ? cy->H / p->aComp[1].H - 1 : 0;
    if (p->Mode) {
        const int32_t cl = p->LineInRow / (cy->V / p->aComp[1].V);
        cb = _Addr.pSamples + p->aComp[1].PlaneOffset + cl * p->aComp[1].PlaneWidth;
        cr = _Addr.pSamples + p->aComp[2].PlaneOffset + cl * p->aComp[2].PlaneWidth;
    }
    if (p->Direct565)
        _ConvertPixels<true>(0, (uint16_t*)GUI_ALLOC_h2p(p->hIndexLine), y, cb, cr, p->XSize, hs, p->RGB);
    else if (p->Mode)
        _ConvertPixels<false>((uint8_t*)GUI_ALLOC_h2p(p->hLine), 0, y, cb, cr, p->XSize, hs, p->RGB);
    else
        memcpy(GUI_ALLOC_h2p(p->hLine), y, p->XSize);
}

// The next line: produced into the line buffer (or index line), or passed
// over.  A new MCU row is decoded without its transform when the line is
// passed over, so callers pass over whole MCU rows.
static int _NextLine(JpegState* p, int produce)
{
    if (!p->LinesLeftInRow && _NextRow(p, produce))
        return 1;
    if (produce)
        _ConvertLine(p);
    p->LineInRow++;
    p->LinesLeftInRow--;
    return 0;
}

static int _DecodeLine(JpegState* p)
{
    return _NextLine(p, 1);
}

static int _SkipLine(JpegState* p)
{
    return _NextLine(p, 0);
}

static int GUI_JPEG__DecodeLine(GUI_ALLOC_Handle h)
{
    return _Step(h, _DecodeLine);
}

static int GUI_JPEG__SkipLine(GUI_ALLOC_Handle h)
{
    return _Step(h, _SkipLine);
}

static GUI_ColorValue GUI_JPEG__GetColorRGB(const uint8_t** ppCursor, int Step)
{
    const uint8_t* q = *ppCursor;
    *ppCursor = q + 4 * Step;
    return (GUI_ColorValue)q[0] | (GUI_ColorValue)q[1] << 8 | (GUI_ColorValue)q[2] << 16;
}

static GUI_ColorValue GUI_JPEG__GetColorGray(const uint8_t** ppCursor, int Step)
{
    const GUI_ColorValue g = **ppCursor;
    *ppCursor += Step;
    return g * 0x10101u;
}

// The pixels of the line buffer that the clip rectangle shows, as a range
// of x; empty when none.
static void _VisibleSpan(const JpegState* p, int x0, int32_t* pi0, int32_t* pi1)
{
    const GUI_Area& clip = GUI_Context.ClipRect;
    int64_t a = (int64_t)clip.x0 - x0, b = (int64_t)clip.x1 - x0 + 1;
    if (a < 0)
        a = 0;
    if (b > p->XSize)
        b = p->XSize;
    *pi0 = (int32_t)a;
    *pi1 = (int32_t)(b > a ? b : a);
}

// Pixel by pixel.
static void _WritePixels(JpegState* p, int x0, int y, JpegGetColorFunc* pfGetColor,
                         LCD_Color2IndexFunc* pfColor2Index)
{
    int32_t i0, i1;
    _VisibleSpan(p, x0, &i0, &i1);
    const uint8_t* cur = (const uint8_t*)GUI_ALLOC_h2p(p->hLine) + i0 * p->BytesPerPixel;
    for (int32_t i = i0; i < i1; ++i)
        LCD_SetPixelIndex(x0 + i, y, pfColor2Index(pfGetColor(&cur, 1)));
}

// The visible part of the line as one row of pixel indices of the
// display's own size, drawn as a bitmap.
static void _WritePixelsOptRGB(JpegState* p, int x0, int y, JpegGetColorFunc* pfGetColor,
                               LCD_Color2IndexFunc* pfColor2Index)
{
    int32_t i0, i1;
    _VisibleSpan(p, x0, &i0, &i1);
    if (i0 >= i1)
        return;
    uint8_t* line = (uint8_t*)GUI_ALLOC_h2p(p->hIndexLine);
    const int32_t n = i1 - i0;
    if (p->Direct565) {
        line += 2 * i0;  // converted with the line
    } else {
        const uint8_t* cur = (const uint8_t*)GUI_ALLOC_h2p(p->hLine) + i0 * p->BytesPerPixel;
        for (int32_t i = 0; i < n; ++i) {
            const LCD_PixelIndex v = pfColor2Index(pfGetColor(&cur, 1));
            switch (p->IndexBytes) {
            case 1: line[i] = (uint8_t)v; break;
            case 2: ((uint16_t*)line)[i] = (uint16_t)v; break;
            default: ((uint32_t*)line)[i] = v; break;
            }
        }
    }
    LCD_DrawBitmap(x0 + i0, y, n, 1, 1, 1, 8 * p->IndexBytes, n * p->IndexBytes, line, 0);
}

struct JpegWriter {
    JpegWriteFunc* pfWrite;
    JpegGetColorFunc* pfGetColor;
    LCD_Color2IndexFunc* pfColor2Index;
};

// Lines first .. end - 1 of the image, drawn at y0 + line: 0 when done, 1
// on a failure, 2 when the rest lies below the clip rectangle.  MCU rows no
// line of which is visible are passed over without their transform.
static int _DrawLines(GUI_ALLOC_Handle h, int32_t first, int32_t end, int x0, int y0, const JpegWriter* w)
{
    JpegState* p = _Lock(h);
    const int32_t mcuLast = p->MCUHeight - 1;
    const int hidden = (int64_t)x0 + p->XSize <= GUI_Context.ClipRect.x0 || x0 > GUI_Context.ClipRect.x1;
    _Unlock(h);
    for (int32_t i = first; i < end; ++i) {
        const GUI_Area& clip = GUI_Context.ClipRect;
        if ((int64_t)y0 + i > clip.y1)
            return 2;
        if (hidden || (int64_t)y0 + (i | mcuLast) < clip.y0) {
            if (GUI_JPEG__SkipLine(h))
                return 1;
            continue;
        }
        if (GUI_JPEG__DecodeLine(h))
            return 1;
        if ((int64_t)y0 + i < clip.y0)
            continue;
        p = _Lock(h);
        w->pfWrite(p, x0, y0 + i, w->pfGetColor, w->pfColor2Index);
        _Unlock(h);
    }
    return 0;
}

// ------------------------------------------------------------ set-up

static int _Gcd(int a, int b)
{
    while (b) {
        const int t = a % b;
        a = b;
        b = t;
    }
    return a;
}

// The sampling mode, from the factors of luma over chroma.  Encoders may
// write the factors of one direction with a common divisor (luma 2 x 2 with
// both chroma components 1 x 2 is 4:2:2, every component 1 x 2 is 4:4:4):
// the mode is that of the quotients.  The MCU stays the file's own.
static int _SetMode(JpegState* p)
{
    static const struct {
        uint8_t h, v, mode;
    } aMode[] = {{1, 1, 1}, {2, 1, 2}, {1, 2, 3}, {2, 2, 4}};
    p->BlocksPerMCU = 0;
    for (int c = 0; c < p->NumComps; ++c)
        p->BlocksPerMCU = (uint8_t)(p->BlocksPerMCU + p->aComp[c].H * p->aComp[c].V);
    if (p->NumComps == 1) {
        p->Mode = 0;
    } else {
        if (p->NumComps != 3)
            return 1;
        const JpegComp* c = p->aComp;
        const int gh = _Gcd(_Gcd(c[0].H, c[1].H), c[2].H), gv = _Gcd(_Gcd(c[0].V, c[1].V), c[2].V);
        for (int i = 1; i < 3; ++i)
            if (c[i].H != gh || c[i].V != gv)
                return 1;
        p->Mode = 0xFF;
        for (const auto& m : aMode)
            if (c[0].H == m.h * gh && c[0].V == m.v * gv)
                p->Mode = m.mode;
        if (p->Mode == 0xFF)
            return 1;
    }
    p->MCUWidth = (uint8_t)(8 * p->HMax);
    p->MCUHeight = (uint8_t)(8 * p->VMax);
    p->MCUsPerRow = (p->XSize + p->MCUWidth - 1) / p->MCUWidth;
    p->NumMCURows = (p->YSize + p->MCUHeight - 1) / p->MCUHeight;
    return 0;
}

static int32_t _StoreRoom(const JpegState* p)
{
    return GUI_ALLOC_GetMaxSize() - p->NumComps * JPEG_ALLOC_COST;
}

// Allocates the coefficient stores for a band of BandMCURows MCU rows.
static int GUI_JPEG__AllocBandingCoeffBuffer(JpegState* p)
{
    for (int ci = 0; ci < p->NumComps; ++ci) {
        JpegComp* c = &p->aComp[ci];
        c->BlocksAcross = p->MCUsPerRow * c->H;
        c->StoreRows = p->BandMCURows * c->V;
        c->StoreStart = 0;
        p->ahStore[ci] = GUI_ALLOC_AllocZero(c->BlocksAcross * c->StoreRows * JPEG_BLOCK_BYTES);
        if (!p->ahStore[ci])
            return 1;
        _Addr.apStore[ci] = (int16_t*)GUI_ALLOC_h2p(p->ahStore[ci]);
    }
    return 0;
}

// Progressive frames and sequential frames of several scans: the whole
// image's coefficients when the pool holds them (all scans are decoded
// now), else bands of as many MCU rows as it holds.
static int _InitStores(JpegState* p)
{
    p->MultiScan = 1;
    const int32_t perRow = p->MCUsPerRow * p->BlocksPerMCU * JPEG_BLOCK_BYTES;
    int32_t room = _StoreRoom(p);
    if (room > 0 && p->NumMCURows <= room / perRow) {
        p->BandMCURows = p->NumMCURows;
        p->NumBands = 1;
    } else {
        p->Banding = 1;
        p->NumScans = _CountScans(p);
        if (p->NumScans <= 0 || p->NumScans > GUI_ALLOC_POOL_SIZE / (int32_t)sizeof(JpegScanPos))
            return 1;
        p->hScanPos = GUI_ALLOC_AllocZero(p->NumScans * (int32_t)sizeof(JpegScanPos));
        if (!p->hScanPos)
            return 1;
        _Addr.pScanPos = (JpegScanPos*)GUI_ALLOC_h2p(p->hScanPos);
        room = _StoreRoom(p);
        p->BandMCURows = room > 0 ? room / perRow : 0;
        if (!p->BandMCURows)
            return 1;
        p->NumBands = (p->NumMCURows + p->BandMCURows - 1) / p->BandMCURows;
    }
    if (GUI_JPEG__AllocBandingCoeffBuffer(p))
        return 1;
    p->BandStart = 0;
    p->NextMCURow = 0;
    return p->Banding ? 0 : _DecodeBand(p);
}

// The set-up of a draw: header, sampling, buffers, and the first scan or
// the coefficient stores.
static int _InitDraw(JpegState* p)
{
    if (_ReadUntilSOF(p) || _SetMode(p))
        return 1;
    int32_t size = 0;
    for (int ci = 0; ci < p->NumComps; ++ci) {
        JpegComp* c = &p->aComp[ci];
        c->PlaneWidth = p->MCUsPerRow * c->H * 8;
        c->PlaneOffset = size;
        size += c->PlaneWidth * c->V * 8;
    }
    p->BytesPerPixel = p->Mode ? 4 : 1;
    p->BytesPerLine = ((p->XSize + 15) & ~15) * p->BytesPerPixel;
    p->hCoeff = GUI_ALLOC_AllocZero(64 * (int32_t)sizeof(int16_t));
    p->hSamples = GUI_ALLOC_AllocNoInit(size);
    if (!p->hCoeff || !p->hSamples)
        return 1;
    // Whole lines go to the display as one bitmap row when the pool has room
    // for a row of its pixel indices; in the panel's own RGB565 they are
    // made there by the colour conversion, without the line buffer.
    const int layer = GUI_Context.SelLayer;
    const int bpp = LCD_GetBitsPerPixelEx(layer);
    p->IndexBytes = (uint8_t)(bpp == 8 || bpp == 16 || bpp == 32 ? bpp / 8 : 0);
    if (p->IndexBytes)
        p->hIndexLine = GUI_ALLOC_AllocNoInit(p->XSize * p->IndexBytes);
    p->Direct565 = p->hIndexLine && bpp == 16 && GUI_GetpfColor2IndexEx(layer) == LCD_Color2Index_M565;
    if (!p->Direct565) {
        p->hLine = GUI_ALLOC_AllocNoInit(p->BytesPerLine);
        if (!p->hLine)
            return 1;
    }
    _Addr.pCoeff = (int16_t*)GUI_ALLOC_h2p(p->hCoeff);
    _Addr.pSamples = (uint8_t*)GUI_ALLOC_h2p(p->hSamples);
    if (!p->IsProgressive) {
        if (_InitScan(p, 1))
            return 1;
        // All components in the first scan: MCU rows as the lines need them.
        if (p->NumScanComps == p->NumComps)
            return 0;
    }
    return _InitStores(p);
}

static int GUI_JPEG__ReadUntilSOF(GUI_ALLOC_Handle h)
{
    return _Step(h, _ReadUntilSOF);
}

static int GUI_JPEG__InitDraw(GUI_ALLOC_Handle h)
{
    return _Step(h, _InitDraw);
}

static int GUI_JPEG__DecodeProgressiveBanding(GUI_ALLOC_Handle h)
{
    return _Step(h, _DecodeBand);
}

static void GUI_JPEG__SetNextBand(GUI_ALLOC_Handle h)
{
    JpegState* p = _Lock(h);
    p->BandStart += p->BandMCURows;
    for (int ci = 0; ci < p->NumComps; ++ci) {
        JpegComp* c = &p->aComp[ci];
        c->StoreStart = p->BandStart * c->V;
        memset(_Addr.apStore[ci], 0, (size_t)c->BlocksAcross * (size_t)c->StoreRows * JPEG_BLOCK_BYTES);
    }
    p->EOBRUN = 0;
    p->NextMCURow = p->BandStart;
    p->LinesLeftInRow = 0;
    _Unlock(h);
}

// Band after band from the top: the band's scans, then its lines.  Bands
// below the clip rectangle are not decoded.
static int _DrawBanding(GUI_ALLOC_Handle h, int x0, int y0, const JpegWriter* w)
{
    JpegState* p = _Lock(h);
    const int32_t numBands = p->NumBands, bandLines = p->BandMCURows * p->MCUHeight, ySize = p->YSize;
    _Unlock(h);
    for (int32_t b = 0; b < numBands; ++b) {
        const int32_t first = b * bandLines;
        const int32_t end = first + bandLines < ySize ? first + bandLines : ySize;
        if ((int64_t)y0 + first > GUI_Context.ClipRect.y1)
            break;
        if (GUI_JPEG__DecodeProgressiveBanding(h))
            return 1;
        const int r = _DrawLines(h, first, end, x0, y0, w);
        if (r == 1)
            return 1;
        if (r == 2)
            break;
        GUI_JPEG__SetNextBand(h);
    }
    return 0;
}

static void GUI_JPEG__Free(GUI_ALLOC_Handle h)
{
    JpegState* p = (JpegState*)GUI_ALLOC_LockH(h);
    GUI_ALLOC_FreePtr(&p->hCoeff);
    GUI_ALLOC_FreePtr(&p->hSamples);
    GUI_ALLOC_FreePtr(&p->hLine);
    GUI_ALLOC_FreePtr(&p->hIndexLine);
    GUI_ALLOC_FreePtr(&p->hScanPos);
    GUI_ALLOC_FreePtrArray(p->ahStore, 4);
    GUI_ALLOC_UnlockH(h);
}

// ------------------------------------------------------------ entries

// A state that knows only how to read the file.
static void _ClearState(GUI_ALLOC_Handle h, GUI_GetDataCallback* pfGetData, void* pParam)
{
    JpegState* p = (JpegState*)GUI_ALLOC_LockH(h);
    memset(p, 0, sizeof *p);
    _Addr.pfGetData = pfGetData;
    _Addr.pParam = pParam;
    GUI_ALLOC_UnlockH(h);
}

// The state's block keeps the room of the ten addresses it once held (4
// bytes each on the board), so that what fits the pool beside it stays as
// it was.
#define JPEG_STATE_BYTES ((int32_t)sizeof(JpegState) + 10 * 4)

static GUI_ALLOC_Handle _NewState(GUI_GetDataCallback* pfGetData, void* pParam)
{
    GUI_ALLOC_Handle h = GUI_ALLOC_AllocNoInit(JPEG_STATE_BYTES);
    if (h)
        _ClearState(h, pfGetData, pParam);
    return h;
}

int GUI_JPEG_DrawEx(GUI_GetDataCallback* pfGetData, void* p, int x0, int y0)
{
    GUI_ALLOC_Handle h = _NewState(pfGetData, p);
    if (!h)
        return 1;
    const LCD_PixelIndex saved = LCD_GetColorIndex();
    int r = GUI_JPEG__ReadUntilSOF(h);
    if (!r) {
        // Set up afresh from the start of the file.
        _ClearState(h, pfGetData, p);
        r = GUI_JPEG__InitDraw(h);
    }
    if (!r) {
        JpegState* s = _Lock(h);
        JpegWriter w;
        w.pfGetColor = s->Mode ? GUI_JPEG__GetColorRGB : GUI_JPEG__GetColorGray;
        w.pfColor2Index = GUI_GetpfColor2IndexEx(GUI_Context.SelLayer);
        w.pfWrite = s->hIndexLine ? _WritePixelsOptRGB : _WritePixels;
        const int banding = s->Banding;
        const int32_t ySize = s->YSize;
        _Unlock(h);
        r = banding ? _DrawBanding(h, x0, y0, &w) : _DrawLines(h, 0, ySize, x0, y0, &w) == 1;
    }
    GUI_JPEG__Free(h);
    LCD_SetColor(LCD_Index2Color(saved));
    GUI_ALLOC_Free(h);
    return r;
}

int GUI_JPEG_GetInfoEx(GUI_GetDataCallback* pfGetData, void* p, GUI_JPEG_INFO* pInfo)
{
    GUI_ALLOC_Handle h = _NewState(pfGetData, p);
    if (!h)
        return 1;
    const int r = GUI_JPEG__ReadUntilSOF(h);
    if (pInfo) {
        const JpegState* s = (const JpegState*)GUI_ALLOC_h2p(h);
        pInfo->XSize = s->XSize;
        pInfo->YSize = s->YSize;
    }
    GUI_ALLOC_Free(h);
    return r;
}

int GUI_JPEG_Draw(const void* pFileData, uint32_t NumBytes, int x0, int y0)
{
    GUI_MemFile f = {(const uint8_t*)pFileData, pFileData ? NumBytes : 0};
    return GUI_JPEG_DrawEx(GUI_JPEG__GetData, &f, x0, y0);
}

int GUI_JPEG_GetInfo(const void* pFileData, uint32_t NumBytes, GUI_JPEG_INFO* pInfo)
{
    GUI_MemFile f = {(const uint8_t*)pFileData, pFileData ? NumBytes : 0};
    return GUI_JPEG_GetInfoEx(GUI_JPEG__GetData, &f, pInfo);
}
