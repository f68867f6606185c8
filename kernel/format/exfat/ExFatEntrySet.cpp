#include "format/exfat/ExFatEntrySet.h"

#include <algorithm>

#include "format/exfat/ExFatEntryView.h"
#include "format/exfat/ExFatLayout.h"

using namespace ExFat;

namespace {

ExFatTimestamp Stamp(uint32_t packed, uint8_t hundredths, uint8_t utcOffset)
{
    return ExFatTimestamp{packed, hundredths > 199 ? uint8_t{0} : hundredths, utcOffset};
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
    const std::optional<ExFatEntryView> file = ExFatEntryView::At(entries, offset);
    const std::optional<ExFatEntryView> stream = ExFatEntryView::At(entries, offset + kEntryBytes);
    if (!file || !stream || !file->IsOfType(kTypeFile) || !stream->IsOfType(kTypeStream)) return false;
    const uint8_t count = file->SecondaryCount();
    return file->InUse() == stream->InUse() && count >= kMinSecondaryCount && count <= kMaxSecondaryCount;
}

ExFatSetStatus ParseExFatEntrySet(ByteView entries, size_t offset, ExFatEntrySet* out)
{
    const std::optional<ExFatEntryView> first = ExFatEntryView::At(entries, offset);
    if (!first || !first->IsOfType(kTypeFile)) return ExFatSetStatus::NotASet;
    const ExFatEntryView file = *first;
    const bool deleted = !file.InUse();
    const uint32_t secondaries = file.SecondaryCount();
    if (secondaries < kMinSecondaryCount || secondaries > kMaxSecondaryCount) return ExFatSetStatus::Malformed;
    const uint32_t count = secondaries + 1;
    if (!RangeFits(entries.size(), offset, size_t{count} * kEntryBytes)) return ExFatSetStatus::Truncated;
    const ByteView set = entries.subspan(offset, size_t{count} * kEntryBytes);
    const auto entry = [&](uint32_t i) { return *ExFatEntryView::At(set, size_t{i} * kEntryBytes); };
    // Every secondary shares the File entry's state and is a secondary (bit 6 set).
    for (uint32_t i = 1; i < count; ++i)
        if (entry(i).InUse() != file.InUse() || !entry(i).IsSecondary()) return ExFatSetStatus::Malformed;
    const ExFatEntryView stream = entry(1);
    if (!stream.IsOfType(kTypeStream)) return ExFatSetStatus::Malformed;
    ExFatEntrySet s;
    s.Deleted = deleted;
    s.EntryCount = count;
    s.Attributes = file.FileAttributes();
    s.Created = Stamp(file.CreateTime(), file.Create10ms(), file.CreateUtcOffset());
    s.Modified = Stamp(file.ModifyTime(), file.Modify10ms(), file.ModifyUtcOffset());
    s.Accessed = Stamp(file.AccessTime(), 0, file.AccessUtcOffset());
    s.StreamFlags = stream.StreamFlags();
    s.NameLength = stream.NameLength();
    s.NameHash = stream.NameHash();
    s.ValidDataLength = stream.ValidDataLength();
    s.FirstCluster = stream.FirstCluster();
    s.DataLength = stream.DataLength();
    // The name needs ceil(length / 15) name entries right after the stream entry.
    const uint32_t nameEntries = (s.NameLength + kNameCharsPerEntry - 1) / kNameCharsPerEntry;
    if (s.NameLength == 0 || nameEntries > count - 2 || s.ValidDataLength > s.DataLength)
        return ExFatSetStatus::Malformed;
    for (uint32_t k = 0; k < nameEntries; ++k)
    {
        const ExFatEntryView e = entry(2 + k);
        if (!e.IsOfType(kTypeFileName)) return ExFatSetStatus::Malformed;
        for (uint32_t j = 0; j < kNameCharsPerEntry && k * kNameCharsPerEntry + j < s.NameLength; ++j)
            s.Name[k * kNameCharsPerEntry + j] = e.NameChar(j);
    }
    if (ExFatSetChecksum(set, count) != file.SetChecksum()) return ExFatSetStatus::BadChecksum;
    *out = s;
    return ExFatSetStatus::Ok;
}

bool ParseExFatLabel(ByteView entries, size_t offset, char16_t* label, uint32_t* length)
{
    const std::optional<ExFatEntryView> e = ExFatEntryView::At(entries, offset);
    if (!e || e->EntryType() != kTypeVolumeLabel) return false;
    const uint32_t n = e->LabelLength();
    if (n > kMaxLabelLength) return false;
    for (uint32_t i = 0; i < n; ++i) label[i] = e->LabelChar(i);
    *length = n;
    return true;
}

bool ExFatLabelText(ByteView entries, size_t offset, std::string* text)
{
    char16_t units[kMaxLabelLength];
    uint32_t n = 0;
    if (!ParseExFatLabel(entries, offset, units, &n)) return false;
    char utf8[64];
    size_t w = 0;
    ExFatNameToUtf8(units, n, utf8, sizeof(utf8), &w);
    text->assign(utf8, w);
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
