#include <gtest/gtest.h>

#include "device/KBitmap.h"
#include "device/KBuffer.h"
#include "device/KMemoryPool.h"

TEST(Bitmap, SizesAndBounds)
{
    KBitmap bm;
    ASSERT_EQ(bm.Create(9), 1);
    EXPECT_EQ(bm.GetByteCount(), 2u);
    EXPECT_EQ(bm.GetLastIndex(), 8);
    EXPECT_EQ(bm.SetBit(9, 1), 0);
    EXPECT_EQ(bm.SetBit(-1, 1), 0);
    EXPECT_EQ(bm.SetBit(8, 1), 1);
    EXPECT_EQ(bm.GetBit(8), 1u); // bit 8 lives in byte 1, mask 0x01
    EXPECT_EQ(bm.SetBit(3, 1), 1);
    EXPECT_EQ(bm.GetBit(3), 8u); // the mask, not 1
    EXPECT_EQ(bm.GetBit(9), 0u);

    // Create(0) keeps the previous storage.
    EXPECT_EQ(bm.Create(0), 0);
    EXPECT_EQ(bm.GetByteCount(), 2u);
    EXPECT_EQ(bm.GetBit(8), 1u);
    ASSERT_EQ(bm.Create(8), 1);
    EXPECT_EQ(bm.GetByteCount(), 1u);
    EXPECT_EQ(bm.GetBit(3), 0u); // fresh storage is zeroed
}

TEST(Buffer, SetByteOnlyInside)
{
    KBuffer buf;
    ASSERT_NE(buf.Allocate(4), nullptr);
    for (int i = 0; i < 4; ++i)
        buf.SetByte(i, 0);
    buf.SetByte(4, 9);
    buf.SetByte(-1, 9);
    buf.SetByte(3, 7);
    EXPECT_EQ(buf.GetBuffer()[3], 7);
    EXPECT_EQ(buf.GetBuffer()[0], 0);
    EXPECT_EQ(buf.Allocate(-1), nullptr);
    EXPECT_EQ(buf.GetSize(), -1); // the requested size stays while the block is null
    buf.Free();
    EXPECT_EQ(buf.GetSize(), 0);
}

TEST(MemoryPool, BlockEdges)
{
    KMemoryPool pool(4, 8);
    EXPECT_EQ(pool.GetRemaining(), 0u);
    auto* a = static_cast<uint8_t*>(pool.Alloc(3));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(pool.GetBlockCount(), 1u);
    EXPECT_EQ(pool.GetRemaining(), 5u);
    auto* b = static_cast<uint8_t*>(pool.Alloc(5)); // exactly fills the block
    EXPECT_EQ(b, a + 12);
    EXPECT_EQ(pool.GetBlockCount(), 1u);
    EXPECT_EQ(pool.GetRemaining(), 0u);
    EXPECT_NE(pool.Alloc(1), nullptr); // opens a new block
    EXPECT_EQ(pool.GetBlockCount(), 2u);
    EXPECT_EQ(pool.Alloc(9), nullptr); // more than a block holds is refused
    EXPECT_EQ(pool.GetBlockCount(), 2u);
    pool.FreeAll();
    EXPECT_EQ(pool.GetBlockCount(), 0u);
    EXPECT_EQ(pool.GetRemaining(), 0u);
}
