#include "format/ntfs/NtfsRecord.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "base/VlmTrace.h"
#include "base/TextCodec.h"

namespace {

// Characters a name of its name space cannot hold; a $FILE_NAME holding one is garbage. The
// POSIX name space (what Linux drivers write) allows every unit but the slash and NUL; the
// Win32 and DOS name spaces also refuse the characters Windows reserves.
bool IsForbiddenNameUnit(uint16_t unit, uint8_t nameSpace)
{
    if (unit == '/') return true;
    if (nameSpace == kNtfsNameSpacePosix) return false;
    switch (unit)
    {
    case '"':
    case '*':
    case ':':
    case '<':
    case '>':
    case '?':
    case '\\':
    case '|': return true;
    default: return false;
    }
}

bool HeaderIsPlausible(const tagNtfsFileRecordHeader& h, uint32_t bufferSize)
{
    if (h.Signature != kNtfsFileSignature) return false;
    if (h.UsaCount > kNtfsMaxUsaCount || h.AllocatedSize > kNtfsMaxRecordBytes) return false;
    if (h.BytesInUse > h.AllocatedSize) return false;
    if (static_cast<uint16_t>(h.UsaCount - 1) != static_cast<uint16_t>(h.AllocatedSize / kNtfsFixupStride))
        return false;
    if (h.UsaOffset < kNtfsMinUsaOffset || h.UsaOffset > kNtfsMaxUsaOffset) return false;
    // The array itself must be readable.
    return RangeFits(bufferSize, h.UsaOffset, 2u * h.UsaCount);
}

// The sequence number must end every stride that lies inside the buffer.
bool StrideTailsMatch(ByteView record, const tagNtfsFileRecordHeader& h)
{
    uint16_t usn = 0;
    LoadU16LE(record, h.UsaOffset, usn);
    for (uint32_t i = 0; i + 1 < h.UsaCount && i < record.size() / kNtfsFixupStride; ++i)
    {
        uint16_t tail = 0;
        LoadU16LE(record, (i + 1) * kNtfsFixupStride - 2, tail);
        if (tail != usn)
        {
            VlmTrace("Fixup is %x, but should be %x\n", tail, usn);
            return false;
        }
    }
    return true;
}

bool FileNameIsClean(ByteView record, size_t attrOff, const tagNtfsResidentAttribute& a)
{
    // The name is read as far as the record goes, not only as far as the value does.
    const size_t value = attrOff + a.ValueOffset;
    const auto fn = NtfsFileNameView::Of(value <= record.size() ? record.subspan(value) : ByteView{});
    if (!fn) return true; // too short to carry a name; FindAttribute refuses it later
    const ByteView units = fn->NameUnits();
    for (size_t i = 0; i < units.size(); i += 2)
    {
        const uint16_t unit = PeekU16LE(units.data() + i);
        if (unit == 0) break;
        if (IsForbiddenNameUnit(unit, fn->NameSpace())) return false;
    }
    return true;
}

// Run headers of a $DATA runlist: both size nibbles at most 4, and the headers with their
// fields stay inside the attribute.
bool RunHeadersAreSane(ByteView record, size_t attrOff, uint32_t length, uint16_t mappingPairs)
{
    const uint64_t budget = length - mappingPairs;
    uint64_t consumed = 0;
    for (;;)
    {
        uint8_t h = 0;
        if (!LoadU8(record, attrOff + mappingPairs + consumed, h)) return false;
        if (h == 0) return true;
        const uint32_t offsetSize = h >> 4, lengthSize = h & 15;
        if (offsetSize > 4 || lengthSize > 4) return false;
        consumed += 1 + offsetSize + lengthSize;
        if (consumed >= budget) return false;
    }
}

bool AttributeIsSane(ByteView record, size_t off, uint32_t length, const tagNtfsFileRecordHeader& h)
{
    uint8_t nonResident = 0;
    if (!LoadU8(record, off + offsetof(tagNtfsAttributeHeader, NonResident), nonResident)) return false;
    if (nonResident == 0)
    {
        tagNtfsResidentAttribute a;
        if (!LoadRecord(record, off, a)) return false;
        if (static_cast<uint64_t>(a.ValueOffset) + a.ValueLength > length) return false;
        return a.Header.Type != kNtfsAttrFileName || FileNameIsClean(record, off, a);
    }
    if (static_cast<uint64_t>(off) + length > h.BytesInUse) return false;
    uint16_t mappingPairs = 0;
    if (!LoadU16LE(record, off + offsetof(tagNtfsNonResidentAttribute, MappingPairsOffset), mappingPairs) ||
        mappingPairs >= length)
        return false;
    uint32_t type = 0;
    LoadU32LE(record, off + offsetof(tagNtfsAttributeHeader, Type), type);
    return type != kNtfsAttrData || RunHeadersAreSane(record, off, length, mappingPairs);
}

bool AttributesAreSane(ByteView record, const tagNtfsFileRecordHeader& h)
{
    const uint64_t limit = std::min<uint64_t>(record.size(), h.AllocatedSize);
    uint64_t off = h.FirstAttributeOffset;
    while (off < limit)
    {
        uint32_t type = 0, length = 0;
        if (!LoadU32LE(record, off + offsetof(tagNtfsAttributeHeader, Type), type) || type == kNtfsEndOfAttributes)
            return true;
        if (!LoadU32LE(record, off + offsetof(tagNtfsAttributeHeader, Length), length) || length == 0) return true;
        if (!AttributeIsSane(record, static_cast<size_t>(off), length, h)) return false;
        off += length;
    }
    return true;
}

} // namespace

