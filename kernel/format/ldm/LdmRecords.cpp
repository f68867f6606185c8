#include "format/ldm/LdmRecords.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <tuple>

#include "format/ldm/LdmLayout.h"

namespace {

// Records are small (a few hundred bytes); these bound what a damaged database can make us
// allocate.
constexpr size_t kMaxRecordBytes = 64 * 1024;
constexpr uint64_t kAssemblyBudgetSlack = 1024 * 1024;

bool HasMagic(ByteView v, const char* magic)
{
    const size_t n = std::strlen(magic);
    return v.size() >= n && std::memcmp(v.data(), magic, n) == 0;
}

bool EqualNoCase(const std::string& a, const char* b)
{
    const size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; ++i)
    {
        const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// Zero-terminated text inside a fixed field.
std::string FixedText(ByteView v, size_t off, size_t size)
{
    if (!RangeFits(v.size(), off, size)) return {};
    const uint8_t* p = v.data() + off;
    const size_t len = static_cast<size_t>(std::find(p, p + size, 0) - p);
    return std::string(reinterpret_cast<const char*>(p), len);
}

// Reader of the variable-length fields of a record's data. Every read stays inside the
// record's length; a field that runs past it sets the sticky overrun flag.
class LdmFields
{
public:
    explicit LdmFields(const LdmRecord& record) : m_Cursor(DataView(record), kVblkData) {}

    // A length byte L and L big-endian bytes; L = 0 is the value 0. More than 8 bytes cannot
    // be held and marks the record corrupt.
    uint64_t Number()
    {
        const uint8_t len = m_Cursor.U8();
        if (len > 8)
        {
            m_Bad = true;
            return 0;
        }
        uint64_t value = 0;
        for (uint8_t i = 0; i < len; ++i) value = (value << 8) | m_Cursor.U8();
        return value;
    }
    // A length byte L and L bytes of text kept in a buffer of `bufferSize` bytes: at most
    // bufferSize - 1 characters, up to the first zero.
    std::string Text(size_t bufferSize)
    {
        const uint8_t len = m_Cursor.U8();
        const ByteView bytes = m_Cursor.Bytes(len);
        const size_t keep = std::min<size_t>(bytes.size(), bufferSize - 1);
        return FixedText(bytes, 0, keep);
    }
    uint8_t Byte() { return m_Cursor.U8(); }
    uint64_t U64() { return m_Cursor.U64BE(); }
    void Skip(size_t n) { m_Cursor.Skip(n); }
    ByteView Bytes(size_t n) { return m_Cursor.Bytes(n); }
    bool Ok() const { return m_Cursor.Ok() && !m_Bad; }

private:
    static ByteView DataView(const LdmRecord& record)
    {
        uint32_t dataLength = 0;
        LoadU32BE(record, kVblkDataLength, dataLength);
        const uint64_t end = std::min<uint64_t>(record.size(), uint64_t{kVblkData} + dataLength);
        return ByteView(record.data(), static_cast<size_t>(end));
    }

    KByteCursor m_Cursor;
    bool m_Bad = false;
};

uint8_t FlagsOf(const LdmRecord& record)
{
    uint8_t flags = 0;
    LoadU8(record, kVblkFlags, flags);
    return flags;
}

} // namespace

bool ParsePrivHead(ByteView sector, tagPrivHead* out)
{
    if (!HasMagic(sector, kPrivHeadMagic) || sector.size() < 512) return false;
    LoadU64BE(sector, kPrivHeadLogicalStart, out->LogicalDiskStart);
    LoadU64BE(sector, kPrivHeadLogicalSize, out->LogicalDiskSize);
    LoadU64BE(sector, kPrivHeadConfigStart, out->ConfigStart);
    LoadU64BE(sector, kPrivHeadConfigSize, out->ConfigSize);
    out->DiskId = FixedText(sector, kPrivHeadDiskId, kPrivHeadDiskIdSize);
    return true;
}

bool ParseTocConfig(ByteView sector, uint64_t* start, uint64_t* size)
{
    if (!HasMagic(sector, kTocMagic)) return false;
    for (size_t i = 0; i < kTocEntryCount; ++i)
    {
        const size_t entry = kTocFirstEntry + i * kTocEntrySize;
        if (!RangeFits(sector.size(), entry, kTocEntrySize)) return false;
        if (!EqualNoCase(FixedText(sector, entry + kTocEntryName, kTocEntryNameSize), kTocConfigName)) continue;
        LoadU64BE(sector, entry + kTocEntryStart, *start);
        LoadU64BE(sector, entry + kTocEntrySizeField, *size);
        return true;
    }
    return false;
}

VmdbResult ParseVmdb(ByteView sector, uint32_t* slotSize, uint32_t* firstSlotOffset)
{
    if (!HasMagic(sector, kVmdbMagic)) return VmdbResult::Absent;
    LoadU32BE(sector, kVmdbSlotSize, *slotSize);
    LoadU32BE(sector, kVmdbFirstSlot, *firstSlotOffset);
    // A slot must hold its own header; a zero or huge slot size would stall or blow up the walk.
    if (*slotSize <= kVblkData || *slotSize > kLdmMaxSlotSize) return VmdbResult::Corrupt;
    return VmdbResult::Valid;
}

std::vector<LdmRecord> AssembleLdmRecords(ByteView slots, uint32_t slotSize, uint64_t slotCount)
{
    std::vector<LdmRecord> records;
    if (slotSize <= kVblkData) return records;
    // Only slots wholly inside the bytes read are looked at.
    const uint64_t n = std::min<uint64_t>(slotCount, slots.size() / slotSize);
    const auto slotAt = [&](uint64_t i) { return slots.subspan(static_cast<size_t>(i * slotSize), slotSize); };

    // First slot of each (group, fragment index, fragment count), for the continuation lookup.
    std::map<std::tuple<uint32_t, uint16_t, uint16_t>, uint64_t> firstSlot;
    for (uint64_t i = 0; i < n; ++i)
    {
        const ByteView s = slotAt(i);
        uint32_t group = 0;
        uint16_t index = 0, count = 0;
        LoadU32BE(s, kVblkGroup, group);
        LoadU16BE(s, kVblkFragment, index);
        LoadU16BE(s, kVblkFragmentCount, count);
        if (group != 0 && index != 0) firstSlot.emplace(std::make_tuple(group, index, count), i);
    }

    const size_t payload = slotSize - kVblkFragmentData;
    uint64_t budget = slots.size() * 2 + kAssemblyBudgetSlack;
    for (uint64_t i = 0; i < n; ++i)
    {
        const ByteView s = slotAt(i);
        uint32_t group = 0, dataLength = 0;
        uint16_t index = 0, count = 0;
        LoadU32BE(s, kVblkGroup, group);
        LoadU16BE(s, kVblkFragment, index);
        LoadU16BE(s, kVblkFragmentCount, count);
        LoadU32BE(s, kVblkDataLength, dataLength);
        if (group == 0 || count == 0 || index != 0 || count > kLdmMaxFragments) continue;
        // The record can be no longer than its fragments carry.
        const uint64_t capacity = slotSize + uint64_t{count - 1u} * payload;
        const uint64_t size = std::min({uint64_t{dataLength} + kVblkData, capacity, uint64_t{kMaxRecordBytes}});
        if (size > budget) break;
        budget -= size;
        LdmRecord record(static_cast<size_t>(size), 0);
        std::memcpy(record.data(), s.data(), std::min<size_t>(record.size(), slotSize));
        for (uint16_t k = 1; k < count; ++k)
        {
            const uint64_t pos = slotSize + uint64_t{k - 1u} * payload;
            if (pos >= record.size()) break;
            const auto it = firstSlot.find(std::make_tuple(group, k, count));
            if (it == firstSlot.end()) continue; // a lost fragment leaves its part zero
            const size_t take = std::min<size_t>(payload, record.size() - static_cast<size_t>(pos));
            std::memcpy(record.data() + pos, slotAt(it->second).data() + kVblkFragmentData, take);
        }
        records.push_back(std::move(record));
    }
    return records;
}

uint8_t LdmRecordType(const LdmRecord& record)
{
    if (!HasMagic(record, kVblkMagic)) return 0;
    uint8_t type = 0;
    LoadU8(record, kVblkType, type);
    return type;
}

bool LdmRecordObjectId(const LdmRecord& record, uint64_t* id)
{
    if (LdmRecordType(record) == 0) return false;
    LdmFields f(record);
    *id = f.Number();
    return f.Ok();
}

bool ParseLdmVolume(const LdmRecord& record, tagLdmVolume* out)
{
    if (LdmRecordType(record) != kVblkTypeVolume) return false;
    LdmFields f(record);
    out->Id = f.Number();
    out->Name = f.Text(128);
    out->TypeText = f.Text(128);
    f.Text(128); // a one-byte empty string on most disks, sometimes a short text
    f.Skip(14);  // state text
    f.Skip(1);   // internal type: 3 generic, 4 RAID-5
    f.Skip(1);
    f.Skip(1); // volume number
    f.Skip(3);
    f.Skip(1); // internal flags
    out->Components = f.Number();
    f.Skip(16); // commit id and a further id
    out->Size = f.Number();
    f.Skip(4);
    out->PartitionType = f.Byte();
    f.Skip(16); // volume GUID
    if (FlagsOf(record) == kVblkFlagVolumeHint) f.Text(16);
    return f.Ok();
}

bool ParseLdmComponent(const LdmRecord& record, tagLdmComponent* out)
{
    if (LdmRecordType(record) != kVblkTypeComponent) return false;
    LdmFields f(record);
    out->Id = f.Number();
    out->Name = f.Text(128);
    f.Text(15); // state text
    out->Type = f.Byte();
    f.Skip(4);
    out->Children = f.Number();
    f.Skip(16); // commit id and zeros
    out->ParentId = f.Number();
    f.Skip(1);
    out->StripeSize = 0;
    out->Columns = 0;
    if (FlagsOf(record) == kVblkFlagComponentStripe)
    {
        out->StripeSize = f.Number();
        out->Columns = f.Number();
    }
    return f.Ok();
}

bool ParseLdmPartition(const LdmRecord& record, tagLdmPartition* out)
{
    if (LdmRecordType(record) != kVblkTypePartition) return false;
    LdmFields f(record);
    out->Id = f.Number();
    out->Name = f.Text(128);
    f.Skip(12); // zeros and commit id
    out->Start = f.U64();
    out->VolumeOffset = f.U64();
    out->Size = f.Number();
    out->ParentId = f.Number();
    out->DiskId = f.Number();
    out->Index = FlagsOf(record) == kVblkFlagPartitionIndex ? f.Number() : 0;
    return f.Ok();
}

bool ParseLdmDisk(const LdmRecord& record, tagLdmDisk* out)
{
    const uint8_t type = LdmRecordType(record);
    if (type != kVblkTypeDisk3 && type != kVblkTypeDisk4) return false;
    LdmFields f(record);
    out->Id = f.Number();
    out->Name = f.Text(128);
    if (type == kVblkTypeDisk4)
    {
        // The newer disk record holds the identifier as 16 bytes in the order of its text
        // form; the PRIVHEAD holds the text, so the bytes are spelled out the same way.
        const ByteView g = f.Bytes(16);
        if (g.size() != 16) return false;
        static const char hex[] = "0123456789abcdef";
        std::string text;
        for (size_t i = 0; i < 16; ++i)
        {
            if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
            const uint8_t b = g[i];
            text += hex[b >> 4];
            text += hex[b & 15];
        }
        out->DiskId = text;
        return f.Ok();
    }
    out->DiskId = f.Text(65);
    return f.Ok();
}
