#include "format/ntfs/NtfsIndexRecord.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "base/VlmTrace.h"
#include "format/ntfs/NtfsFileName.h"
#include "format/ntfs/NtfsLayout.h"
#include "format/ntfs/NtfsRecord.h"

bool CheckIndexRecord(MutableByteView record, uint32_t b, bool checkOnly)
{
    tagNtfsIndexRecordHeader h;
    if (record.size() > UINT32_MAX || b < 2 || !LoadRecord(ByteView(record), 0, h) ||
        h.Signature != kNtfsIndexSignature)
        return false;
    const auto bufferSize = static_cast<uint32_t>(record.size());
    if (h.BytesInUse > h.BytesAllocated || static_cast<int64_t>(h.Vcn) > kNtfsMaxIndexVcn) return false;
    const uint64_t total = static_cast<uint64_t>(h.BytesAllocated) + 24;
    if (total > kNtfsMaxIndexRecordBytes) return false;
    const uint64_t sectors = (total + b - 1) / b;
    if (h.UsaCount != sectors + 1 || h.UsaOffset > kNtfsMaxUsaOffset || h.UsaOffset >= bufferSize) return false;
    // The array must be readable; the repair needs the whole record and every stride in it.
    if (!RangeFits(bufferSize, h.UsaOffset, 2ull * h.UsaCount)) return false;
    if (!checkOnly && (total > bufferSize || sectors * b > bufferSize)) return false;
    const uint16_t usn = PeekU16LE(&record[h.UsaOffset]);
    for (uint32_t i = 0; i + 1 < h.UsaCount && i < bufferSize / b; ++i)
    {
        if (PeekU16LE(&record[(i + 1) * b - 2]) != usn)
        {
            VlmTrace("Invalid IndexRecord.\n");
            return false;
        }
    }
    if (checkOnly) return true;
    for (uint32_t i = 0; i + 1 < h.UsaCount; ++i)
        std::memcpy(&record[(i + 1) * b - 2], &record[h.UsaOffset + 2 + 2 * i], 2);
    return true;
}

uint32_t IndexRecordBytes(ByteView record)
{
    uint32_t allocated = 0;
    if (!LoadU32LE(record, offsetof(tagNtfsIndexRecordHeader, BytesAllocated), allocated)) return 0;
    return allocated <= kNtfsMaxIndexRecordBytes - 24 ? allocated + 24 : 0;
}

bool ParseIndexEntry(ByteView entry, NtfsScanRecord* out, uint64_t vcn)
{
    tagNtfsIndexEntryHeader e;
    if (!LoadRecord(entry, 0, e) || e.Length < kNtfsMinIndexEntryBytes || entry.size() < kNtfsMinIndexEntryBytes)
        return false;
    // The key, a copy of the child's $FILE_NAME, follows the entry header.
    const auto fn = NtfsFileNameView::Of(entry.subspan(sizeof(e)));
    if (!fn) return false;

    *out = NtfsScanRecord{};
    out->u64Size = fn->DataSize();
    out->u64Created = fn->CreationTime();
    out->u64Modified = fn->ModificationTime();
    out->u64Self = e.RecordLow | (static_cast<uint64_t>(e.RecordHigh) << 32);
    out->u64Parent = fn->ParentRecord();
    out->dwAttributes = fn->Flags() & 0xFFFF;
    out->dwIndexPosition = static_cast<uint32_t>(vcn);
    if (fn->IsDirectory())
    {
        out->dwAttributes |= kFileAttrDirectory;
        out->u64Modified = out->u64Created;
    }
    out->u64NameHash = NtfsNameHash(fn->NameUnits());
    return !IsMetafileNameMismatch(out->u64Self, fn->Name());
}

size_t CollectIndexEntries(int64_t sector, ByteView record, std::vector<NtfsScanRecord>* out)
{
    tagNtfsIndexRecordHeader h;
    if (!LoadRecord(record, 0, h)) return 0;
    const uint64_t end = std::min<uint64_t>(static_cast<uint64_t>(h.BytesInUse) + 24, record.size());
    uint64_t pos = static_cast<uint64_t>(h.EntriesOffset) + 24;
    size_t added = 0;
    while (pos < end)
    {
        uint16_t length = 0;
        if (!LoadU16LE(record, pos + offsetof(tagNtfsIndexEntryHeader, Length), length) || length < 1) break;
        const ByteView entry = record.subspan(pos, std::min<uint64_t>(length, end - pos));
        NtfsScanRecord r;
        if (!ParseIndexEntry(entry, &r, h.Vcn)) break;
        r.s64Sector = sector;
        out->push_back(r);
        ++added;
        pos += length;
    }
    return added;
}
