#include "LdmWriter.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "base/Crc32.h"
#include "format/gpt/GptLayout.h"
#include "support/TestFiles.h"

namespace {

constexpr uint32_t kSlot = 128;
constexpr size_t kHead = 16; // VBLK slot header

void PutBE(std::vector<uint8_t>& b, size_t off, uint64_t v, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i, v >>= 8) b[off + static_cast<size_t>(i)] = static_cast<uint8_t>(v & 0xFF);
}

void PutText(std::vector<uint8_t>& b, size_t off, const std::string& s)
{
    std::memcpy(b.data() + off, s.data(), s.size());
}

class Fields
{
public:
    Fields& Num(uint64_t v)
    {
        std::vector<uint8_t> bytes;
        for (; v != 0; v >>= 8) bytes.insert(bytes.begin(), static_cast<uint8_t>(v & 0xFF));
        m_Data.push_back(static_cast<uint8_t>(bytes.size()));
        m_Data.insert(m_Data.end(), bytes.begin(), bytes.end());
        return *this;
    }
    Fields& Str(const std::string& s)
    {
        m_Data.push_back(static_cast<uint8_t>(s.size()));
        m_Data.insert(m_Data.end(), s.begin(), s.end());
        return *this;
    }
    Fields& Zeros(size_t n)
    {
        m_Data.insert(m_Data.end(), n, 0);
        return *this;
    }
    Fields& Byte(uint8_t v)
    {
        m_Data.push_back(v);
        return *this;
    }
    Fields& U64(uint64_t v)
    {
        for (int i = 7; i >= 0; --i) m_Data.push_back(static_cast<uint8_t>(v >> (8 * i)));
        return *this;
    }
    Fields& Fixed(const std::string& s, size_t n)
    {
        std::string t = s;
        t.resize(n, '\0');
        m_Data.insert(m_Data.end(), t.begin(), t.end());
        return *this;
    }
    std::vector<uint8_t> Take() { return std::move(m_Data); }

private:
    std::vector<uint8_t> m_Data;
};

struct Ids
{
    uint64_t Group = 1;
    std::vector<uint64_t> Disks;
};

} // namespace

std::vector<LdmTestRecord> MakeLdmRecords(const LdmTestGroup& group, const LdmWriteOptions& options)
{
    std::vector<LdmTestRecord> out;
    uint64_t next = 1;
    const uint64_t groupId = next++;
    out.push_back({0, 0x35, Fields().Num(groupId).Str(group.GroupName).Str(group.GroupGuid).Str("").Take()});
    std::vector<uint64_t> diskIds;
    for (size_t d = 0; d < group.DiskGuids.size(); ++d)
    {
        diskIds.push_back(next++);
        out.push_back({0, 0x34,
                       Fields()
                           .Num(diskIds.back())
                           .Str("Disk" + std::to_string(d + 1))
                           .Str(group.DiskGuids[d])
                           .Str("")
                           .Zeros(4)
                           .U64(0)
                           .Take()});
    }
    std::vector<LdmTestRecord> partitions;
    for (const LdmTestVolume& vol : group.Volumes)
    {
        const uint64_t volId = next++;
        out.push_back({0, 0x51,
                       Fields()
                           .Num(volId)
                           .Str(vol.Name)
                           .Str(vol.Raid5 ? "raid5" : "gen")
                           .Str("")
                           .Fixed("ACTIVE", 14)
                           .Byte(vol.Raid5 ? 4 : 3)
                           .Byte(0)
                           .Byte(1)
                           .Zeros(3)
                           .Byte(0)
                           .Num(vol.Components.size())
                           .U64(1)
                           .U64(0)
                           .Num(vol.Size)
                           .Zeros(4)
                           .Byte(vol.PartitionType)
                           .Fixed("0123456789abcdef", 16)
                           .Take()});
        for (size_t c = 0; c < vol.Components.size(); ++c)
        {
            const LdmTestComponent& comp = vol.Components[c];
            const uint64_t compId = next++;
            Fields f;
            f.Num(compId)
                .Str(vol.Name + "-0" + std::to_string(c + 1))
                .Str("ACTIVE")
                .Byte(comp.Type)
                .Zeros(4)
                .Num(comp.Partitions.size())
                .U64(1)
                .U64(0)
                .Num(volId)
                .Zeros(1);
            const bool stripe = comp.StripeSize != 0;
            if (stripe) f.Num(comp.StripeSize).Num(comp.Columns);
            out.push_back({static_cast<uint8_t>(stripe ? 0x10 : 0), 0x32, f.Take()});
            for (size_t p = 0; p < comp.Partitions.size(); ++p)
            {
                const LdmTestPartition& part = comp.Partitions[p];
                Fields pf;
                pf.Num(next++)
                    .Str("Disk" + std::to_string(part.Disk + 1) + "-0" + std::to_string(p + 1))
                    .Zeros(4)
                    .U64(1)
                    .U64(part.Start)
                    .U64(part.VolumeOffset)
                    .Num(part.Size)
                    .Num(compId)
                    .Num(diskIds.at(part.Disk));
                if (part.Index >= 0) pf.Num(static_cast<uint64_t>(part.Index));
                partitions.push_back({static_cast<uint8_t>(part.Index >= 0 ? 0x08 : 0), 0x33, pf.Take()});
            }
        }
    }
    if (options.PartitionsReversed) std::reverse(partitions.begin(), partitions.end());
    out.insert(out.end(), partitions.begin(), partitions.end());
    return out;
}