bool LoadFileRecordHeader(ByteView record, tagNtfsFileRecordHeader* out) { return LoadRecord(record, 0, *out); }

bool CheckFileRecord(MutableByteView buffer, bool checkOnly)
{
    if (buffer.empty() || buffer.size() > UINT32_MAX) return false;
    const ByteView record(buffer);
    const auto bufferSize = static_cast<uint32_t>(buffer.size());
    tagNtfsFileRecordHeader h;
    if (!LoadFileRecordHeader(record, &h) || !HeaderIsPlausible(h, bufferSize)) return false;
    if (!StrideTailsMatch(record, h)) return false;
    if (checkOnly)
    {
        if (bufferSize < h.AllocatedSize)
            VlmTrace("CheckOnly=>CheckFileSize:nBufferSize<pFileRecord->u32AllocatedSizeOftheFileRecord\n");
        return true;
    }
    if (bufferSize < h.AllocatedSize)
    {
        VlmTrace("CheckFileSize:nBufferSize<pFileRecord->u32AllocatedSizeOftheFileRecord\n"
                 "nBufferSize=%d,u32AllocatedSize=%d",
                 static_cast<int>(bufferSize), static_cast<int>(h.AllocatedSize));
        return false;
    }
    if (!ApplyFileRecordFixup(buffer)) return false;
    return AttributesAreSane(record, h);
}

bool ApplyFileRecordFixup(MutableByteView record)
{
    tagNtfsFileRecordHeader h;
    if (!LoadFileRecordHeader(record, &h)) return false;
    if (h.UsaCount == 0) return true;
    const uint64_t size = record.size();
    if (static_cast<uint64_t>(h.UsaCount - 1) * kNtfsFixupStride > size) return false;
    if (!RangeFits(size, h.UsaOffset, 2u * h.UsaCount)) return false;
    for (uint32_t i = 0; i + 1 < h.UsaCount; ++i)
        std::memcpy(&record[(i + 1) * kNtfsFixupStride - 2], &record[h.UsaOffset + 2 + 2 * i], 2);
    return true;
}

