// The document, archive and mailbox types as the deep scan runs them: samples laid at sector
// boundaries between junk on an in-memory volume, fed in buffers of sectors.
#include <gtest/gtest.h>

#include <map>

#include "DocSamples.h"
#include "RawScanHarness.h"
#include "docs/DocsTypeList.h"
#include "support/TestFiles.h"

namespace {

// The document, archive and mailbox types scanned in buffers of `bufferSectors`.
std::vector<tagFoundFile> Scan(const std::vector<uint8_t>& image, uint32_t bufferSectors)
{
    std::vector<RawTypePtr> types;
    for (RawTypeCreate create : RawTypeList_docs()) types.emplace_back(create());
    return ScanImage(image, types, 512, bufferSectors);
}

std::string Extension(const std::string& file) { return file.substr(file.rfind('.') + 1); }

} // namespace

TEST(DocTypes, EverySampleFoundOnceWithItsTypeAndLength)
{
    for (uint32_t bufferSectors : {512u, 8u})
    {
        SCOPED_TRACE(bufferSectors);
        std::vector<uint8_t> image = PatternBytes(512 * 16, 1);
        std::map<int64_t, DocSample> planted;
        uint32_t seed = 2;
        for (const DocSample& s : DocSamples())
        {
            const std::vector<uint8_t> bytes = LoadDocSample(s.file);
            planted.emplace(static_cast<int64_t>(image.size() / 512), s);
            image.insert(image.end(), bytes.begin(), bytes.end());
            // Junk up to the next sector boundary and a few sectors more.
            const std::vector<uint8_t> junk = PatternBytes((512 - image.size() % 512) % 512 + 512 * (seed % 5), seed);
            image.insert(image.end(), junk.begin(), junk.end());
            ++seed;
        }
        const std::vector<tagFoundFile> found = Scan(image, bufferSectors);
        std::map<int64_t, tagFoundFile> bySector;
        for (const tagFoundFile& f : found)
        {
            EXPECT_TRUE(bySector.emplace(f.firstSector, f).second) << "twice at " << f.firstSector;
        }
        for (const auto& [sector, sample] : planted)
        {
            SCOPED_TRACE(sample.file);
            auto it = bySector.find(sector);
            ASSERT_NE(it, bySector.end());
            EXPECT_EQ(it->second.extension, Extension(sample.file));
            EXPECT_EQ(it->second.size, static_cast<int64_t>(LoadDocSample(sample.file).size()));
        }
        EXPECT_EQ(found.size(), planted.size());
    }
}

TEST(DocTypes, FileCutByTheVolumeEndIsFoundWithoutALength)
{
    for (const char* file : {"sample.docx", "sample.doc", "sample.pdf", "sample.rar", "sample.pst", "sample.dbx",
                             "sample.rtf", "sample.sqlite"})
    {
        SCOPED_TRACE(file);
        std::vector<uint8_t> image = PatternBytes(512 * 4, 5);
        const std::vector<uint8_t> bytes = LoadDocSample(file);
        image.insert(image.end(), bytes.begin(), bytes.begin() + static_cast<long>(bytes.size() * 3 / 4));
        image.resize(image.size() / 512 * 512);
        const std::vector<tagFoundFile> found = Scan(image, 512);
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(found[0].firstSector, 4);
        EXPECT_EQ(found[0].size, 0);
        EXPECT_EQ(found[0].extension, Extension(file));
    }
}

TEST(DocTypes, RandomDamageOnAVolumeKeepsHitsInside)
{
    std::vector<uint8_t> clean = PatternBytes(512 * 4, 8);
    for (const DocSample& s : DocSamples())
    {
        const std::vector<uint8_t> bytes = LoadDocSample(s.file);
        clean.insert(clean.end(), bytes.begin(), bytes.end());
        clean.resize((clean.size() + 511) / 512 * 512, 0);
    }
    const int64_t total = static_cast<int64_t>(clean.size() / 512);
    for (uint32_t round = 0; round < 30; ++round)
    {
        std::vector<uint8_t> image = clean;
        const std::vector<uint8_t> noise = PatternBytes(image.size() / 50, 1000 + round);
        for (size_t i = 0; i + 3 < noise.size(); i += 4)
        {
            const size_t at = (size_t{noise[i]} << 16 | size_t{noise[i + 1]} << 8 | noise[i + 2]) % image.size();
            image[at] = noise[i + 3];
        }
        for (const tagFoundFile& f : Scan(image, 64))
        {
            ASSERT_GE(f.firstSector, 0);
            ASSERT_LT(f.firstSector, total);
            ASSERT_GE(f.size, 0);
            ASSERT_LE(f.size, (total - f.firstSector) * 512);
        }
    }
}
