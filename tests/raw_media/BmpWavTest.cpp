// Pictures and sound whose length the header states, from the real samples with their fields
// changed: a size field that disagrees with the pixel rows, a recording never closed, an odd
// data chunk and its pad byte; damaged headers are refused.
#include <gtest/gtest.h>

#include "RawScanHarness.h"
#include "base/ByteView.h"
#include "support/TestFiles.h"

TEST(RawHeaderSized, BmpSizeFieldDisagreeingWithRowsUsesRows)
{
    std::vector<uint8_t> bmp = RawSample("media/truecolor.bmp"); // 96 x 64, 24 bits: rows fill it
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
    std::vector<uint8_t> wav = RawSample("media/tone.wav"); // 44-byte header, then the data chunk
    const uint32_t data = PeekU32LE(&wav[40]) - 1;          // made odd: the chunk takes a pad byte
    PutLE(wav, 40, data, 4);
    PutLE(wav, 4, 36 + data, 4);
    Plant(image, 7 * 512, wav);
    auto found = ScanImage(image, MediaType("wav"));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].firstSector, 7);
    EXPECT_EQ(found[0].size, 44 + data + 1);

    PutLE(wav, 4, 0xFFFFFFFF, 4); // never closed
    Plant(image, 7 * 512, wav);
    found = ScanImage(image, MediaType("wav"));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].size, 44 + data);

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
