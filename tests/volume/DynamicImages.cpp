#include "DynamicImages.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <filesystem>

#include "support/TestFiles.h"

namespace {

constexpr uint64_t S = kTestStripe;
constexpr uint64_t kSpanFirst = 40000;
constexpr uint64_t kStripeMember = kFlatSectors / 3;
constexpr uint64_t kRaidMember = kFlatSectors / 2;

void CopySectors(const std::vector<uint8_t>& from, uint64_t fromSector, std::vector<uint8_t>& to, uint64_t toSector,
                 uint64_t count)
{
    std::copy(from.begin() + static_cast<long>(fromSector * 512),
              from.begin() + static_cast<long>((fromSector + count) * 512),
              to.begin() + static_cast<long>(toSector * 512));
}

LdmTestPartition Part(size_t disk, uint64_t start, uint64_t offset, uint64_t size, int index = -1)
{
    LdmTestPartition p;
    p.Disk = disk;
    p.Start = start;
    p.VolumeOffset = offset;
    p.Size = size;
    p.Index = index;
    return p;
}

// Data-area starts (from the logical disk start) of each volume on each disk.
struct Placement
{
    uint64_t Simple = 0;                                          // disk 0
    uint64_t Span[2] = {0, 0};                                    // disks 1, 2
    uint64_t Mirror[2] = {kSpanFirst, kFlatSectors - kSpanFirst}; // disks 1, 2
    uint64_t Stripe[3] = {kFlatSectors, kFlatSectors + kFlatSectors, kFlatSectors + kFlatSectors};
    uint64_t Raid[3] = {kFlatSectors + kStripeMember, 2 * kFlatSectors + kStripeMember,
                        2 * kFlatSectors + kStripeMember};
};

LdmTestGroup MakeGroup(const Placement& at)
{
    LdmTestGroup g;
    g.DiskGuids = {"0b9c6d1e-2f3a-4b5c-8d7e-6f5a4b3c2d1e", "1c2d3e4f-5a6b-4c7d-8e9f-0a1b2c3d4e5f",
                   "2d3e4f5a-6b7c-4d8e-9fa0-1b2c3d4e5f60"};
    LdmTestVolume simple{"Volume1", false, kFlatSectors, 0x0C, {}};
    simple.Components.push_back({2, 0, 0, {Part(0, at.Simple, 0, kFlatSectors)}});
    LdmTestVolume span{"Volume2", false, kFlatSectors, 0x0C, {}};
    span.Components.push_back(
        {2, 0, 0, {Part(1, at.Span[0], 0, kSpanFirst), Part(2, at.Span[1], kSpanFirst, kFlatSectors - kSpanFirst)}});
    LdmTestVolume mirror{"Volume3", false, kFlatSectors, 0x0C, {}};
    mirror.Components.push_back({2, 0, 0, {Part(1, at.Mirror[0], 0, kFlatSectors)}});
    mirror.Components.push_back({2, 0, 0, {Part(2, at.Mirror[1], 0, kFlatSectors)}});
    LdmTestVolume stripe{"Volume4", false, kFlatSectors, 0x0C, {}};
    LdmTestComponent sc{1, S, 3, {}};
    for (int i = 0; i < 3; ++i)
        sc.Partitions.push_back(Part(static_cast<size_t>(i), at.Stripe[i], 0, kStripeMember, i));
    stripe.Components.push_back(sc);
    LdmTestVolume raid{"Volume5", true, kFlatSectors, 0x0C, {}};
    LdmTestComponent rc{3, S, 3, {}};
    for (int i = 0; i < 3; ++i) rc.Partitions.push_back(Part(static_cast<size_t>(i), at.Raid[i], 0, kRaidMember, i));
    raid.Components.push_back(rc);
    g.Volumes = {simple, span, mirror, stripe, raid};
    return g;
}

// Lays the flat file system out over the members, writing each member row by row: data units
// of row r begin on the member after the row's parity member and wrap round.
void PlaceData(const std::vector<uint8_t>& flat, const Placement& at, const LdmWriteOptions& options,
               std::vector<std::vector<uint8_t>>& disks)
{
    const uint64_t L[3] = {LdmTestLogicalStartOf(options, 0), LdmTestLogicalStartOf(options, 1),
                           LdmTestLogicalStartOf(options, 2)};
    CopySectors(flat, 0, disks[0], L[0] + at.Simple, kFlatSectors);
    CopySectors(flat, 0, disks[1], L[1] + at.Span[0], kSpanFirst);
    CopySectors(flat, kSpanFirst, disks[2], L[2] + at.Span[1], kFlatSectors - kSpanFirst);
    CopySectors(flat, 0, disks[1], L[1] + at.Mirror[0], kFlatSectors);
    CopySectors(flat, 0, disks[2], L[2] + at.Mirror[1], kFlatSectors);
    for (uint64_t unit = 0; unit < kFlatSectors / S; ++unit)
        CopySectors(flat, unit * S, disks[unit % 3], L[unit % 3] + at.Stripe[unit % 3] + (unit / 3) * S, S);
    for (uint64_t row = 0; row < kRaidMember / S; ++row)
    {
        const uint64_t parity = 2 - row % 3;
        std::vector<uint8_t> xorUnit(S * 512, 0);
        for (uint64_t k = 0; k < 2; ++k)
        {
            const uint64_t member = (parity + 1 + k) % 3;
            const uint64_t unit = row * 2 + k;
            CopySectors(flat, unit * S, disks[member], L[member] + at.Raid[member] + row * S, S);
            for (size_t b = 0; b < xorUnit.size(); ++b) xorUnit[b] ^= flat[unit * S * 512 + b];
        }
        CopySectors(xorUnit, 0, disks[parity], L[parity] + at.Raid[parity] + row * S, S);
    }
}

} // namespace

