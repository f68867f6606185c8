#pragma once
// The FAT12/16/32 scanner. During a full scan it recognises every FAT file system on the volume
// (KFatSectorScan); when one is selected it reads the volume's own file system the ordinary
// way, or rebuilds a scan candidate from the folder sectors the scan recorded
// (KFatFolderReader), and lists present and deleted files in its record store.
#include <cstdint>
#include <string>
#include <vector>

#include "format/fat/FatGeometry.h"
#include "fat/KFatEntryParser.h"
#include "fat/KFatFileNode.h"
#include "fat/KFatSectorScan.h"
#include "fat/KFatTable.h"
#include "fs/KCandidateFileSystem.h"

class IVolumeIO;

class KFatFileSystem final : public KCandidateFileSystem
{
public:
    KFatFileSystem();
    ~KFatFileSystem() override;

    int LoadFrom(IStorageManager* in) override;
    int SaveTo(IStorageManager* out) override;
    /// Builds the tree; the first build after a listing also sets every file's condition.
    uint32_t BuildTree(KNodeTree* tree) override;
    IOutStream* OpenStream(const tagFileNode* record) override;

    // Inspection for the application and tests.
    KFatFileNode& Store() { return m_Store; }
    const FatGeometry& Geometry() const { return m_Geometry; }
    const KFatTable& Table() const { return m_Table; }
    const std::vector<FatCandidate>& Candidates() const { return m_Scan.Candidates(); }
    const std::vector<FatDirSector>& DirSectors() const { return m_Scan.DirSectors(); }

    /// Loads and checks the table of the current geometry (first copy, else the second).
    void LoadFat();
    void ResetGeometry();
    /// Records 0 (the volume root) and 1 ("Lost Files"). False when the store is full.
    bool CreateRootRecords(bool useVolumeName, int64_t sectors);

private:
    const KFileNode& Records() const override { return m_Store; }
    void AttachScan() override;
    void ResetScan() override;
    void ScanSector(ScanStats* stats, int64_t sector, ByteView bytes) override;
    void EndScan() override;
    size_t CandidateCount() const override { return m_Scan.Candidates().size(); }
    FileSystemCandidate CandidateHead(size_t index) const override;
    void ClearSelection() override;
    uint32_t ReadVolume() override;
    uint32_t RebuildCandidate(uint32_t index) override;
    /// The runs a copy of the record reads; false for a first cluster outside the table.
    bool FileRuns(const tagFileNode* record, StreamVector* runs) const override;
    bool TryFatCopy(int64_t start, int64_t mirror);
    struct FatReadContext ReadContext();

    KFatFileNode m_Store;
    KFatSectorScan m_Scan;
    FatGeometry m_Geometry;
    KFatTable m_Table;
    KFatEntryParser m_Parser;
    // Set by a listing, cleared by the tree build that judges the files' conditions from the
    // table: a tree rebuilt from a stored result keeps the conditions stored with it.
    bool m_bJudgeConditions = false;
};
