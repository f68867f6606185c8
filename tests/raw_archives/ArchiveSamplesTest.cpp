// Real archives made by the common tools (scripts/make-raw-samples-archives): found across
// buffer ends and on large sectors, never given a short length when cut by the volume's end,
// and found one after another when laid back to back (each one's exact length among every
// other type is the carving image's test).
#include <gtest/gtest.h>

#include <algorithm>

#include "ArchiveScan.h"

namespace {
struct tagSample
{
    const char* file;
    const char* extension;
};

constexpr tagSample kSamples[] = {
    {"words.gz", "gz"},      {"mixed-named.gz", "gz"},   {"line.gz", "gz"},    {"joined.gz", "gz"},
    {"words.bz2", "bz2"},    {"line.bz2", "bz2"},        {"words.xz", "xz"},   {"blocks.xz", "xz"},
    {"filters.xz", "xz"},    {"words.7z", "7z"},         {"words.cab", "cab"}, {"gnu.tar", "tar"},
    {"tree-pax.tar", "tar"}, {"noise-ustar.tar", "tar"}, {"joined.xz", "xz"},
};

std::string Describe(const std::vector<tagFoundFile>& found)
{
    std::string what;
    for (const tagFoundFile& f : found)
        what += f.extension + "@" + std::to_string(f.firstSector) + "+" + std::to_string(f.size) + " ";
    return what;
}
} // namespace

class ArchiveSampleFiles : public ::testing::TestWithParam<tagSample>
{};

TEST_P(ArchiveSampleFiles, FoundAcrossBufferEndsAndLargeSectors)
{
    ExpectFoundAcrossBufferEnds(ArchiveSample(GetParam().file), ArchiveType(GetParam().extension), 22);
}

TEST_P(ArchiveSampleFiles, CutByTheVolumeEndIsNeverGivenAShortLength)
{
    const std::vector<uint8_t> file = ArchiveSample(GetParam().file);
    const RawTypePtr type = ArchiveType(GetParam().extension);
    for (size_t keep : {file.size() / 2, file.size() * 9 / 10})
    {
        std::vector<uint8_t> image = Junk(4 * 512, 24);
        Plant(image, 4 * 512, std::span<const uint8_t>(file.data(), keep));
        image.resize((image.size() + 511) / 512 * 512);
        // Refused, found without a length, or found with the length its header states (7z and
        // Cabinet say it up front); never a length that ends before data of the file that is
        // left (only a tar's zero padding may be cut: its members and end blocks are whole).
        for (const tagFoundFile& f : ScanImage(image, type))
        {
            EXPECT_EQ(f.firstSector, 4);
            const bool onlyZerosCut = f.size > 0 && f.size < static_cast<int64_t>(keep) &&
                std::all_of(file.begin() + f.size, file.begin() + static_cast<long>(keep),
                            [](uint8_t b) { return b == 0; });
            EXPECT_TRUE(f.size == 0 || f.size == static_cast<int64_t>(file.size()) || onlyZerosCut)
                << GetParam().file << " kept " << keep << " size " << f.size;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Archives, ArchiveSampleFiles, ::testing::ValuesIn(kSamples), [](const auto& info) {
    std::string n = info.param.file;
    for (char& c : n)
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
    return n;
});

TEST(ArchiveSampleFiles, BackToBackArchivesAreEachFoundWithTheirLength)
{
    // The files one after another on sector boundaries, with no junk between them: each end
    // found must be the file's own, not the next one's.
    std::vector<uint8_t> image(512, 0);
    std::vector<std::pair<int64_t, size_t>> planted;
    for (const tagSample& s : kSamples)
    {
        const std::vector<uint8_t> file = ArchiveSample(s.file);
        planted.emplace_back(static_cast<int64_t>(image.size() / 512), file.size());
        Plant(image, image.size(), file);
        image.resize((image.size() + 511) / 512 * 512, 0xA5);
    }
    const auto found = ScanImage(image, ArchiveTypes(), 512, 32);
    ASSERT_EQ(found.size(), planted.size()) << Describe(found);
    for (size_t i = 0; i < planted.size(); ++i)
    {
        bool seen = false;
        for (const tagFoundFile& f : found)
            if (f.firstSector == planted[i].first)
            {
                seen = true;
                EXPECT_EQ(f.size, static_cast<int64_t>(planted[i].second)) << kSamples[i].file;
            }
        EXPECT_TRUE(seen) << kSamples[i].file;
    }
}