void WriteSparse(const std::string& path, const std::vector<uint8_t>& bytes)
{
    {
        std::ofstream create(path, std::ios::binary | std::ios::trunc);
    }
    std::filesystem::resize_file(path, bytes.size());
    std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
    constexpr size_t block = 64 * 1024;
    for (size_t off = 0; off < bytes.size(); off += block)
    {
        const size_t n = std::min(block, bytes.size() - off);
        if (std::all_of(bytes.begin() + static_cast<long>(off), bytes.begin() + static_cast<long>(off + n),
                        [](uint8_t b) { return b == 0; }))
            continue;
        out.seekp(static_cast<std::streamoff>(off));
        out.write(reinterpret_cast<const char*>(bytes.data() + off), static_cast<std::streamsize>(n));
    }
}

bool MakeDynamicTestSet(const std::string& dir, const LdmWriteOptions& options, DynamicTestSet* out)
{
    const std::string flatPath = dir + "/flat.img";
    const std::string cmd = "mkfs.fat -C -F 32 -s 1 -n DYNVOL -i 5a5a1234 '" + flatPath + "' " +
        std::to_string(kFlatSectors / 2) + " >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0) return false;
    // Files of several stripe units, so that each crosses members, and one in a folder.
    out->Files = {{"NOTES.TXT", PatternBytes(1000, 11)},
                  {"SPAN.BIN", PatternBytes(300 * 1024 + 17, 12)},
                  {"DOCS/REPORT.BIN", PatternBytes(1024 * 1024, 13)}};
    const std::string image = " -i '" + flatPath + "' ";
    ::setenv("MTOOLS_SKIP_CHECK", "1", 1);
    if (std::system(("mmd" + image + "::DOCS >/dev/null 2>&1").c_str()) != 0) return false;
    for (const DynamicTestFile& file : out->Files)
    {
        const std::string source = dir + "/source.bin";
        WriteFileBytes(source, file.Bytes);
        if (std::system(("mcopy" + image + "'" + source + "' ::" + file.Path + " >/dev/null 2>&1").c_str()) != 0)
            return false;
    }
    out->Flat = ReadFileBytes(flatPath);
    if (out->Flat.size() != kFlatSectors * 512) return false;
    // Distinct bytes in the second half (clusters the file system does not use) so that a
    // wrongly mapped sector shows.
    const std::vector<uint8_t> pattern = PatternBytes(out->Flat.size() / 2, 7);
    std::copy(pattern.begin(), pattern.end(), out->Flat.begin() + static_cast<long>(out->Flat.size() / 2));

    const Placement at;
    out->Group = MakeGroup(at);
    LdmWriteOptions o = options;
    // Room for three volumes' worth of data after the logical start of either kind of member.
    o.TotalSectors = kLdmTestGptDataStart + 3 * kFlatSectors + kLdmTestConfigSectors;
    out->Options = o;
    std::vector<std::vector<uint8_t>> disks;
    for (size_t d = 0; d < 3; ++d) disks.push_back(MakeLdmMemberImage(out->Group, d, o));
    PlaceData(out->Flat, at, o, disks);
    for (size_t d = 0; d < 3; ++d)
    {
        out->Members.push_back(dir + "/member" + std::to_string(d) + ".img");
        WriteSparse(out->Members.back(), disks[d]);
    }
    return true;
}