namespace {

bool ResidentFitsAttribute(ByteView attr)
{
    tagNtfsResidentAttribute a;
    if (!LoadRecord(attr, 0, a)) return false;
    const uint64_t length = attr.size();
    // An empty value is an empty file's $DATA; every other attribute has a value.
    if (a.ValueOffset == 0 || (a.ValueLength == 0 && a.Header.Type != kNtfsAttrData)) return false;
    if (static_cast<uint64_t>(a.ValueOffset) + a.ValueLength > length) return false;
    // The name length counts UTF-16 units; the test compares it as a byte count.
    return a.Header.NameLength == 0 || static_cast<uint64_t>(a.Header.NameOffset) + a.Header.NameLength <= length;
}

} // namespace

NtfsAttribute FindAttribute(ByteView view, uint32_t type, int nth)
{
    tagNtfsFileRecordHeader h;
    if (!LoadFileRecordHeader(view, &h)) return {};
    const uint64_t limit = std::min<uint64_t>(view.size(), h.AllocatedSize);
    uint64_t off = h.FirstAttributeOffset;
    int seen = 0;
    while (off < limit)
    {
        tagNtfsAttributeHeader header;
        if (!LoadU32LE(view, off + offsetof(tagNtfsAttributeHeader, Type), header.Type) ||
            header.Type == kNtfsEndOfAttributes)
            return {};
        LoadU32LE(view, off + offsetof(tagNtfsAttributeHeader, Length), header.Length);
        if (header.Type == type && seen++ == nth)
        {
            // Whatever the record claims, the answer lies inside the buffer.
            if (header.Length < sizeof(tagNtfsAttributeHeader) || !RangeFits(view.size(), off, header.Length))
                return {};
            const ByteView attr = view.subspan(static_cast<size_t>(off), header.Length);
            LoadRecord(attr, 0, header);
            const bool sound = header.NonResident != 0 ? attr.size() >= sizeof(tagNtfsNonResidentAttribute)
                                                       : ResidentFitsAttribute(attr);
            return sound ? NtfsAttribute{header, attr} : NtfsAttribute{};
        }
        if (header.Length == 0) return {};
        off += header.Length;
    }
    return {};
}

bool ResidentValue(const NtfsAttribute& attribute, ByteView* value)
{
    tagNtfsResidentAttribute a;
    if (!attribute || !LoadRecord(attribute.Bytes, 0, a) || a.Header.NonResident != 0 ||
        !RangeFits(attribute.Bytes.size(), a.ValueOffset, a.ValueLength))
        return false;
    *value = attribute.Bytes.subspan(a.ValueOffset, a.ValueLength);
    return true;
}

bool NonResidentHeader(const NtfsAttribute& attribute, tagNtfsNonResidentAttribute* header, ByteView* mappingPairs)
{
    const ByteView attr = attribute.Bytes;
    if (!attribute || !LoadRecord(attr, 0, *header) || header->Header.NonResident == 0) return false;
    if (header->MappingPairsOffset >= attr.size())
        *mappingPairs = {};
    else
        *mappingPairs = attr.subspan(header->MappingPairsOffset);
    return true;
}

NtfsAttribute FindUnnamedData(ByteView record)
{
    for (int i = 0; i < 5; ++i)
    {
        const NtfsAttribute a = FindAttribute(record, kNtfsAttrData, i);
        if (!a) return {};
        if (!a.IsNamed()) return a;
    }
    return {};
}

bool ConvertName(ByteView name, std::string* out)
{
    constexpr size_t kMaxNameBytes = 519;
    if (name.size() < 2)
    {
        out->clear();
        return true;
    }
    *out = CutUtf8(Utf16LEBytesToUtf8(name.data(), name.size() / 2 * 2), kMaxNameBytes);
    return true;
}

std::optional<NtfsFileNameView> ChooseFileName(ByteView record)
{
    ByteView value;
    if (!ResidentValue(FindAttribute(record, kNtfsAttrFileName, 0), &value)) return std::nullopt;
    const auto first = NtfsFileNameView::Of(value);
    if (!first || !ResidentValue(FindAttribute(record, kNtfsAttrFileName, 1), &value)) return first;
    const auto second = NtfsFileNameView::Of(value);
    return second && second->NameSpace() == kNtfsNameSpaceWin32 ? second : first;
}
