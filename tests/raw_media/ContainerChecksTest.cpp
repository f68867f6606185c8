// The checks of the walked containers (Ogg pages, Matroska elements, FLAC frames, WebP and HEIF
// headers):
// damage inside a file leaves its end unknown, damage at its start refuses it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "RawScanHarness.h"

namespace {
std::vector<tagFoundFile> ScanPlanted(const std::vector<uint8_t>& file, const std::string& extension)
{
    std::vector<uint8_t> image = Junk(8 * 512 + file.size() + 16 * 512, 41);
    Plant(image, 8 * 512, file);
    return ScanImage(image, MediaType(extension));
}

// Offset of the n-th occurrence of `what` in `bytes` (n from 0), or npos.
size_t Find(const std::vector<uint8_t>& bytes, std::string_view what, int n)
{
    auto it = bytes.begin();
    for (;; ++it)
    {
        it = std::search(it, bytes.end(), what.begin(), what.end(),
                         [](uint8_t a, char b) { return a == static_cast<uint8_t>(b); });
        if (it == bytes.end() || n-- == 0) break;
    }
    return it == bytes.end() ? std::string::npos : static_cast<size_t>(it - bytes.begin());
}
} // namespace

TEST(ContainerChecks, OggPagesCarryTheirCrc)
{
    std::vector<uint8_t> ogg = RawSample("media/tone.ogg");
    const size_t third = Find(ogg, "OggS", 2);
    ASSERT_NE(third, std::string::npos);
    ogg[third + 40] ^= 0x01; // inside the third page: its CRC fails
    auto found = ScanPlanted(ogg, "ogg");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].size, 0);

    ogg = RawSample("media/tone.ogg");
    ogg[30] ^= 0x01; // inside the first page
    EXPECT_TRUE(ScanPlanted(ogg, "ogg").empty());

    // A page of a stream that never began (the first page lost) is not a file's start.
    ogg = RawSample("media/tone.ogg");
    const size_t second = Find(ogg, "OggS", 1);
    EXPECT_TRUE(ScanPlanted(std::vector<uint8_t>(ogg.begin() + static_cast<long>(second), ogg.end()), "ogg").empty());
}

TEST(ContainerChecks, ChainedOggEndsWithItsLastStream)
{
    // The first file of the chain alone ends at its own last page; with the second appended
    // the end moves to the second's.
    const std::vector<uint8_t> first = RawSample("media/tone.ogg");
    const std::vector<uint8_t> chained = RawSample("media/chained.ogg");
    ASSERT_GT(chained.size(), first.size());
    auto found = ScanPlanted(first, "ogg");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].size, static_cast<int64_t>(first.size()));
    found = ScanPlanted(chained, "ogg");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].size, static_cast<int64_t>(chained.size()));
}

TEST(ContainerChecks, MatroskaSegmentMustBeTiledByItsElements)
{
    for (const char* name : {"clip.mkv", "live.mkv"})
    {
        SCOPED_TRACE(name);
        std::vector<uint8_t> mkv = RawSample(std::string("media/") + name);
        const size_t cluster = Find(mkv, "\x1F\x43\xB6\x75", 1);
        ASSERT_NE(cluster, std::string::npos);
        mkv[cluster] = 0x00; // the second cluster's ID is no element
        const auto found = ScanPlanted(mkv, "mkv");
        ASSERT_EQ(found.size(), 1u);
        // A sized segment no longer adds up; a live one ends where its elements stop, before
        // the damage, and never past the file.
        if (std::string(name) == "clip.mkv")
        {
            EXPECT_EQ(found[0].size, 0);
        }
        else
        {
            EXPECT_EQ(found[0].size, static_cast<int64_t>(cluster));
        }
    }
    // A WebM file is not a Matroska one, and the other way round.
    EXPECT_TRUE(ScanPlanted(RawSample("media/clip.webm"), "mkv").empty());
    EXPECT_TRUE(ScanPlanted(RawSample("media/clip.mkv"), "webm").empty());
}

TEST(ContainerChecks, WebpAndHeifHeadersAreChecked)
{
    std::vector<uint8_t> webp = RawSample("media/picture.webp");
    webp[15] = 'Z'; // "VP8Z": no WebP bitstream
    EXPECT_TRUE(ScanPlanted(webp, "webp").empty());
    webp = RawSample("media/picture.webp");
    webp[23] = 0; // the key frame's start code
    EXPECT_TRUE(ScanPlanted(webp, "webp").empty());

    // Each HEIF flavour claims only its own brand.
    EXPECT_TRUE(ScanPlanted(RawSample("media/picture.heic"), "avif").empty());
    EXPECT_TRUE(ScanPlanted(RawSample("media/picture.avif"), "heic").empty());
    // A picture without its item tree is not a picture.
    std::vector<uint8_t> heic = RawSample("media/picture.heic");
    const size_t meta = Find(heic, "meta", 0);
    ASSERT_NE(meta, std::string::npos);
    std::memcpy(heic.data() + meta, "junk", 4);
    EXPECT_TRUE(ScanPlanted(heic, "heic").empty());
}

TEST(ContainerChecks, FlacFramesCarryTheirCrc)
{
    for (const char* name : {"noise.flac", "stream.flac"})
    {
        SCOPED_TRACE(name);
        std::vector<uint8_t> flac = RawSample(std::string("media/") + name);
        flac[flac.size() - 100] ^= 0x10; // inside a late frame: its CRC-16 (or its parse) fails
        const auto found = ScanPlanted(flac, "flac");
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(found[0].size, 0);
    }
    // Metadata that names a block type no writer uses.
    std::vector<uint8_t> flac = RawSample("media/tone.flac");
    flac[4 + 4 + 34] = 0x7F;
    EXPECT_TRUE(ScanPlanted(flac, "flac").empty());
    // Metadata alone, followed by no frame.
    flac = RawSample("media/tone.flac");
    uint32_t pos = 4;
    for (bool last = false; !last;)
    {
        last = (flac[pos] & 0x80) != 0;
        pos += 4 + (uint32_t{flac[pos + 1]} << 16 | uint32_t{flac[pos + 2]} << 8 | flac[pos + 3]);
    }
    flac.resize(pos);
    EXPECT_TRUE(ScanPlanted(flac, "flac").empty());
}
