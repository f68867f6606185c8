#include "format/exfat/ExFatEntrySet.h"

#include <algorithm>

#include "format/exfat/ExFatLayout.h"

using namespace ExFat;

namespace {

ExFatTimestamp Stamp(ByteView e, size_t timeOff, size_t hundredthsOff, size_t utcOff)
{
    ExFatTimestamp t;
    LoadU32LE(e, timeOff, t.Packed);
    if (hundredthsOff) LoadU8(e, hundredthsOff, t.Hundredths);
    LoadU8(e, utcOff, t.UtcOffset);
    if (t.Hundredths > 199) t.Hundredths = 0;
    return t;
}

} // namespace

uint16_t ExFatSetChecksum(ByteView set, uint32_t count)
{
    const size_t n = std::min<size_t>(set.size(), size_t{count} * kEntryBytes);
    uint16_t sum = 0;
    for (size_t i = 0; i < n; ++i)
    {
        if (i == kOffSetChecksum || i == kOffSetChecksum + 1) continue;
        uint8_t b = set[i];
        if (i % kEntryBytes == 0) b |= kInUse;
        sum = static_cast<uint16_t>(((sum & 1) ? 0x8000 : 0) + (sum >> 1) + b);
    }
    return sum;
}

bool LooksLikeExFatSet(ByteView entries, size_t offset)
{
    if (!RangeFits(entries.size(), offset, 2 * kEntryBytes)) return false;
    const uint8_t t0 = entries[offset];
    const uint8_t t1 = entries[offset + kEntryBytes];
    if ((t0 & ~kInUse) != (kTypeFile & ~kInUse) || (t1 & ~kInUse) != (kTypeStream & ~kInUse)) return false;
    const uint8_t count = entries[offset + kOffSecondaryCount];
    return (t0 & kInUse) == (t1 & kInUse) && count >= kMinSecondaryCount && count <= kMaxSecondaryCount;
}

ExFatSetStatus ParseExFatEntrySet(ByteView entries, size_t offset, ExFatEntrySet* out)
{
    if (!RangeFits(entries.size(), offset, kEntryBytes)) return ExFatSetStatus::NotASet;
    const uint8_t type = entries[offset];
    if ((type & ~kInUse) != (kTypeFile & ~kInUse)) return ExFatSetStatus::NotASet;
    const bool deleted = (type & kInUse) == 0;
    const uint32_t secondaries = entries[offset + kOffSecondaryCount];
    if (secondaries < kMinSecondaryCount || secondaries > kMaxSecondaryCount) return ExFatSetStatus::Malformed;
    const uint32_t count = secondaries + 1;
    if (!RangeFits(entries.size(), offset, size_t{count} * kEntryBytes)) return ExFatSetStatus::Truncated;
    const ByteView set = entries.subspan(offset, size_t{count} * kEntryBytes);
    const uint8_t state = deleted ? 0 : kInUse;
    // Every secondary shares the File entry's state and is a secondary (bit 6 set).
    for (uint32_t i = 1; i < count; ++i)
    {
        const uint8_t t = set[i * kEntryBytes];
        if ((t & kInUse) != state || (t & 0x40) == 0) return ExFatSetStatus::Malformed;
    }
    const ByteView stream = set.subspan(kEntryBytes, kEntryBytes);
    const ByteView file = set.first(kEntryBytes);
    if ((stream[0] | kInUse) != kTypeStream) return ExFatSetStatus::Malformed;
    ExFatEntrySet s;
    s.Deleted = deleted;
    s.EntryCount = count;
    LoadU16LE(file, kOffAttributes, s.Attributes);
    s.Created = Stamp(file, kOffCreateTime, kOffCreate10ms, kOffCreateUtcOffset);
    s.Modified = Stamp(file, kOffModifyTime, kOffModify10ms, kOffModifyUtcOffset);
    s.Accessed = Stamp(file, kOffAccessTime, 0, kOffAccessUtcOffset);
    s.StreamFlags = stream[kOffStreamFlags];
    s.NameLength = stream[kOffNameLength];
    LoadU16LE(stream, kOffNameHash, s.NameHash);
    LoadU64LE(stream, kOffValidDataLength, s.ValidDataLength);
    LoadU32LE(stream, kOffFirstCluster, s.FirstCluster);
    LoadU64LE(stream, kOffDataLength, s.DataLength);
    // The name needs ceil(length / 15) name entries right after the stream entry.
    const uint32_t nameEntries = (s.NameLength + kNameCharsPerEntry - 1) / kNameCharsPerEntry;
    if (s.NameLength == 0 || nameEntries > count - 2 || s.ValidDataLength > s.DataLength)
        return ExFatSetStatus::Malformed;
    for (uint32_t k = 0; k < nameEntries; ++k)
    {
        const ByteView e = set.subspan((2 + k) * kEntryBytes, kEntryBytes);
        if ((e[0] | kInUse) != kTypeFileName) return ExFatSetStatus::Malformed;
        for (uint32_t j = 0; j < kNameCharsPerEntry && k * kNameCharsPerEntry + j < s.NameLength; ++j)
            s.Name[k * kNameCharsPerEntry + j] = static_cast<char16_t>(PeekU16LE(e.data() + kOffNameChars + 2 * j));
    }
    uint16_t stored = 0;
    LoadU16LE(file, kOffSetChecksum, stored);
    if (ExFatSetChecksum(set, count) != stored) return ExFatSetStatus::BadChecksum;
    *out = s;
    return ExFatSetStatus::Ok;
}

bool ParseExFatLabel(ByteView entries, size_t offset, char16_t* label, uint32_t* length)
{
    if (!RangeFits(entries.size(), offset, kEntryBytes) || entries[offset] != kTypeVolumeLabel) return false;
    const uint32_t n = entries[offset + kOffLabelLength];
    if (n > kMaxLabelLength) return false;
    for (uint32_t i = 0; i < n; ++i)
        label[i] = static_cast<char16_t>(PeekU16LE(entries.data() + offset + kOffLabelChars + 2 * i));
    *length = n;
    return true;
}

void ExFatNameToUtf8(const char16_t* name, uint32_t count, char* out, size_t capacity, size_t* written)
{
    size_t w = 0;
    auto put = [&](uint32_t cp) {
        char buf[4];
        size_t n = 0;
        if (cp < 0x80)
            buf[n++] = static_cast<char>(cp);
        else if (cp < 0x800)
        {
            buf[n++] = static_cast<char>(0xC0 | (cp >> 6));
            buf[n++] = static_cast<char>(0x80 | (cp & 0x3F));
        }
        else if (cp < 0x10000)
        {
            buf[n++] = static_cast<char>(0xE0 | (cp >> 12));
            buf[n++] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            buf[n++] = static_cast<char>(0x80 | (cp & 0x3F));
        }
        else
        {
            buf[n++] = static_cast<char>(0xF0 | (cp >> 18));
            buf[n++] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            buf[n++] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            buf[n++] = static_cast<char>(0x80 | (cp & 0x3F));
        }
        if (w + n >= capacity) return false;
        for (size_t i = 0; i < n; ++i) out[w++] = buf[i];
        return true;
    };
    for (uint32_t i = 0; i < count; ++i)
    {
        uint32_t cp = name[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < count && name[i + 1] >= 0xDC00 && name[i + 1] < 0xE000)
            cp = 0x10000 + ((cp - 0xD800) << 10) + (name[++i] - 0xDC00);
        else if (cp >= 0xD800 && cp < 0xE000)
            cp = 0xFFFD;
        if (!put(cp)) break;
    }
    if (capacity) out[w] = 0;
    *written = w;
}
