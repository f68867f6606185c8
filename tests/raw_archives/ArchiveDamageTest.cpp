// Archives whose checks fail, hostile and random input: a failed integrity check never yields a
// length, no hit appears in random data or outside a damaged archive.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "ArchiveScan.h"
#include "common/RawCrc32.h"
#include "support/TestFiles.h"

namespace {
// Scans one file planted at sector 8 of junk with its own type.
std::vector<tagFoundFile> ScanPlanted(const std::vector<uint8_t>& file, const std::string& extension)
{
    std::vector<uint8_t> image = Junk(8 * 512 + file.size() + 16 * 512, 31);
    Plant(image, 8 * 512, file);
    return ScanImage(image, ArchiveType(extension));
}

} // namespace

TEST(ArchiveChecks, FailedIntegrityChecksLeaveTheEndUnknown)
{
    struct Case
    {
        const char* file;
        const char* extension;
        size_t fromEnd; // the byte changed, counted from the end of the file
        const char* what;
    };
    const Case cases[] = {
        {"joined.gz", "gz", 1, "second member's trailer length"},
        {"words.gz", "gz", 1, "a long member's trailer length"},
        {"words.bz2", "bz2", 2, "bzip2 combined CRC"},
        {"words.xz", "xz", 14, "xz index CRC"},
        {"blocks.xz", "xz", 3, "xz footer flags"},
        {"joined.xz", "xz", 3, "second xz stream's footer flags"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> file = ArchiveSample(c.file);
        file[file.size() - c.fromEnd] ^= 0x40;
        const auto found = ScanPlanted(file, c.extension);
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(found[0].size, 0);
    }
}

TEST(ArchiveChecks, GzipBrokenInsideItsDataIsOfferedWithItsEndUnknown)
{
    // A sector of other data in the middle of the stream (a lost fragment or a bad sector's
    // replacement): what decodes before it is worth saving, so the file is found without a
    // length and nothing inside it is taken for a file of its own.
    struct Case
    {
        const char* file;
        size_t at;
        bool found;
    };
    const Case cases[] = {
        {"words.gz", 12000, true},
        {"mixed-named.gz", 30000, true},
        {"joined.gz", 20000, true}, // inside the second member: the first is whole
        {"words.gz", 600, false},   // too early to tell from a header followed by chance bytes
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::string(c.file) + " at " + std::to_string(c.at));
        std::vector<uint8_t> file = ArchiveSample(c.file);
        const std::vector<uint8_t> junk = Junk(512, 41);
        std::copy(junk.begin(), junk.end(), file.begin() + static_cast<long>(c.at));
        const auto found = ScanPlanted(file, "gz");
        ASSERT_EQ(found.size(), c.found ? 1u : 0u);
        if (c.found)
        {
            EXPECT_EQ(found[0].firstSector, 8);
            EXPECT_EQ(found[0].size, 0);
        }
    }
}

TEST(ArchiveChecks, HeadersThatFailTheirChecksAreNotFiles)
{
    std::vector<uint8_t> sevenZip = ArchiveSample("words.7z");
    sevenZip[20] ^= 1; // next header size: the start header CRC no longer matches
    EXPECT_TRUE(ScanPlanted(sevenZip, "7z").empty());

    std::vector<uint8_t> xz = ArchiveSample("words.xz");
    xz[7] = 0x0A; // check type changed: the stream flags CRC fails
    EXPECT_TRUE(ScanPlanted(xz, "xz").empty());

    std::vector<uint8_t> cab = ArchiveSample("words.cab");
    PutLE(cab, 16, 0xFFFF0000u, 4); // file entries beyond the cabinet's end
    EXPECT_TRUE(ScanPlanted(cab, "cab").empty());

    std::vector<uint8_t> tar = ArchiveSample("gnu.tar");
    tar[0] ^= 0x01; // the first member's name: its header checksum fails
    for (const tagFoundFile& f : ScanPlanted(tar, "tar"))
    {
        EXPECT_NE(f.firstSector, 8); // what is left from the next member on is a tar of its own
    }

    std::vector<uint8_t> bz2 = ArchiveSample("words.bz2");
    bz2[4] ^= 0x10; // first block magic
    EXPECT_TRUE(ScanPlanted(bz2, "bz2").empty());

    std::vector<uint8_t> gz = ArchiveSample("words.gz");
    gz[3] = 0x20; // reserved header flag
    EXPECT_TRUE(ScanPlanted(gz, "gz").empty());
    gz = ArchiveSample("line.gz");
    gz[gz.size() - 1] ^= 0x40; // a short stream whose trailer's length disagrees
    EXPECT_TRUE(ScanPlanted(gz, "gz").empty());
}

