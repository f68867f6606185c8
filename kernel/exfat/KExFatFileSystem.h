#pragma once
// The exFAT scanner. Listing reads the volume's own boot region (the backup one when the main
// one is damaged), FAT, allocation bitmap and folders from the root down, present and deleted
// entry sets alike. A full scan (KExFatSectorScan) recognises boot regions and folder clusters
// anywhere on the volume; a candidate is rebuilt from the folder clusters it recorded.
#include <cstdint>
#include <string>
#include <vector>

#include "exfat/KExFatFileNode.h"
#include "exfat/KExFatSectorScan.h"
#include "format/exfat/ExFatBootSector.h"
#include "format/exfat/ExFatChain.h"
#include "format/exfat/ExFatEntrySet.h"
#include "format/exfat/ExFatUpcase.h"
#include "fs/KCandidateFileSystem.h"
#include "fs/KClusterBitmap.h"

class IVolumeIO;

// Where a file system lies on the volume: its boot sector's geometry, its first volume sector
// and how many volume sectors make one of its own (a volume of 4096-byte sectors seen through
// 512-byte ones).
struct ExFatPlacement
{
    ExFatBoot Boot;
    int64_t Base = 0;
    uint32_t Scale = 1;

    bool Valid() const { return Boot.ClusterCount != 0; }
    uint32_t SectorsPerCluster() const { return Boot.SectorsPerCluster * Scale; }
    int64_t ClusterSector(uint32_t cluster) const
    {
        return Base + static_cast<int64_t>(Boot.ClusterSector(cluster)) * Scale;
    }
};

class KExFatFileSystem final : public KCandidateFileSystem
{
public:
    KExFatFileSystem();
    ~KExFatFileSystem() override;

    int LoadFrom(IStorageManager* in) override;
    int SaveTo(IStorageManager* out) override;
    uint32_t BuildTree(KNodeTree* tree) override;
    IOutStream* OpenStream(const tagFileNode* record) override;

    // Inspection for the application and tests.
    KExFatFileNode& Store() { return m_Store; }
    const ExFatPlacement& Placement() const { return m_Place; }
    const std::vector<ExFatCandidate>& Candidates() const { return m_Scan.Candidates(); }
    /// The label of the listed volume (UTF-8), "" without one.
    const std::string& Label() const { return m_strLabel; }
    /// Which boot region the listing believed: 0 main, 1 backup, -1 none yet.
    int BootRegionUsed() const { return m_nBootRegion; }
    /// Sets of the last listing whose name hash does not match their name upcased through the
    /// volume's table (listed all the same: their checksum holds).
    uint32_t HashMismatches() const { return m_dwHashMismatches; }
    bool UpcaseLoaded() const { return m_Upcase.Loaded(); }

private:
    // The scan protocol's format part (KExFatFileSystem.cpp).
    const KFileNode& Records() const override { return m_Store; }
    void AttachScan() override;
    void ResetScan() override;
    void ScanSector(ScanStats* stats, int64_t sector, ByteView bytes) override;
    void EndScan() override { m_Scan.End(); }
    size_t CandidateCount() const override { return m_Scan.Candidates().size(); }
    FileSystemCandidate CandidateHead(size_t index) const override { return m_Scan.Candidates()[index].Head; }
    void ClearSelection() override;

    // Listing (KExFatListing.cpp).
    uint32_t ReadVolume() override;
    uint32_t RebuildCandidate(uint32_t index) override;
    bool LoadFat();
    void LoadRootMetadata(const std::vector<uint8_t>& root);
    bool CreateRootRecords(const std::string& rootName);
    /// The folder's bytes: contiguous clusters, or its chain as far as it holds.
    std::vector<uint8_t> ReadFolder(uint32_t firstCluster, bool contiguous, uint64_t length);
    /// Lists the sets of one folder under `parentId`; pushes its subfolders to `pending`.
    struct PendingFolder
    {
        uint32_t Id;
        uint32_t FirstCluster;
        uint8_t Flags;
        uint64_t Length;
        bool Deleted;
    };
    void ListFolder(ByteView entries, uint32_t parentId, bool parentDeleted, std::vector<PendingFolder>* pending);
    tagExFatFileNode* AddSet(const ExFatEntrySet& set, uint32_t selfId, uint32_t parentId, bool deleted);
    uint8_t JudgeCondition(const tagExFatFileNode* record) const;

    // Data (KExFatFileSystem.cpp).
    /// The runs a copy of the record reads: its clusters up to the valid length, holes after.
    bool FileRuns(const tagFileNode* record, StreamVector* blocks) const override;
    std::vector<ExFatRun> DataClusters(uint32_t first, bool contiguous, uint64_t clusters, bool* guessed) const;
    /// No two deleted files that read the same clusters are called intact (after a listing).
    void MarkOverlappingDeletedFiles();

    KExFatFileNode m_Store;
    KExFatSectorScan m_Scan;
    ExFatPlacement m_Place;
    std::vector<uint8_t> m_Fat;
    KClusterBitmap m_Bitmap;
    std::string m_strLabel;
    int m_nBootRegion = -1;
    uint32_t m_dwNextId = 2;
    ExFatUpcase m_Upcase;
    uint32_t m_dwHashMismatches = 0;
};