std::vector<uint8_t> MakeLdmSlots(const std::vector<LdmTestRecord>& records, uint32_t slotSize, bool scatter,
                                  uint32_t firstSequence)
{
    struct Slot
    {
        uint32_t Group;
        uint16_t Index, Count;
        std::vector<uint8_t> Payload;
    };
    std::vector<Slot> first, later;
    const size_t payload = slotSize - kHead;
    uint32_t group = 1;
    for (const LdmTestRecord& r : records)
    {
        std::vector<uint8_t> body(8, 0); // status, flags, type, data length
        body[2] = r.Flags;
        body[3] = r.Type;
        PutBE(body, 4, r.Data.size(), 4);
        body.insert(body.end(), r.Data.begin(), r.Data.end());
        const auto count = static_cast<uint16_t>((body.size() + payload - 1) / payload);
        for (uint16_t k = 0; k < count; ++k)
        {
            const size_t from = k * payload;
            std::vector<uint8_t> part(body.begin() + static_cast<long>(from),
                                      body.begin() + static_cast<long>(std::min(body.size(), from + payload)));
            (k == 0 || !scatter ? first : later).push_back({group, k, count, part});
        }
        ++group;
    }
    std::vector<Slot> slots = first;
    if (scatter)
    {
        // Each continuation after a blank slot, the last ones first: apart and out of order.
        std::reverse(later.begin(), later.end());
        for (Slot& s : later)
        {
            slots.push_back({0, 0, 0, {}});
            slots.push_back(s);
        }
    }
    std::vector<uint8_t> out(slots.size() * slotSize, 0);
    for (size_t i = 0; i < slots.size(); ++i)
    {
        const size_t off = i * slotSize;
        PutText(out, off, "VBLK");
        PutBE(out, off + 4, firstSequence + i, 4);
        PutBE(out, off + 8, slots[i].Group, 4);
        PutBE(out, off + 12, slots[i].Index, 2);
        PutBE(out, off + 14, slots[i].Count, 2);
        std::copy(slots[i].Payload.begin(), slots[i].Payload.end(), out.begin() + static_cast<long>(off + kHead));
    }
    return out;
}

