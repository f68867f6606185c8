#pragma once
// The exFAT side of a full scan. Every sector passes once: a boot sector makes a candidate
// (placed where its root folder is found, so a backup boot sector whose main one is gone
// still places the file system right), and a sector holding at least one entry set with a
// sound checksum is recorded as folder data, from which a candidate's tree is rebuilt.
#include <cstdint>
#include <string>
#include <vector>

#include "base/ByteView.h"
#include "fs/IFileSystem.h"

class IVolumeIO;
struct ExFatBoot;

#pragma pack(push, 1)
// A recognised exFAT file system, as kept in scan results. The head is what every scanner
// shares; the geometry follows as the boot sector gave it.
struct ExFatCandidate
{
    FileSystemCandidate Head;    // s64FirstSector: the boot sector; dwType: FS_TYPE_EXFAT
    uint64_t VolumeLength;       // 165 sectors of the file system's own size
    uint32_t FatOffset;          // 173
    uint32_t FatLength;          // 177
    uint32_t HeapOffset;         // 181
    uint32_t ClusterCount;       // 185
    uint32_t RootCluster;        // 189
    uint32_t Serial;             // 193
    uint16_t VolumeFlags;        // 197
    uint8_t BytesPerSectorShift; // 199
    uint8_t ClusterShift;        // 200
    uint8_t NumberOfFats;        // 201
    uint8_t FromBackup;          // 202 1 only the backup boot sector was found, 2 inferred
                                 //     from folder data (no boot region, no FAT)
};
#pragma pack(pop)
static_assert(sizeof(ExFatCandidate) == 203);

/// A candidate from a boot sector's geometry at volume sector `first` (volume sectors of
/// `volumeBytesPerSector`).
ExFatCandidate MakeExFatCandidate(const ExFatBoot& boot, int64_t first, uint32_t volumeBytesPerSector);
/// The boot sector's geometry back from a candidate; false when it does not hold together.
bool ExFatCandidateBoot(const ExFatCandidate& c, ExFatBoot* boot);

class KExFatSectorScan
{
public:
    /// Sectors recorded as folder data at most (8 bytes each); later ones are dropped.
    static constexpr size_t kMaxDirSectors = size_t{1} << 24;
    /// Boot sectors remembered (main and backup of every file system that was ever there).
    static constexpr size_t kMaxBootHits = 4096;
    /// Folder sets (their first clusters) and folder starts the geometry of a file system
    /// without a boot region is inferred from: each pair is one vote.
    static constexpr size_t kMaxInferenceFolders = 32;
    static constexpr size_t kMaxInferenceStarts = 2048;

    void Reset();
    void SetVolume(IVolumeIO* volume, uint32_t bytesPerSector, uint64_t totalSectors);
    void ScanSector(ScanStats* stats, int64_t x, ByteView sector);
    /// Places and ranks the candidates; counts the folder sectors each one holds.
    void End();

    std::vector<ExFatCandidate>& Candidates() { return m_Candidates; }
    const std::vector<ExFatCandidate>& Candidates() const { return m_Candidates; }
    std::vector<int64_t>& DirSectors() { return m_DirSectors; }
    const std::vector<int64_t>& DirSectors() const { return m_DirSectors; }

private:
    /// True when the root folder of `boot` placed at `first` begins with the volume's
    /// metadata entries (bitmap, upcase table, label); `label` (when given) gets the label.
    bool RootFits(const ExFatBoot& boot, int64_t first, std::string* label = nullptr) const;
    /// A candidate whose boot region is gone: the cluster size and heap start on which the
    /// most folders' first clusters land on a sector where folder data begins.
    void InferCandidate();

    IVolumeIO* m_pVolume = nullptr;
    uint32_t m_dwBytesPerSector = 0;
    uint64_t m_u64TotalSectors = 0;
    std::vector<std::pair<int64_t, ExFatBoot>> m_BootHits;
    std::vector<ExFatCandidate> m_Candidates;
    std::vector<int64_t> m_DirSectors;
    std::vector<uint32_t> m_FolderClusters;
};
