#include "FatTestSupport.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>

#include "support/TestFiles.h"

std::vector<uint8_t> LoadFixtureImage(const std::string& name)
{
    TempDir dir;
    const std::string target = dir.File(name + ".img");
    if (!UnpackZst(SourcePath("tests/data/" + name + ".img.zst"), target)) return {};
    return ReadFileBytes(target);
}

std::vector<ManifestFile> LoadManifest(const std::string& name)
{
    std::vector<ManifestFile> out;
    std::ifstream in(SourcePath("tests/data/" + name + ".manifest"));
    std::string line;
    while (std::getline(in, line))
    {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        ManifestFile f;
        std::string size;
        std::getline(fields, f.State, '\t');
        std::getline(fields, size, '\t');
        std::getline(fields, f.Sha256, '\t');
        std::getline(fields, f.Path);
        f.Size = std::stoull(size);
        out.push_back(f);
    }
    return out;
}

std::map<std::string, const tagFileNode*> TreePaths(const KNodeTree& tree)
{
    std::map<std::string, const tagFileNode*> out;
    std::function<void(const tagTreeNode*, const std::string&, int)> walk = [&](const tagTreeNode* n, const std::string& prefix, int depth) {
        for (const tagTreeNode* c = KNodeTree::GetFirstChild(n); c; c = KNodeTree::GetNextSibling(c))
        {
            const std::string path = prefix + tree.GetName(c);
            out.emplace(path, c->pRecord);
            if (depth < 64) walk(c, path + "/", depth + 1);
        }
    };
    walk(tree.GetRoot(), "", 0);
    return out;
}

namespace {

std::vector<std::string> Split(const std::string& path)
{
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(path);
    while (std::getline(in, part, '/')) parts.push_back(part);
    return parts;
}

bool SameIgnoringCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return std::tolower(x) == std::tolower(y); });
}

bool ComponentMatches(const std::string& ours, const std::string& theirs)
{
    if (SameIgnoringCase(ours, theirs)) return true;
    return !ours.empty() && ours[0] == '_' && ours.size() == theirs.size() &&
           SameIgnoringCase(ours.substr(1), theirs.substr(1));
}

} // namespace

const tagFileNode* FindManifestPath(const std::map<std::string, const tagFileNode*>& paths, const std::string& path)
{
    const std::vector<std::string> want = Split(path);
    for (const auto& [ours, record] : paths)
    {
        const std::vector<std::string> have = Split(ours);
        if (have.size() != want.size()) continue;
        bool match = true;
        for (size_t i = 0; i < have.size() && match; ++i) match = ComponentMatches(have[i], want[i]);
        if (match) return record;
    }
    return nullptr;
}

int KVectorStorage::Read(void* buffer, int length, int* done)
{
    const size_t n = std::min<size_t>(static_cast<size_t>(length), Bytes.size() - Pos);
    if (n != 0) // an empty vector has no data pointer to copy from
        std::memcpy(buffer, Bytes.data() + Pos, n);
    Pos += n;
    *done = static_cast<int>(n);
    return 1;
}

int KVectorStorage::Write(const void* buffer, int length, int* done)
{
    const auto* p = static_cast<const uint8_t*>(buffer);
    Bytes.insert(Bytes.end(), p, p + length);
    *done = length;
    return 1;
}

FatImageBuilder::FatImageBuilder(uint32_t totalSectors, uint8_t sectorsPerCluster, uint16_t fatSectors)
    : Image(size_t(totalSectors) * 512, 0), m_Spc(sectorsPerCluster), m_FatSectors(fatSectors)
{
    uint8_t* b = Image.data();
    b[0] = 0xEB; b[1] = 0x3C; b[2] = 0x90;
    std::memcpy(b + 3, "MSWIN4.1", 8);
    b[11] = 0x00; b[12] = 0x02;                  // 512 bytes per sector
    b[13] = sectorsPerCluster;
    b[14] = 1; b[15] = 0;                        // reserved sectors
    b[16] = 2;                                   // FATs
    b[17] = 0x00; b[18] = 0x02;                  // 512 root entries
    b[19] = uint8_t(totalSectors); b[20] = uint8_t(totalSectors >> 8);
    b[21] = 0xF8;
    b[22] = uint8_t(fatSectors); b[23] = uint8_t(fatSectors >> 8);
    b[38] = 0x29;
    std::memcpy(b + 43, "NO NAME    ", 11);
    std::memcpy(b + 54, "FAT16   ", 8);
    b[510] = 0x55; b[511] = 0xAA;
    SetFat(0, 0xFFF8);
    SetFat(1, 0xFFFF);
}

void FatImageBuilder::SetFatCopy(int copy, uint32_t cluster, uint16_t value)
{
    const size_t off = (1 + size_t(copy) * m_FatSectors) * 512 + cluster * 2;
    Image[off] = uint8_t(value);
    Image[off + 1] = uint8_t(value >> 8);
}

void FatImageBuilder::SetFat(uint32_t cluster, uint16_t value)
{
    SetFatCopy(0, cluster, value);
    SetFatCopy(1, cluster, value);
}

void FatImageBuilder::PutEntry(uint64_t offset, const char* name11, uint8_t attr, uint32_t cluster, uint32_t size)
{
    uint8_t* e = Image.data() + offset;
    std::memset(e, 0, 32);
    std::memcpy(e, name11, 11);
    e[11] = attr;
    const uint16_t time = (10 << 11) | (30 << 5);    // 10:30:00
    const uint16_t date = (41 << 9) | (6 << 5) | 15; // 2021-06-15
    e[14] = uint8_t(time); e[15] = uint8_t(time >> 8);
    e[16] = uint8_t(date); e[17] = uint8_t(date >> 8);
    e[20] = uint8_t(cluster >> 16); e[21] = uint8_t(cluster >> 24);
    e[22] = uint8_t(time); e[23] = uint8_t(time >> 8);
    e[24] = uint8_t(date); e[25] = uint8_t(date >> 8);
    e[26] = uint8_t(cluster); e[27] = uint8_t(cluster >> 8);
    for (int i = 0; i < 4; ++i) e[28 + i] = uint8_t(size >> (8 * i));
}

void FatImageBuilder::PutLongName(uint64_t offset, uint8_t sequence, const std::u16string& part)
{
    static const size_t offs[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    uint8_t* e = Image.data() + offset;
    std::memset(e, 0, 32);
    e[0] = sequence;
    e[11] = 0x0F;
    for (size_t i = 0; i < 13; ++i)
    {
        const char16_t u = i < part.size() ? part[i] : (i == part.size() ? u'\0' : u'\xFFFF');
        e[offs[i]] = uint8_t(u);
        e[offs[i] + 1] = uint8_t(u >> 8);
    }
}

void FatImageBuilder::PutDotEntries(uint32_t cluster, uint32_t parent)
{
    PutEntry(ClusterEntry(cluster, 0), ".          ", 0x10, cluster, 0);
    PutEntry(ClusterEntry(cluster, 1), "..         ", 0x10, parent, 0);
}

void FatImageBuilder::Fill(uint32_t cluster, uint32_t clusters, uint8_t seed)
{
    const std::vector<uint8_t> bytes = PatternBytes(size_t(clusters) * ClusterBytes(), seed);
    std::memcpy(Image.data() + uint64_t(ClusterSector(cluster)) * 512, bytes.data(), bytes.size());
}