TEST(ArchiveChecks, DamagedTarMemberLeavesTheEndUnknown)
{
    // The third header (an extended header, block 2) fails its checksum: the walk cannot go
    // on, the archive is found without a length. From the next member's header (block 4) on,
    // what is left is a whole archive of its own.
    std::vector<uint8_t> tar = ArchiveSample("tree-pax.tar");
    tar[2 * 512 + 10] ^= 0x01;
    auto found = ScanPlanted(tar, "tar");
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].firstSector, 8);
    EXPECT_EQ(found[0].size, 0);
    EXPECT_EQ(found[1].firstSector, 8 + 4);
    // It ends after its two zero blocks: the record padding counts from the original start.
    size_t lastData = tar.size() / 512 - 1;
    while (std::all_of(tar.begin() + static_cast<long>(lastData * 512),
                       tar.begin() + static_cast<long>(lastData * 512 + 512), [](uint8_t b) { return b == 0; }))
        --lastData;
    EXPECT_EQ(found[1].size, static_cast<int64_t>((lastData + 3) * 512) - 4 * 512);
    // Cut after its third member: the later members' headers are not archives of their own.
    tar = ArchiveSample("tree-pax.tar");
    std::vector<uint8_t> image = Junk(8 * 512, 32);
    Plant(image, 8 * 512, std::span<const uint8_t>(tar.data(), 6 * 512));
    found = ScanImage(image, ArchiveType("tar"));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].firstSector, 8);
    EXPECT_EQ(found[0].size, 0);
}

TEST(ArchiveChecks, SizeFieldsBeyondTheLimitsAreRefused)
{
    // A 7z start header whose CRC is right but whose directory lies beyond any real archive.
    std::vector<uint8_t> sevenZip = ArchiveSample("words.7z");
    for (int i = 0; i < 8; ++i) sevenZip[12 + static_cast<size_t>(i)] = 0xFF;
    PutLE(sevenZip, 8, RawCrc32(ByteView(sevenZip.data() + 12, 20)), 4);
    EXPECT_TRUE(ScanPlanted(sevenZip, "7z").empty());
}

// Every sector starts with one type's signature (and what its header check needs to pass the
// first look) and continues with random bytes: what gets through is the false-start rate. The
// xz and bzip2 headers are left out: their whole header is the signature (magic and CRC, magic
// and block magic), so such a sector is a damaged file of theirs, found without a length.
TEST(ArchiveDamage, SignatureFollowedByRandomBytesIsNotAFile)
{
    const std::vector<std::pair<std::string, std::vector<uint8_t>>> prefixes = {
        {"gz", {0x1F, 0x8B, 0x08, 0x00, 0, 0, 0, 0, 0x00, 0x03}},
        {"gz", {0x1F, 0x8B, 0x08, 0x08, 0, 0, 0, 0, 0x02, 0xFF}},
        {"7z", {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C, 0x00, 0x04}},
        {"cab", {'M', 'S', 'C', 'F', 0, 0, 0, 0}},
    };
    constexpr size_t kSectors = 4096;
    for (const auto& [ext, prefix] : prefixes)
    {
        std::vector<uint8_t> image = PatternBytes(kSectors * 512, static_cast<uint32_t>(prefix[1] + prefix[3]));
        for (size_t s = 0; s < kSectors; ++s) std::memcpy(image.data() + s * 512, prefix.data(), prefix.size());
        EXPECT_EQ(ScanImage(image, ArchiveType(ext)).size(), 0u) << ext;
    }
}

TEST(ArchiveDamage, RandomlyDamagedArchivesNeverMisbehave)
{
    const std::vector<RawTypePtr> types = ArchiveTypes();
    std::mt19937 rng(20240612);
    for (const char* name : {"words.gz", "mixed-named.gz", "joined.gz", "words.bz2", "words.xz", "blocks.xz",
                             "filters.xz", "words.7z", "words.cab", "gnu.tar", "tree-pax.tar"})
    {
        const std::vector<uint8_t> file = ArchiveSample(name);
        for (int round = 0; round < 60; ++round)
        {
            std::vector<uint8_t> damaged = file;
            // About 1% of the bytes, sparing the header half of the time so that the damage
            // reaches the walks.
            const size_t from = (round & 1) ? 16 : 0;
            for (size_t n = damaged.size() / 100 + 1; n > 0; --n)
                damaged[from + rng() % (damaged.size() - from)] = static_cast<uint8_t>(rng());
            if (round % 3 == 0) damaged.resize(rng() % damaged.size() + 1);
            std::vector<uint8_t> image = Junk(8 * 512, static_cast<uint32_t>(round));
            Plant(image, 8 * 512, damaged);
            image.resize((image.size() + 511) / 512 * 512);
            for (const tagFoundFile& f : ScanImage(image, types))
            {
                EXPECT_GE(f.firstSector, 8) << name << " round " << round;
                EXPECT_LT(f.firstSector, 8 + static_cast<int64_t>(damaged.size() + 511) / 512) << name;
                EXPECT_GE(f.size, 0);
                EXPECT_LE(f.size, ArchiveType(f.extension)->Info().maxSize);
                // Walked formats end where their structure checked out, inside the image; the
                // header-sized ones (7z, cab) may claim more than a cut file holds.
                if (f.size && f.extension != "7z" && f.extension != "cab")
                {
                    EXPECT_LE(f.size, static_cast<int64_t>(image.size()) - f.firstSector * 512) << name;
                }
            }
        }
    }
}
