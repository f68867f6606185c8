#include "format/ntfs/NtfsScanRecord.h"

#include <algorithm>
#include <cstring>
#include <strings.h>

#include "format/ntfs/NtfsLayout.h"
#include "format/ntfs/NtfsRecord.h"
#include "format/ntfs/NtfsRunList.h"

namespace {

template <typename T> int CompareSigned(T a, T b) { return a < b ? -1 : (b < a ? 1 : 0); }

// The first run's cluster of a non-resident attribute and the stream's cluster count. False
// when the attribute is resident, its runlist starts outside it or its first header is bad.
bool FirstRun(const NtfsAttribute& attribute, uint32_t* firstCluster, uint64_t* clusters, uint64_t* dataSize)
{
    tagNtfsNonResidentAttribute h;
    ByteView pairs;
    if (!NonResidentHeader(attribute, &h, &pairs) || pairs.empty()) return false;
    const uint8_t header = pairs[0];
    const uint32_t offsetSize = header >> 4, lengthSize = header & 15;
    if (offsetSize > 4 || lengthSize > 4 || !RangeFits(pairs.size(), 1, lengthSize + offsetSize)) return false;
    uint64_t cluster = 0;
    for (uint32_t i = 0; i < offsetSize; ++i) cluster |= static_cast<uint64_t>(pairs[1 + lengthSize + i]) << (8 * i);
    *firstCluster = static_cast<uint32_t>(cluster);
    StreamVector runs;
    DecodeRunList(pairs, 1, 0, &runs);
    *clusters = RunSectorTotal(runs);
    *dataSize = h.DataSize;
    return true;
}

uint32_t EstimateFromStream(uint64_t dataSize, uint64_t clusters, uint32_t bytesPerSector)
{
    const uint64_t sectors = (dataSize + bytesPerSector - 1) / bytesPerSector;
    return GuessSectorsPerCluster(sectors / clusters);
}

} // namespace

uint64_t NtfsNameHash(ByteView utf16)
{
    uint64_t hash = 0, factor = 1;
    for (size_t i = 0; i < utf16.size() / 2; ++i)
    {
        hash += PeekU16LE(utf16.data() + 2 * i) * factor;
        factor *= 5;
    }
    return hash;
}

int CompareScanRecords(const NtfsScanRecord& a, const NtfsScanRecord& b)
{
    if (int c = CompareSigned(static_cast<int64_t>(a.u64Parent), static_cast<int64_t>(b.u64Parent))) return c;
    if (int c = CompareSigned(static_cast<int64_t>(a.u64Size), static_cast<int64_t>(b.u64Size))) return c;
    if (int c = CompareSigned(static_cast<int64_t>(a.u64Created / 1000), static_cast<int64_t>(b.u64Created / 1000)))
        return c;
    if (int c = CompareSigned(static_cast<int64_t>(a.u64Modified / 1000), static_cast<int64_t>(b.u64Modified / 1000)))
        return c;
    if (int c = CompareSigned(static_cast<int64_t>(a.u64NameHash), static_cast<int64_t>(b.u64NameHash))) return c;
    return CompareSigned(a.dwAttributes, b.dwAttributes);
}

bool IsMetafileNameMismatch(uint64_t number, const std::string& name)
{
    static constexpr const char* kNames[] = {"$MFT", "$MFTMirr", "$LogFile", "$Volume", "$AttrDef",
                                             ".",    "$Bitmap",  "$Boot",    "$BadClus"};
    if (number >= std::size(kNames)) return false;
    return strcasecmp(name.c_str(), kNames[number]) != 0;
}

uint32_t GuessSectorsPerCluster(uint64_t ratio)
{
    if (ratio > 64) return 128;
    if (ratio > 32) return 64;
    if (ratio > 16) return 32;
    if (ratio > 8) return 16;
    if (ratio > 4) return 8;
    if (ratio > 2) return 4;
    if (ratio > 1) return 2;
    return 1;
}

bool ParseScanRecord(ByteView record, uint32_t bps, NtfsScanRecord* out, std::string* name)
{
    tagNtfsFileRecordHeader header;
    if (bps == 0 || !LoadFileRecordHeader(record, &header)) return false;
    const auto fn = ChooseFileName(record);
    if (!fn) return false;
    *name = fn->Name();

    *out = NtfsScanRecord{};
    out->u64NameHash = NtfsNameHash(fn->NameUnits());
    out->u64Size = fn->DataSize();
    out->u64Parent = fn->ParentRecord();
    out->u64Created = fn->CreationTime();
    out->u64Modified = fn->ModificationTime();
    out->dwAttributes = fn->Flags() & 0xFFFF;
    const bool directory = fn->IsDirectory();
    if (directory) out->dwAttributes |= kFileAttrDirectory;
    // Records of format 3.1 carry their own number behind the header.
    if (header.UsaOffset >= sizeof(tagNtfsFileRecordHeader) && header.Reserved == 0) out->u64Self = header.RecordNumber;
    ByteView si;
    uint64_t created = 0, modified = 0;
    if (ResidentValue(FindAttribute(record, kNtfsAttrStandardInformation, 0), &si) &&
        LoadU64LE(si, offsetof(tagNtfsStandardInformation, CreationTime), created) &&
        LoadU64LE(si, offsetof(tagNtfsStandardInformation, ModificationTime), modified))
    {
        out->u64Created = created;
        out->u64Modified = modified;
    }
    uint32_t firstCluster = 0;
    uint64_t clusters = 0, dataSize = 0;
    if (!directory)
    {
        const NtfsAttribute data = FindAttribute(record, kNtfsAttrData, 0);
        if (!data || data.IsNamed() || !FirstRun(data, &firstCluster, &clusters, &dataSize)) return true;
        out->dwFirstDataCluster = firstCluster;
        if (clusters >= 2) out->dwClusterEstimate = EstimateFromStream(dataSize, clusters, bps);
        return true;
    }
    out->u64Modified = out->u64Created;
    const NtfsAttribute index = FindAttribute(record, kNtfsAttrIndexAllocation, 0);
    if (!index || !FirstRun(index, &firstCluster, &clusters, &dataSize)) return true;
    out->dwIndexPosition = firstCluster;
    if (clusters > 1) out->dwClusterEstimate = EstimateFromStream(dataSize, clusters, bps);
    return true;
}
