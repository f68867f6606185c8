// The FAT scanner over fuzzed volumes: the sector scan with its end-of-scan ranking and the
// rebuild of every candidate; the direct open (boot sector, table loading, folder walk); and
// the pure entry parser with the table checks over raw bytes.
#include <algorithm>
#include <vector>

#include "FuzzDrive.h"
#include "FuzzImage.h"
#include "FuzzTargets.h"
#include "fat/KFatEntryParser.h"
#include "fat/KFatFileSystem.h"
#include "fat/KFatTable.h"

int FuzzFatScan(const uint8_t* data, size_t size)
{
    MemoryVolume volume(kBorrow, {data, size});
    KFatFileSystem fs;
    FuzzScanPass(fs, volume);
    FuzzListCandidates(fs, [&fs] { FuzzExerciseListing(fs); });
    return 0;
}

int FuzzFatVolume(const uint8_t* data, size_t size)
{
    MemoryVolume volume;
    LoadSparseInput(data, size, volume);
    KFatFileSystem fs;
    fs.SetVolume(&volume);
    fs.SetSectorInfo(0, 512);
    if (fs.SelectCandidate(FS_CANDIDATE_VOLUME) == 0) FuzzExerciseListing(fs);
    return 0;
}

int FuzzFatEntries(const uint8_t* data, size_t size)
{
    // Byte 0 picks the table type, then the bytes are both a folder and a table.
    if (size < 1) return 0;
    const int32_t types[] = {1, 6, 11};
    const int32_t type = types[data[0] % 3];
    const ByteView bytes(data + 1, size - 1);
    FatEntryLimits limits;
    limits.ClusterCount = static_cast<uint32_t>(bytes.size());
    limits.VolumeSectors = 1u << 20;
    limits.DataStart = 100;
    limits.EndSector = 1 << 20;
    KFatEntryParser parser;
    for (const FatDirEntryView e : FatDirEntrySlots(bytes))
    {
        FatParsedEntry entry;
        parser.Parse(e, limits, &entry);
    }
    KFatEntryParser::Stored stored{};
    std::copy_n(bytes.begin(), std::min(bytes.size(), stored.size()), stored.begin());
    parser.Restore(stored);
    FatParsedEntry entry;
    if (const std::optional<FatDirEntryView> first = FatDirEntryView::At(bytes, 0))
        parser.Parse(*first, limits, &entry);

    const uint32_t clusters = static_cast<uint32_t>(bytes.size() * 2 / 3);
    KFatTable::CheckSignatureAndEntries(bytes, type, clusters);
    KFatTable::CheckChains(bytes, type, clusters);
    KFatTable table;
    if (table.Accept(std::vector<uint8_t>(bytes.begin(), bytes.end()), type, clusters))
    {
        FatGeometry g;
        g.SectorsPerCluster = 4;
        g.DataStart = 100;
        g.ClusterCount = clusters;
        g.FatType = type;
        g.EndSector = 1 << 20;
        for (uint32_t c = 2; c < std::min<uint32_t>(clusters, 64); ++c) table.Runs(g, 512, c, uint64_t{1} << 30);
        table.CountUsed();
    }
    return 0;
}
