// The image decoders' memory pool: sizes, splitting, merging, compaction.
#include <gtest/gtest.h>

#include <cstring>

#include "graphics/GUI_ALLOC.h"

namespace {

TEST(GuiAlloc, FreshPoolAndSmallestBlock)
{
    EXPECT_EQ(GUI_ALLOC_GetMaxSize(), 99988);
    EXPECT_EQ(GUI_ALLOC_GetNumFreeBlocks(), 3126);
    GUI_ALLOC_Handle h = GUI_ALLOC_AllocNoInit(1);
    ASSERT_NE(h, 0);
    EXPECT_EQ(GUI_ALLOC_GetSize(h), 32) << "one byte costs the smallest block";
    EXPECT_EQ(GUI_ALLOC_GetNumUsedBytes(), 44);
    EXPECT_EQ(GUI_ALLOC_AllocNoInit(0), 0);
    EXPECT_EQ(GUI_ALLOC_AllocNoInit(-5), 0);
    GUI_ALLOC_FreePtr(&h);
    EXPECT_EQ(h, 0);
    EXPECT_EQ(GUI_ALLOC_GetMaxSize(), 99988) << "freeing merges back into one block";
    GUI_ALLOC_Free(h);  // handle 0 and a freed handle are ignored
    EXPECT_EQ(GUI_ALLOC_GetNumFreeBlocks(), 3126);
}

TEST(GuiAlloc, WholePoolAndBeyond)
{
    EXPECT_EQ(GUI_ALLOC_AllocNoInit(100000), 0);
    GUI_ALLOC_Handle h = GUI_ALLOC_AllocZero(99988);
    ASSERT_NE(h, 0);
    EXPECT_EQ(GUI_ALLOC_GetMaxSize(), 0) << "no free block left";
    EXPECT_EQ(GUI_ALLOC_RequestSize(), 0);
    EXPECT_EQ(GUI_ALLOC_AllocNoInit(1), 0);
    GUI_ALLOC_Free(h);
    EXPECT_EQ(GUI_ALLOC_GetMaxSize(), 99988);
}

TEST(GuiAlloc, CompactionMovesBlocksAndKeepsHandles)
{
    GUI_ALLOC_Handle a = GUI_ALLOC_AllocNoInit(30000);
    GUI_ALLOC_Handle b = GUI_ALLOC_AllocNoInit(30000);
    GUI_ALLOC_Handle c = GUI_ALLOC_AllocNoInit(30000);
    ASSERT_TRUE(a && b && c);
    std::memset(GUI_ALLOC_h2p(a), 0xAA, 30000);
    std::memset(GUI_ALLOC_h2p(c), 0xCC, 30000);
    GUI_ALLOC_Free(b);
    // Larger than the gap and than the space above c: only compaction helps,
    // and not while the pool is locked.
    GUI_ALLOC_Lock();
    EXPECT_EQ(GUI_ALLOC_AllocNoInit(35000), 0) << "compaction while locked";
    GUI_ALLOC_Unlock();
    void* before = GUI_ALLOC_h2p(c);
    GUI_ALLOC_Handle d = GUI_ALLOC_AllocNoInit(35000);
    ASSERT_NE(d, 0);
    EXPECT_LT(GUI_ALLOC_h2p(c), before) << "the third block moves down";
    const uint8_t* pa = static_cast<const uint8_t*>(GUI_ALLOC_h2p(a));
    const uint8_t* pc = static_cast<const uint8_t*>(GUI_ALLOC_h2p(c));
    EXPECT_TRUE(pa[0] == 0xAA && pa[29999] == 0xAA) << "first block's data intact";
    EXPECT_TRUE(pc[0] == 0xCC && pc[29999] == 0xCC) << "moved block's data intact";
    GUI_ALLOC_Handle all[3] = {a, c, d};
    GUI_ALLOC_FreePtrArray(all, 3);
    EXPECT_EQ(GUI_ALLOC_GetMaxSize(), 99988);
}

TEST(GuiAlloc, NeighboursMergeOnFree)
{
    GUI_ALLOC_Handle a = GUI_ALLOC_AllocNoInit(1000);
    GUI_ALLOC_Handle b = GUI_ALLOC_AllocNoInit(1000);
    GUI_ALLOC_Handle c = GUI_ALLOC_AllocNoInit(1000);
    int32_t freeBefore = GUI_ALLOC_GetNumFreeBytes();
    GUI_ALLOC_Free(a);
    GUI_ALLOC_Free(b);
    EXPECT_EQ(GUI_ALLOC_GetNumFreeBytes(), freeBefore + 2 * 1012);
    // The merged gap takes one block as large as both.
    GUI_ALLOC_Handle m = GUI_ALLOC_AllocNoInit(2012);
    EXPECT_LT(GUI_ALLOC_h2p(m), GUI_ALLOC_h2p(c)) << "the merged gap before c is used";
    GUI_ALLOC_Free(m);
    GUI_ALLOC_Free(c);
    EXPECT_EQ(GUI_ALLOC_GetMaxSize(), 99988);
}

TEST(GuiAlloc, FillsWithSmallestBlocksAndEmptiesAgain)
{
    GUI_ALLOC_Handle h[3126];
    int n = 0;
    while (n < 3126 && (h[n] = GUI_ALLOC_AllocNoInit(1)) != 0)
        ++n;
    EXPECT_EQ(n, 2272) << "44-byte blocks fill the 100000-byte pool first";
    for (int i = 0; i < n; ++i)
        GUI_ALLOC_Free(h[i]);
    EXPECT_EQ(GUI_ALLOC_GetNumFreeBlocks(), 3126);
    EXPECT_EQ(GUI_ALLOC_GetMaxSize(), 99988);
}

}  // namespace
