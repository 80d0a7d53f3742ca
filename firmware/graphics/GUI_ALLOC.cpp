#include "graphics/GUI_ALLOC.h"

#include <string.h>

// Block layout, 32-bit words: owning handle (0 = free), total size, payload,
// total size again.  A free block keeps in its payload the links of its size
// class: next free block, previous free block, its own start.
#define HDR 8
#define COST 12
#define MIN_BLOCK 44
#define NONE 0xFFFFFFFFu
#define CLASSES 16

static uint32_t _Heap[GUI_ALLOC_POOL_SIZE / 4];
static uint32_t _AllocSize;  // bytes of the pool still managed

static struct {
    uint8_t inUse;
    uint32_t link;  // in use: block offset; free: next free descriptor
} _aBlock[GUI_ALLOC_NUM_BLOCKS];
static int _FirstFreeBlock;
static int _NumFreeBlocks;

static struct {
    uint32_t minSize;
    uint32_t first;  // offset of the first free block, NONE
} _aFreeMem[CLASSES];

static int32_t _NumFreeBytes;
static int _LockCnt;
static int _LockCntHandles;
static int _initialised;

static uint8_t* base(void) { return (uint8_t*)_Heap; }
static uint32_t& W(uint32_t off) { return *(uint32_t*)(base() + off); }

// Fields of the block at off.
static uint32_t& owner(uint32_t off) { return W(off); }
static uint32_t& size(uint32_t off) { return W(off + 4); }
static uint32_t& tail(uint32_t off) { return W(off + size(off) - 4); }
static uint32_t& next(uint32_t off) { return W(off + 8); }
static uint32_t& prev(uint32_t off) { return W(off + 12); }
static uint32_t& self(uint32_t off) { return W(off + 16); }

// The highest class whose minimum lies below s.
static int class_of(uint32_t s)
{
    int k = 0;
    while (k + 1 < CLASSES && _aFreeMem[k + 1].minSize < s)
        ++k;
    return k;
}

static void unlink_free(uint32_t off)
{
    int k = class_of(size(off));
    if (prev(off) != NONE)
        next(prev(off)) = next(off);
    else
        _aFreeMem[k].first = next(off);
    if (next(off) != NONE)
        prev(next(off)) = prev(off);
    _NumFreeBytes -= (int32_t)size(off);
}

// Makes [off, off+s) a free block at the front of its class.
static void add_free(uint32_t off, uint32_t s)
{
    owner(off) = 0;
    size(off) = s;
    tail(off) = s;
    int k = class_of(s);
    next(off) = _aFreeMem[k].first;
    prev(off) = NONE;
    self(off) = off;
    if (_aFreeMem[k].first != NONE)
        prev(_aFreeMem[k].first) = off;
    _aFreeMem[k].first = off;
    _NumFreeBytes += (int32_t)s;
}

static int is_free_block(uint32_t off)
{
    return off < _AllocSize && owner(off) == 0;
}

static void _InitOnce(void)
{
    if (_initialised)
        return;
    _initialised = 1;
    _AllocSize = GUI_ALLOC_POOL_SIZE;
    for (int k = 0; k < CLASSES; ++k) {
        _aFreeMem[k].minSize = 32u << k;
        _aFreeMem[k].first = NONE;
    }
    for (int i = 0; i < GUI_ALLOC_NUM_BLOCKS; ++i) {
        _aBlock[i].inUse = 0;
        _aBlock[i].link = (uint32_t)(i + 1);
    }
    _FirstFreeBlock = 1;
    _NumFreeBlocks = GUI_ALLOC_NUM_BLOCKS - 1;
    _NumFreeBytes = 0;
    add_free(0, _AllocSize);
}

static uint32_t find_free(uint32_t t)
{
    for (int k = class_of(t); k < CLASSES; ++k)
        for (uint32_t b = _aFreeMem[k].first; b != NONE; b = next(b))
            if (size(b) >= t)
                return b;
    return NONE;
}

// Slides every used block down over the free gaps; the free space ends up
// as one block at the top.  Returns 0 when there was no gap to remove.
static int compact(void)
{
    uint32_t w = 0, r = 0;
    int moved = 0;
    while (r < _AllocSize) {
        uint32_t s = size(r);
        if (owner(r)) {
            if (r != w) {
                memmove(base() + w, base() + r, s);
                _aBlock[owner(w)].link = w;
                moved = 1;
            }
            w += s;
        }
        r += s;
    }
    for (int k = 0; k < CLASSES; ++k)
        _aFreeMem[k].first = NONE;
    _NumFreeBytes = 0;
    if (w < _AllocSize)
        add_free(w, _AllocSize - w);
    return moved;
}

GUI_ALLOC_Handle GUI_ALLOC_AllocNoInit(int32_t n)
{
    _InitOnce();
    if (n <= 0 || n > GUI_ALLOC_POOL_SIZE)
        return 0;
    uint32_t t = (n < 32 ? 32u : ((uint32_t)n + 3u) & ~3u) + COST;
    uint32_t b = find_free(t);
    if (b == NONE) {
        if (_LockCnt || _LockCntHandles || !compact())
            return 0;
        b = find_free(t);
        if (b == NONE)
            return 0;
    }
    if (_NumFreeBlocks == 0)
        return 0;
    int h = _FirstFreeBlock;
    _FirstFreeBlock = (int)_aBlock[h].link;
    _aBlock[h].inUse = 1;
    --_NumFreeBlocks;

    unlink_free(b);
    uint32_t s = size(b);
    if (s - t >= MIN_BLOCK) {
        uint32_t rest = b + t, restSize = s - t;
        uint32_t after = b + s;
        if (is_free_block(after)) {
            unlink_free(after);
            restSize += size(after);
        }
        s = t;
        size(b) = s;
        add_free(rest, restSize);
    }
    owner(b) = (uint32_t)h;
    size(b) = s;
    tail(b) = s;
    _aBlock[h].link = b;
    return (GUI_ALLOC_Handle)h;
}

