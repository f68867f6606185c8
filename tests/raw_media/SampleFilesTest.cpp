// Real files made by common tools (scripts/make-raw-samples-media), each found across buffer
// ends and on large sectors, and never given a short length when cut by the volume's end (each
// one's exact length among every other type is the carving image's test).
#include <gtest/gtest.h>

#include "RawScanHarness.h"

namespace {
struct tagSample
{
    const char* file;
    const char* extension;
};

constexpr tagSample kSamples[] = {
    {"baseline.jpg", "jpg"},  {"progressive.jpg", "jpg"}, {"restart.jpg", "jpg"},    {"picture.png", "png"},
    {"animated.gif", "gif"},  {"still87.gif", "gif"},     {"truecolor.bmp", "bmp"},  {"rle8.bmp", "bmp"},
    {"icon.ico", "ico"},      {"lzw.tif", "tif"},         {"twopage-be.tif", "tif"}, {"rle.psd", "psd"},
    {"raw.psd", "psd"},       {"tone.wav", "wav"},        {"tagged.mp3", "mp3"},     {"bare.mp3", "mp3"},
    {"clip.avi", "avi"},      {"clip.mpg", "mpg"},        {"clip-vob.mpg", "mpg"},   {"clip.mp4", "mp4"},
    {"clip.mov", "mov"},      {"clip.3gp", "3gp"},        {"tone.m4a", "m4a"},       {"clip.wmv", "wmv"},
    {"tone.wma", "wma"},      {"picture.webp", "webp"},   {"lossless.webp", "webp"}, {"alpha.webp", "webp"},
    {"picture.heic", "heic"}, {"picture.avif", "avif"},   {"clip.mkv", "mkv"},       {"live.mkv", "mkv"},
    {"clip.webm", "webm"},    {"tone.ogg", "ogg"},        {"chained.ogg", "ogg"},    {"clip.ogv", "ogg"},
    {"tone.flac", "flac"},    {"noise.flac", "flac"},     {"stream.flac", "flac"},   {"tagged.flac", "flac"},
};

std::vector<uint8_t> Sample(const tagSample& s) { return RawSample(std::string("media/") + s.file); }
} // namespace

class RawSampleFiles : public ::testing::TestWithParam<tagSample>
{};

TEST_P(RawSampleFiles, FoundAcrossBufferEndsAndLargeSectors)
{
    ExpectFoundAcrossBufferEnds(Sample(GetParam()), MediaType(GetParam().extension), 12);
}

TEST_P(RawSampleFiles, TruncatedAtVolumeEndGivesNoOvershoot)
{
    const std::vector<uint8_t> file = Sample(GetParam());
    const RawTypePtr type = MediaType(GetParam().extension);
    for (size_t keep : {file.size() / 2, file.size() * 9 / 10})
    {
        std::vector<uint8_t> image = Junk(4 * 512, 14);
        Plant(image, 4 * 512, std::span<const uint8_t>(file.data(), keep));
        image.resize((image.size() + 511) / 512 * 512);
        const auto found = ScanImage(image, type);
        // A cut file may be refused, found with its end unknown, or found with the length its
        // header claims; it is never cut short of what the volume still holds.
        for (const tagFoundFile& f : found)
        {
            EXPECT_EQ(f.firstSector, 4);
            EXPECT_TRUE(f.size == 0 || f.size >= static_cast<int64_t>(keep) ||
                        f.size == static_cast<int64_t>(file.size()))
                << GetParam().file << " kept " << keep << " size " << f.size;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Media, RawSampleFiles, ::testing::ValuesIn(kSamples), [](const auto& info) {
    std::string n = info.param.file;
    for (char& c : n)
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
    return n;
});
