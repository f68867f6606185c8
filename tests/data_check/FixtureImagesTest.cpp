// The committed test images against their manifests: every file system the manifest header
// lists must start with a boot sector at the stated sector, with the stated serial number,
// and every file line must be well formed. A broken or stale fixture fails here first.
#include "support/TestFiles.h"
#include "support/TestImages.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

// The first 512 bytes of sector `sector` of a disk of `sectorBytes`-byte sectors.
std::vector<uint8_t> ReadSector(const std::string& path, uint64_t sector, uint64_t sectorBytes = 512)
{
    std::vector<uint8_t> buf(512);
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(sector * sectorBytes));
    in.read(reinterpret_cast<char*>(buf.data()), 512);
    if (in.gcount() != 512) buf.clear();
    return buf;
}

uint64_t LoadLE(const std::vector<uint8_t>& b, size_t off, size_t width)
{
    uint64_t v = 0;
    for (size_t i = 0; i < width; ++i) v |= uint64_t{b[off + i]} << (8 * i);
    return v;
}

// The volume serial as the manifest writes it: FAT keeps 32 bits at 0x27 (FAT12/16) or 0x43
// (FAT32), NTFS 64 bits at 0x48.
std::string SerialOf(const std::vector<uint8_t>& bs, const std::string& fs)
{
    char text[17];
    if (fs == "ntfs")
        std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(LoadLE(bs, 0x48, 8)));
    else
        std::snprintf(text, sizeof text, "%08llx",
                      static_cast<unsigned long long>(LoadLE(bs,
                                                             fs == "fat32"       ? 0x43
                                                                 : fs == "exfat" ? 0x64
                                                                                 : 0x27,
                                                             4)));
    return text;
}

std::vector<std::string> CompressedImages()
{
    std::vector<std::string> out;
    for (const char* dir : {"tests/data", "samples"})
    {
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(SourcePath(dir), ec))
        {
            const std::string name = e.path().filename().string();
            if (name.size() > 8 && name.compare(name.size() - 8, 8, ".img.zst") == 0) out.push_back(e.path().string());
        }
    }
    return out;
}

// The partition number of a label p1, p2, ... (0 for any other label).
int PartitionNumber(const ManifestPartition& p)
{
    if (p.Label.size() < 2 || p.Label[0] != 'p' || p.Label.find_first_not_of("0123456789", 1) != std::string::npos)
        return 0;
    return std::stoi(p.Label.substr(1));
}

// Behind a protective MBR (one entry of type 0xEE) sits a GPT: its header in sector 1 points
// at the entry array, where partition pN (no state) is entry N with the manifest's start and
// entry size.
void CheckGpt(const std::string& image, const ImageManifest& m, uint64_t bps)
{
    const std::vector<uint8_t> header = ReadSector(image, 1, bps);
    ASSERT_EQ(header.size(), 512u);
    ASSERT_EQ(std::string(header.begin(), header.begin() + 8), "EFI PART");
    const uint64_t entryLba = LoadLE(header, 0x48, 8);
    const uint64_t entrySize = LoadLE(header, 0x54, 4);
    ASSERT_EQ(entrySize, 128u);
    for (const ManifestPartition& p : m.Partitions)
    {
        const int n = PartitionNumber(p);
        if (!p.State.empty() || n == 0) continue;
        const uint64_t off = static_cast<uint64_t>(n - 1) * entrySize;
        const std::vector<uint8_t> sector = ReadSector(image, entryLba * (bps / 512) + off / 512);
        ASSERT_EQ(sector.size(), 512u);
        const uint64_t first = LoadLE(sector, off % 512 + 0x20, 8);
        const uint64_t last = LoadLE(sector, off % 512 + 0x28, 8);
        EXPECT_EQ(first, static_cast<uint64_t>(p.Start)) << p.Label;
        EXPECT_EQ(last - first + 1, static_cast<uint64_t>(p.EntrySectors)) << p.Label;
    }
}

// On a partitioned disk, sector 0 is an MBR and every primary partition whose entry is still
// in the table (label p1..p4, no state) has that entry at its start sector; on a GPT disk the
// GPT holds the entries instead.
void CheckMbr(const std::string& image, const ImageManifest& m, uint64_t bps)
{
    bool partitioned = false;
    for (const ManifestPartition& p : m.Partitions) partitioned = partitioned || p.Start != 0;
    if (!partitioned) return;
    const std::vector<uint8_t> mbr = ReadSector(image, 0);
    ASSERT_EQ(mbr.size(), 512u);
    EXPECT_EQ(mbr[510], 0x55);
    EXPECT_EQ(mbr[511], 0xAA);
    if (mbr[446 + 4] == 0xEE)
    {
        CheckGpt(image, m, bps);
        return;
    }
    for (const ManifestPartition& p : m.Partitions)
    {
        if (!p.State.empty() || p.Label.size() != 2 || p.Label[0] != 'p' || p.Label[1] < '1' || p.Label[1] > '4')
            continue;
        const size_t slot = static_cast<size_t>(p.Label[1] - '1');
        EXPECT_EQ(LoadLE(mbr, 446 + 16 * slot + 8, 4), static_cast<uint64_t>(p.Start)) << p.Label;
    }
}

} // namespace

TEST(FixtureImages, BootSectorsSitWhereTheManifestsSay)
{
    const std::vector<std::string> images = CompressedImages();
    ASSERT_GE(images.size(), 9u) << "test images missing: run scripts/make-test-images";
    for (const std::string& zst : images)
    {
        SCOPED_TRACE(zst);
        const std::string manifestPath = zst.substr(0, zst.size() - 8) + ".manifest";
        // Every line must parse: a file line is `state size sha256 path` with a known state,
        // a decimal size, 64 hex digits and a relative path; a partition line has every key.
        const ImageManifest m = ReadManifestFile(manifestPath);
        for (const std::string& line : m.Malformed) ADD_FAILURE() << manifestPath << ": malformed line: " << line;
        ASSERT_FALSE(m.Partitions.empty()) << manifestPath;
        EXPECT_FALSE(m.Files.empty()) << manifestPath;

        TempDir dir;
        const std::string image = dir.File("image.img");
        ASSERT_TRUE(UnpackZst(zst, image));
        const auto bps = static_cast<uint64_t>(m.Partitions.front().SectorBytes);
        const uint64_t imageSectors = std::filesystem::file_size(image) / bps;

        CheckMbr(image, m, bps);
        for (const ManifestPartition& p : m.Partitions)
        {
            SCOPED_TRACE(p.Label);
            const auto start = static_cast<uint64_t>(p.Start);
            const auto sectors = static_cast<uint64_t>(p.Sectors);
            ASSERT_LE(start, imageSectors);
            ASSERT_LE(sectors, imageSectors - start);
            EXPECT_EQ(static_cast<uint64_t>(p.SectorBytes), bps) << "one sector size per disk";
            const std::vector<uint8_t> bs = ReadSector(image, start, bps);
            ASSERT_EQ(bs.size(), 512u);
            EXPECT_EQ(bs[510], 0x55);
            EXPECT_EQ(bs[511], 0xAA);
            // A quick format writes a new boot sector over the old one.
            if (p.State != "overwritten-by-format")
            {
                EXPECT_EQ(SerialOf(bs, p.Fs), p.Serial);
            }
        }
    }
}
