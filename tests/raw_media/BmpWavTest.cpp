// Pictures and sound whose length the header states: found once, at the right sector, with
// the right length; damaged headers are refused.
#include <gtest/gtest.h>

#include "RawScanHarness.h"
#include "base/ByteView.h"
#include "support/TestFiles.h"

namespace {
// A 24-bit bitmap with a 40-byte info header: rows padded to 4 bytes.
std::vector<uint8_t> MakeBmp(uint32_t w, uint32_t h)
{
    const uint32_t row = (w * 3 + 3) / 4 * 4;
    const uint32_t size = 54 + row * h;
    std::vector<uint8_t> b(size, 0x5A);
    b[0] = 'B';
    b[1] = 'M';
    PutLE(b, 2, size, 4);
    PutLE(b, 6, 0, 4);
    PutLE(b, 10, 54, 4);
    PutLE(b, 14, 40, 4);
    PutLE(b, 18, w, 4);
    PutLE(b, 22, h, 4);
    PutLE(b, 26, 1, 2);
    PutLE(b, 28, 24, 2);
    PutLE(b, 30, 0, 4);
    PutLE(b, 34, row * h, 4);
    PutLE(b, 38, 2835, 4);
    PutLE(b, 42, 2835, 4);
    PutLE(b, 46, 0, 4);
    PutLE(b, 50, 0, 4);
    return b;
}

std::vector<uint8_t> MakeWav(uint32_t dataBytes)
{
    std::vector<uint8_t> b(44 + dataBytes, 0x33);
    std::memcpy(b.data(), "RIFF", 4);
    PutLE(b, 4, 36 + dataBytes, 4);
    std::memcpy(b.data() + 8, "WAVEfmt ", 8);
    PutLE(b, 16, 16, 4);
    PutLE(b, 20, 1, 2);
    PutLE(b, 22, 2, 2);
    PutLE(b, 24, 44100, 4);
    PutLE(b, 28, 44100 * 4, 4);
    PutLE(b, 32, 4, 2);
    PutLE(b, 34, 16, 2);
    std::memcpy(b.data() + 36, "data", 4);
    PutLE(b, 40, dataBytes, 4);
    return b;
}
} // namespace

TEST(RawHeaderSized, BmpSizeFieldDisagreeingWithRowsUsesRows)
{
    std::vector<uint8_t> bmp = MakeBmp(100, 50);
    const int64_t rows = static_cast<int64_t>(bmp.size());
    std::vector<uint8_t> image = Junk(256 * 512, 2);
    PutLE(bmp, 2, 0x7FFFFFF0, 4); // a size field far beyond the pixel rows
    Plant(image, 3 * 512, bmp);
    auto found = ScanImage(image, MediaType("bmp"));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].size, rows);

    PutLE(bmp, 2, 0, 4);
    PutLE(bmp, 26, 2, 2); // two planes: not a bitmap
    Plant(image, 3 * 512, bmp);
    EXPECT_TRUE(ScanImage(image, MediaType("bmp")).empty());
}

TEST(RawHeaderSized, WavFoundWithRiffLengthAndOpenRecordingUsesDataChunk)
{
    std::vector<uint8_t> image = Junk(128 * 512, 3);
    std::vector<uint8_t> wav = MakeWav(10001);
    Plant(image, 7 * 512, wav);
    auto found = ScanImage(image, MediaType("wav"));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].firstSector, 7);
    EXPECT_EQ(found[0].size, static_cast<int64_t>(wav.size()) + 1); // odd chunk padded

    PutLE(wav, 4, 0xFFFFFFFF, 4); // never closed
    Plant(image, 7 * 512, wav);
    found = ScanImage(image, MediaType("wav"));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].size, 44 + 10001);

    PutLE(wav, 24, 7, 4); // a sample rate no recorder writes
    Plant(image, 7 * 512, wav);
    EXPECT_TRUE(ScanImage(image, MediaType("wav")).empty());
}

TEST(RawPluginInterface, DescriptorsLimitsAndTextCopies)
{
    for (const RawTypePtr& t : AllMediaTypes())
    {
        EXPECT_EQ(t->Initiate(), 1) << t->Info().extension;
        int64_t limits[2] = {-1, -1};
        EXPECT_EQ(t->GetInfo(RAW_INFO_SIZE_LIMITS, limits, 16), 0);
        EXPECT_GT(limits[0], 0);
        EXPECT_GT(limits[1], limits[0]);
        EXPECT_NE(t->GetInfo(RAW_INFO_SIZE_LIMITS, limits, 8), 0); // too small for two values
        EXPECT_NE(t->GetInfo(7, limits, 16), 0);
        char small[3] = {'x', 'x', 'x'};
        t->GetExtension(small, sizeof(small));
        EXPECT_EQ(small[2], '\0'); // cut, still terminated
    }
}