GUI_ALLOC_Handle GUI_ALLOC_AllocZero(int32_t n)
{
    GUI_ALLOC_Handle h = GUI_ALLOC_AllocNoInit(n);
    if (h)
        memset(GUI_ALLOC_h2p(h), 0, (size_t)n);
    return h;
}

static int valid(GUI_ALLOC_Handle h)
{
    return h > 0 && h < GUI_ALLOC_NUM_BLOCKS && _aBlock[h].inUse;
}

void GUI_ALLOC_Free(GUI_ALLOC_Handle h)
{
    _InitOnce();
    if (!valid(h))
        return;
    uint32_t b = _aBlock[h].link;
    uint32_t s = size(b);
    uint32_t after = b + s;
    if (is_free_block(after)) {
        unlink_free(after);
        s += size(after);
    }
    if (b > 0) {
        uint32_t before = b - W(b - 4);
        if (owner(before) == 0) {
            unlink_free(before);
            s += size(before);
            b = before;
        }
    }
    // The neighbours left the count when they were unlinked: the merged
    // block adds just what was freed.
    add_free(b, s);
    _aBlock[h].inUse = 0;
    _aBlock[h].link = (uint32_t)_FirstFreeBlock;
    _FirstFreeBlock = h;
    ++_NumFreeBlocks;
}

void GUI_ALLOC_FreePtr(GUI_ALLOC_Handle* ph)
{
    if (!ph)
        return;
    GUI_ALLOC_Free(*ph);
    *ph = 0;
}

void GUI_ALLOC_FreePtrArray(GUI_ALLOC_Handle* pa, int count)
{
    for (int i = 0; pa && i < count; ++i)
        GUI_ALLOC_FreePtr(pa + i);
}

void* GUI_ALLOC_h2p(GUI_ALLOC_Handle h)
{
    _InitOnce();
    if (!valid(h))
        return 0;
    return base() + _aBlock[h].link + HDR;
}

void* GUI_ALLOC_LockH(GUI_ALLOC_Handle h)
{
    ++_LockCntHandles;
    return GUI_ALLOC_h2p(h);
}

void* GUI_ALLOC_UnlockH(GUI_ALLOC_Handle)
{
    if (_LockCntHandles > 0)
        --_LockCntHandles;
    return 0;
}

void GUI_ALLOC_Lock(void)
{
    ++_LockCnt;
}

void GUI_ALLOC_Unlock(void)
{
    if (_LockCnt > 0)
        --_LockCnt;
}

int32_t GUI_ALLOC_GetSize(GUI_ALLOC_Handle h)
{
    _InitOnce();
    if (!valid(h))
        return 0;
    return (int32_t)size(_aBlock[h].link) - COST;
}

int32_t GUI_ALLOC_GetNumFreeBytes(void)
{
    _InitOnce();
    return _NumFreeBytes - COST;
}

int32_t GUI_ALLOC_GetNumUsedBytes(void)
{
    _InitOnce();
    return (int32_t)_AllocSize - _NumFreeBytes;
}

int GUI_ALLOC_GetNumFreeBlocks(void)
{
    _InitOnce();
    return _NumFreeBlocks;
}

int GUI_ALLOC_GetNumUsedBlocks(void)
{
    _InitOnce();
    return GUI_ALLOC_NUM_BLOCKS - _NumFreeBlocks;
}

int32_t GUI_ALLOC_GetMaxSize(void)
{
    _InitOnce();
    for (int k = CLASSES - 1; k >= 0; --k) {
        uint32_t best = 0;
        for (uint32_t b = _aFreeMem[k].first; b != NONE; b = next(b))
            if (size(b) > best)
                best = size(b);
        if (best)
            return (int32_t)best - COST;
    }
    // Nothing free: no buffer can be had.
    return 0;
}

int32_t GUI_ALLOC_RequestSize(void)
{
    int32_t s = GUI_ALLOC_GetMaxSize();
    if (s <= 0)
        return 0;
    return s <= 4194304 ? s * 90 / 100 : (s / 100) * 90;
}

void* GUI_ALLOC_GetFixedBlock(int32_t n)
{
    _InitOnce();
    if (n <= 0)
        return 0;
    uint32_t need = ((uint32_t)n + 3u) & ~3u;
    if (!_LockCnt && !_LockCntHandles)
        compact();
    // The free space now ends the pool; the block comes off its top.
    uint32_t top = NONE;
    for (int k = 0; k < CLASSES; ++k)
        for (uint32_t b = _aFreeMem[k].first; b != NONE; b = next(b))
            if (b + size(b) == _AllocSize)
                top = b;
    if (top == NONE || size(top) < need)
        return 0;
    uint32_t s = size(top);
    unlink_free(top);
    _AllocSize -= need;
    if (s - need >= MIN_BLOCK)
        add_free(top, s - need);
    else
        _AllocSize = top;  // too little left for a block: it goes with the fixed one
    return base() + _AllocSize;
}

void GUI_ALLOC_AssignMemory(void*, uint32_t) {}
void GUI_ALLOC_SetAvBlockSize(uint32_t) {}
