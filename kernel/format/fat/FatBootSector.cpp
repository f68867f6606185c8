#include "format/fat/FatBootSector.h"

#include <algorithm>
#include <cstring>

#include "base/TextCodec.h"

namespace {

constexpr uint32_t kMaxFat12Sectors = 262144;
constexpr uint32_t kMaxFat16Sectors = 8388608;
constexpr uint16_t kMaxRootEntries = 2048;

bool HasLabel(ByteView s, size_t off, const char* text)
{
    return RangeFits(s.size(), off, 8) && std::memcmp(s.data() + off, text, 8) == 0;
}

bool IsPowerOfTwoUpTo(uint32_t v, uint32_t max) { return v != 0 && v <= max && (v & (v - 1)) == 0; }

} // namespace

FatCandidate FatEmptyCandidate()
{
    FatCandidate c;
    std::memset(&c, 0, sizeof(c));
    c.RecordLength = kFatCandidateLength;
    return c;
}

bool FatCandidateFromBootSector(ByteView s, int32_t type, int64_t first, uint32_t bytesPerSector, FatCandidate* out)
{
    tagFatBootCommon bpb;
    tagFat32BootTail tail32;
    if (!LoadRecord(s, 0, bpb) || !LoadRecord(s, kFatBootTailOffset, tail32)) return false;
    const bool labelled = type == kFatType12 ? HasLabel(s, kFat16TypeOffset, "FAT12   ")
        : type == kFatType16                 ? HasLabel(s, kFat16TypeOffset, "FAT16   ")
                                             : type == kFatType32 && HasLabel(s, kFat32TypeOffset, "FAT32   ");
    if (!labelled) return false;
    const bool fat32 = type == kFatType32;
    if (!IsPowerOfTwoUpTo(bpb.SectorsPerCluster, type == kFatType12 ? 64 : 128)) return false;
    // Positions count in the sectors of the disk it was made on: only those of this disk fit.
    if (bpb.BytesPerSector != bytesPerSector || !FatSectorSizeIsValid(bytesPerSector)) return false;
    if (bpb.FatCount != 1 && bpb.FatCount != 2) return false;
    if (!fat32 && (bpb.RootEntries == 0 || bpb.RootEntries > kMaxRootEntries)) return false;
    const uint32_t total = bpb.TotalSectors16 != 0 ? bpb.TotalSectors16 : bpb.TotalSectors32;
    if (total == 0) return false;
    if (type == kFatType12 && total > kMaxFat12Sectors) return false;
    if (type == kFatType16 && total > kMaxFat16Sectors) return false;

    uint32_t fatSize = bpb.FatSize16;
    if (fat32)
    {
        fatSize = tail32.FatSize32;
        if (bpb.FatSize16 != 0)
        {
            if (fatSize == 0)
                fatSize = bpb.FatSize16;
            else if (fatSize != bpb.FatSize16)
                return false;
        }
        const uint32_t clusters = total / bpb.SectorsPerCluster;
        if (tail32.RootCluster < 2 || tail32.RootCluster >= clusters) return false;
    }
    if (fatSize == 0) return false;

    FatCandidate c = FatEmptyCandidate();
    c.FatType = type;
    c.SectorsPerCluster = bpb.SectorsPerCluster;
    c.FirstSector = first;
    c.SectorCount = total;
    c.SectorsPerFat = fatSize;
    c.Fat1Start = first + bpb.ReservedSectors;
    c.Fat2Start = bpb.FatCount < 2 ? -1 : c.Fat1Start + fatSize;
    const int64_t afterFats = c.Fat1Start + static_cast<int64_t>(bpb.FatCount) * fatSize;
    if (fat32)
    {
        c.DataStart = afterFats;
        c.RootStart = c.DataStart + static_cast<int64_t>(tail32.RootCluster - 2) * bpb.SectorsPerCluster;
        c.RootSectors = bpb.SectorsPerCluster;
    }
    else
    {
        c.RootStart = afterFats;
        c.RootSectors = FatRootSectors(bpb.RootEntries, bytesPerSector);
        c.DataStart = c.RootStart + c.RootSectors;
    }
    *out = c;
    return true;
}
