// The committed test images against their manifests: every file system the manifest header
// lists must start with a boot sector at the stated sector, with the stated serial number,
// and every file line must be well formed. A broken or stale fixture fails here first.
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct PartitionLine
{
    std::string label;
    std::map<std::string, std::string> fields; // start, sectors, fs, cluster, serial, state
};

struct Manifest
{
    std::vector<PartitionLine> partitions;
    std::vector<std::string> fileLines;
};

Manifest ReadManifest(const std::string& path)
{
    Manifest m;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line))
    {
        if (line.rfind("# partition ", 0) == 0)
        {
            std::istringstream words(line.substr(12));
            PartitionLine p;
            words >> p.label;
            std::string word;
            while (words >> word)
            {
                const size_t eq = word.find('=');
                if (eq != std::string::npos)
                    p.fields[word.substr(0, eq)] = word.substr(eq + 1);
            }
            m.partitions.push_back(p);
        }
        else if (!line.empty() && line[0] != '#')
            m.fileLines.push_back(line);
    }
    return m;
}

std::vector<uint8_t> ReadSector(const std::string& path, uint64_t sector)
{
    std::vector<uint8_t> buf(512);
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(sector * 512));
    in.read(reinterpret_cast<char*>(buf.data()), 512);
    if (in.gcount() != 512)
        buf.clear();
    return buf;
}

uint64_t LoadLE(const std::vector<uint8_t>& b, size_t off, size_t width)
{
    uint64_t v = 0;
    for (size_t i = 0; i < width; ++i)
        v |= uint64_t{b[off + i]} << (8 * i);
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
                      static_cast<unsigned long long>(LoadLE(bs, fs == "fat32" ? 0x43 : 0x27, 4)));
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
            if (name.size() > 8 && name.compare(name.size() - 8, 8, ".img.zst") == 0)
                out.push_back(e.path().string());
        }
    }
    return out;
}

void CheckFileLine(const std::string& line)
{
    std::vector<std::string> parts;
    std::istringstream in(line);
    std::string part;
    while (std::getline(in, part, '\t'))
        parts.push_back(part);
    ASSERT_EQ(parts.size(), 4u) << line;
    const std::string& state = parts[0];
    EXPECT_TRUE(state == "present" || state == "deleted" || state == "deleted-overwritten" ||
                state == "formatted")
        << line;
    EXPECT_EQ(parts[1].find_first_not_of("0123456789"), std::string::npos) << line;
    EXPECT_EQ(parts[2].size(), 64u) << line;
    EXPECT_FALSE(parts[3].empty() || parts[3][0] == '/') << line;
}

// On a partitioned disk, sector 0 is an MBR and every primary partition whose entry is still
// in the table (label p1..p4, no state) has that entry at its start sector.
void CheckMbr(const std::string& image, const Manifest& m)
{
    bool partitioned = false;
    for (const PartitionLine& p : m.partitions)
        partitioned = partitioned || p.fields.at("start") != "0";
    if (!partitioned)
        return;
    const std::vector<uint8_t> mbr = ReadSector(image, 0);
    ASSERT_EQ(mbr.size(), 512u);
    EXPECT_EQ(mbr[510], 0x55);
    EXPECT_EQ(mbr[511], 0xAA);
    for (const PartitionLine& p : m.partitions)
    {
        if (p.fields.count("state") || p.label.size() != 2 || p.label[0] != 'p' || p.label[1] < '1' ||
            p.label[1] > '4')
            continue;
        const size_t slot = static_cast<size_t>(p.label[1] - '1');
        EXPECT_EQ(LoadLE(mbr, 446 + 16 * slot + 8, 4), std::stoull(p.fields.at("start"))) << p.label;
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
        const Manifest m = ReadManifest(manifestPath);
        ASSERT_FALSE(m.partitions.empty()) << manifestPath;

        TempDir dir;
        const std::string image = dir.File("image.img");
        ASSERT_TRUE(UnpackZst(zst, image));
        const uint64_t imageSectors = std::filesystem::file_size(image) / 512;

        CheckMbr(image, m);
        for (const PartitionLine& p : m.partitions)
        {
            SCOPED_TRACE(p.label);
            const uint64_t start = std::stoull(p.fields.at("start"));
            const uint64_t sectors = std::stoull(p.fields.at("sectors"));
            ASSERT_LE(start, imageSectors);
            ASSERT_LE(sectors, imageSectors - start);
            const std::vector<uint8_t> bs = ReadSector(image, start);
            ASSERT_EQ(bs.size(), 512u);
            EXPECT_EQ(bs[510], 0x55);
            EXPECT_EQ(bs[511], 0xAA);
            // A quick format writes a new boot sector over the old one.
            const auto state = p.fields.find("state");
            if (state == p.fields.end() || state->second != "overwritten-by-format")
            {
                EXPECT_EQ(SerialOf(bs, p.fields.at("fs")), p.fields.at("serial"));
            }
        }
        for (const std::string& line : m.fileLines)
            CheckFileLine(line);
    }
}