std::vector<uint8_t> MakeLdmDatabase(const LdmTestGroup& group, const LdmWriteOptions& options)
{
    std::vector<uint8_t> db(kLdmTestConfigSectors * 512, 0);
    const uint64_t configStart = 17, configSize = 1472;
    // Table of contents at database sectors 1 and 2.
    std::vector<uint8_t> toc(512, 0);
    PutText(toc, 0, "TOCBLOCK");
    PutBE(toc, 8, 1, 4);
    PutText(toc, 0x24, "config");
    PutBE(toc, 0x24 + 8, 0, 2);
    PutBE(toc, 0x24 + 10, configStart, 8);
    PutBE(toc, 0x24 + 18, configSize, 8);
    PutText(toc, 0x46, "log");
    PutBE(toc, 0x46 + 10, configStart + configSize, 8);
    PutBE(toc, 0x46 + 18, 224, 8);
    if (options.TocInFirstSector) std::copy(toc.begin(), toc.end(), db.begin() + 512);
    std::copy(toc.begin(), toc.end(), db.begin() + 1024);

    const std::vector<LdmTestRecord> records = MakeLdmRecords(group, options);
    const std::vector<uint8_t> slots = MakeLdmSlots(records, kSlot, options.ScatterFragments, 4);
    const size_t vmdb = configStart * 512;
    std::copy(slots.begin(), slots.end(), db.begin() + static_cast<long>(vmdb + 512));
    if (options.WriteVmdb)
    {
        uint32_t counts[4] = {0, 0, 0, 0}; // volumes, components, partitions, disks
        for (const LdmTestRecord& r : records) switch (r.Type)
            {
            case 0x51: ++counts[0]; break;
            case 0x32: ++counts[1]; break;
            case 0x33: ++counts[2]; break;
            case 0x34: ++counts[3]; break;
            default: break;
            }
        PutText(db, vmdb, "VMDB");
        PutBE(db, vmdb + 4, 4 + slots.size() / kSlot - 1, 4);
        PutBE(db, vmdb + 8, kSlot, 4);
        PutBE(db, vmdb + 12, 512, 4);
        PutBE(db, vmdb + 0x10, 1, 2);
        PutBE(db, vmdb + 0x12, 4, 2);
        PutBE(db, vmdb + 0x14, 10, 2);
        PutText(db, vmdb + 0x16, group.GroupName);
        PutText(db, vmdb + 0x35, group.GroupGuid);
        PutBE(db, vmdb + 0x75, 7, 8);
        PutBE(db, vmdb + 0x7D, 7, 8);
        for (size_t i = 0; i < 4; ++i) PutBE(db, vmdb + 133 + 4 * i, counts[i], 4);
    }
    return db;
}

namespace {

constexpr uint8_t kReservedType[16] = {0x16, 0xE3, 0xC9, 0xE3, 0x5C, 0x0B, 0xB8, 0x4D,
                                       0x81, 0x7D, 0xF9, 0x2D, 0xF0, 0x02, 0x15, 0xAE};

tagGptEntry GptEntry(const uint8_t (&type)[16], uint8_t unique, uint64_t first, uint64_t last, const char* name)
{
    tagGptEntry e{};
    std::memcpy(e.TypeGuid, type, 16);
    for (size_t k = 0; k < 16; ++k) e.PartitionGuid[k] = static_cast<uint8_t>(unique + k);
    e.FirstLba = first;
    e.LastLba = last;
    for (size_t k = 0; name[k] != '\0' && k < 36; ++k) e.Name[k] = static_cast<uint16_t>(name[k]);
    return e;
}

// Protective MBR, both GPT headers and both entry arrays, with their CRCs.
void WriteGptLayout(LdmTestPieces& out, uint64_t total, size_t disk)
{
    constexpr uint32_t kEntries = 128;
    constexpr uint64_t kArraySectors = kEntries * sizeof(tagGptEntry) / 512;
    const uint64_t last = total - 1;
    const auto u = static_cast<uint8_t>(0x10 * (disk + 1));
    const tagGptEntry entries[] = {
        GptEntry(kGptTypeLdmMetadata, u, kLdmTestGptMetadataStart, kLdmTestGptMetadataStart + kLdmTestConfigSectors - 1,
                 "LDM metadata partition"),
        GptEntry(kReservedType, u + 1, kLdmTestGptMetadataStart + kLdmTestConfigSectors, kLdmTestGptDataStart - 1,
                 "Microsoft reserved partition"),
        GptEntry(kGptTypeLdmData, u + 2, kLdmTestGptDataStart, last - kLdmTestGptTailSectors, "LDM data partition")};
    std::vector<uint8_t> array(kArraySectors * 512, 0);
    for (size_t i = 0; i < std::size(entries); ++i)
        std::memcpy(array.data() + i * sizeof(tagGptEntry), &entries[i], sizeof(tagGptEntry));

    std::vector<uint8_t> mbr(512, 0);
    mbr[446 + 4] = kMbrTypeGptProtective;
    PutLE(mbr, 446 + 8, 1, 4);
    PutLE(mbr, 446 + 12, std::min<uint64_t>(last, 0xFFFFFFFF), 4);
    mbr[510] = 0x55;
    mbr[511] = 0xAA;
    out.push_back({0, mbr});
    const auto writeCopy = [&](uint64_t my, uint64_t alternate, uint64_t entryLba) {
        tagGptHeader h{};
        std::memcpy(h.Signature, kGptSignature, 8);
        h.Revision = 0x00010000;
        h.HeaderSize = sizeof(tagGptHeader);
        h.MyLba = my;
        h.AlternateLba = alternate;
        h.FirstUsableLba = 2 + kArraySectors;
        h.LastUsableLba = last - 1 - kArraySectors;
        for (size_t k = 0; k < 16; ++k) h.DiskGuid[k] = static_cast<uint8_t>(u + 0x80 + k);
        h.EntryLba = entryLba;
        h.EntryCount = kEntries;
        h.EntrySize = sizeof(tagGptEntry);
        h.EntryArrayCrc = Crc32(array);
        h.HeaderCrc = Crc32(ByteView(reinterpret_cast<const uint8_t*>(&h), sizeof h));
        std::vector<uint8_t> sector(512, 0);
        std::memcpy(sector.data(), &h, sizeof h);
        out.push_back({my, sector});
        out.push_back({entryLba, array});
    };
    writeCopy(1, last, 2);
    writeCopy(last, 1, last - kArraySectors);
}

} // namespace

