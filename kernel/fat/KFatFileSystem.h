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
#include "fs/IFileSystem.h"

class IVolumeIO;

class KFatFileSystem final : public IFileSystem
{
public:
    KFatFileSystem();
    ~KFatFileSystem() override;

    int LoadFrom(IStorageManager* in) override;
    int SaveTo(IStorageManager* out) override;
    void SetVolume(IVolumeIO* volume) override;
    IVolumeIO* GetVolume() override { return m_pVolume; }
    void SetSectorInfo(uint32_t value, uint32_t bytesPerSector) override;
    uint32_t GetSectorInfo(uint32_t* bytesPerSector) override;
    uint32_t Begin_ScanFS() override;
    uint32_t ScanFS(ScanStats* stats, int64_t firstSector, const uint8_t* buffer, int sectorCount) override;
    uint32_t End_ScanFS() override;
    int GetCandidateCount(uint32_t* count) override;
    int GetCandidate(int index, FileSystemCandidate* out) override;
    uint32_t SelectCandidate(uint32_t index) override;
    /// Builds the tree; the first build after a listing also sets every file's condition.
    uint32_t BuildTree(KNodeTree* tree) override;
    uint32_t SaveFile(const tagFileNode* record, const std::string& path) override;
    IOutStream* OpenStream(const tagFileNode* record) override;
    bool GetDataRuns(const tagFileNode* record, StreamVector* runs) override;

    // Inspection for the application and tests.
    KFatFileNode& Store() { return m_Store; }
    const FatGeometry& Geometry() const { return m_Geometry; }
    const KFatTable& Table() const { return m_Table; }
    const std::vector<FatCandidate>& Candidates() const { return m_Scan.Candidates(); }
    const std::vector<FatDirSector>& DirSectors() const { return m_Scan.DirSectors(); }

    /// Sets the geometry (from a candidate or the boot sector) before LoadFat.
    /// Loads and checks the table of the current geometry (first copy, else the second).
    void LoadFat();
    void ResetGeometry();
    /// Records 0 (the volume root) and 1 ("Lost Files"). False when the store is full.
    bool CreateRootRecords(bool useVolumeName, int64_t sectors);

private:
    uint32_t ReadVolume();
    uint32_t RebuildCandidate(uint32_t index);
    bool TryFatCopy(int64_t start, int64_t mirror);
    /// The runs a copy of the record reads; false for a first cluster outside the table.
    bool FileRuns(const tagFileNode* record, StreamVector* runs) const;
    struct FatReadContext ReadContext();

    IVolumeIO* m_pVolume = nullptr;
    uint32_t m_dwSectorInfo = 0;
    uint32_t m_dwBytesPerSector = 0;
    KFatFileNode m_Store;
    KFatSectorScan m_Scan;
    int32_t m_nSelected = -1;
    FatGeometry m_Geometry;
    KFatTable m_Table;
    KFatEntryParser m_Parser;
    int64_t m_s64TotalSectors = 0;
    // Set by a listing, cleared by the tree build that judges the files' conditions from the
    // table: a tree rebuilt from a stored result keeps the conditions stored with it.
    bool m_bJudgeConditions = false;
};
