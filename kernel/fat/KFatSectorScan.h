#pragma once
// The FAT side of a full scan. Every sector of the volume passes through ScanSector once; from
// the sectors alone it recognises every FAT file system that exists or once existed there: by
// a surviving boot sector, or by folder clusters, from whose position and own cluster number
// the start of the data area is inferred. End() drops weak candidates and ranks the rest.
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "base/ByteView.h"
#include "format/fat/FatDirEntry.h"
#include "format/fat/FatLayout.h"

class IVolumeIO;
class IProgress_Server;
struct ScanStats;

class KFatSectorScan
{
public:
    void Reset();
    /// Sets what the scan reads root folders from and checks entries against.
    void SetVolume(IVolumeIO* volume, uint32_t bytesPerSector, uint64_t totalSectors);

    /// One sector X of the volume, `sector` holding its bytesPerSector bytes.
    void ScanSector(ScanStats* stats, int64_t x, ByteView sector);
    void End(IProgress_Server& progress);

    std::vector<FatCandidate>& Candidates() { return m_Candidates; }
    const std::vector<FatCandidate>& Candidates() const { return m_Candidates; }
    std::vector<FatDirSector>& DirSectors() { return m_DirSectors; }
    const std::vector<FatDirSector>& DirSectors() const { return m_DirSectors; }

    /// Adds the valid entries of a folder (`entries` 32-byte slots at most) to candidate `index`.
    void CountEntries(ScanStats* stats, size_t index, ByteView folder, uint64_t entries);

private:
    bool TryBootSector(ScanStats* stats, int64_t x, ByteView sector);
    void AddBootCandidate(ScanStats* stats, const FatCandidate& c);
    void ReadRootFolder(ScanStats* stats, size_t index);
    bool TryFolderStart(int64_t x, ByteView sector);
    bool IsInferred(const FatCandidate& c) const;
    /// The first candidate with this data start and cluster size, or -1.
    int64_t FindCandidate(int64_t dataStart, uint32_t sectorsPerCluster);

    IVolumeIO* m_pVolume = nullptr;
    uint32_t m_dwBytesPerSector = 0;
    uint64_t m_u64TotalSectors = 0;
    FatEntryLimits m_Limits;
    std::vector<FatCandidate> m_Candidates;
    std::vector<FatDirSector> m_DirSectors;
    std::vector<uint32_t> m_MatchList;
    int64_t m_s64LastFolderStart = -1;
    // (data start, cluster size) -> first candidate index, for candidates [0, m_Indexed). A
    // volume full of old folders creates many candidates; a linear search per folder start
    // would make the scan quadratic in them.
    std::unordered_map<uint64_t, std::vector<uint32_t>> m_ByDataStart;
    size_t m_Indexed = 0;
};