LdmTestPieces MakeLdmMemberPieces(const LdmTestGroup& group, size_t disk, const LdmWriteOptions& options)
{
    LdmTestPieces out;
    const uint64_t total = options.TotalSectors;
    const bool gpt = LdmTestIsGpt(options, disk);
    uint64_t configStart = total - kLdmTestConfigSectors;
    uint64_t logicalStart = kLdmTestLogicalStart;
    uint64_t logicalSize = configStart - kLdmTestLogicalStart;
    if (gpt)
    {
        WriteGptLayout(out, total, disk);
        configStart = kLdmTestGptMetadataStart;
        logicalStart = kLdmTestGptDataStart;
        logicalSize = total - kLdmTestGptTailSectors - kLdmTestGptDataStart;
    }
    else
    {
        // MBR: one entry of type 0x42 over the whole disk.
        std::vector<uint8_t> mbr(512, 0);
        mbr[446 + 4] = 0x42;
        PutLE(mbr, 446 + 8, kLdmTestLogicalStart, 4);
        PutLE(mbr, 446 + 12, total - kLdmTestLogicalStart, 4);
        mbr[510] = 0x55;
        mbr[511] = 0xAA;
        out.push_back({0, mbr});
    }

    std::vector<uint8_t> ph(512, 0);
    PutText(ph, 0, "PRIVHEAD");
    PutBE(ph, 0x0C, 2, 2);
    PutBE(ph, 0x0E, 12, 2);
    PutText(ph, 0x30, group.DiskGuids.at(disk));
    PutText(ph, 0x70, "11111111-2222-3333-4444-555555555555");
    PutText(ph, 0xB0, group.GroupGuid);
    PutText(ph, 0xF0, group.GroupName);
    PutBE(ph, 0x11B, logicalStart, 8);
    PutBE(ph, 0x123, logicalSize, 8);
    PutBE(ph, 0x12B, configStart, 8);
    PutBE(ph, 0x133, kLdmTestConfigSectors, 8);
    PutBE(ph, 0x13B, 2, 8);
    PutBE(ph, 0x143, 1, 8);
    PutBE(ph, 0x14B, 1, 4);
    PutBE(ph, 0x14F, 1, 4);
    PutBE(ph, 0x153, 1472, 8);
    PutBE(ph, 0x15B, 224, 8);
    if (options.PrivHeadAtSector6 && !gpt) out.push_back({6, ph});
    out.push_back({configStart, MakeLdmDatabase(group, options)});
    // The last sector of the database area holds a PRIVHEAD: on MBR the disk's last sector, on
    // GPT the last of the metadata partition (and the only one there).
    out.push_back({configStart + kLdmTestConfigSectors - 1, ph});
    return out;
}

std::vector<uint8_t> MakeLdmMemberImage(const LdmTestGroup& group, size_t disk, const LdmWriteOptions& options)
{
    std::vector<uint8_t> image(options.TotalSectors * 512, 0);
    for (const auto& [first, bytes] : MakeLdmMemberPieces(group, disk, options))
        std::copy(bytes.begin(), bytes.end(), image.begin() + static_cast<long>(first * 512));
    return image;
}
