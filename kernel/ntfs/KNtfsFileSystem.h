#pragma once
// The NTFS scanner. The normal listing reads the boot sector at sector 0, finds the MFT and
// turns every FILE record from number 12 on, deleted ones included, into a node record; the
// full scan (KNtfsFullScan) finds candidate file systems anywhere on the volume, and a
// candidate is listed the same way from its own MFT runs. The tree is
// built with the common builder; files are read through streams over their data runs, and
// compressed or encrypted files are copied out by KNtfsFileExport.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "base/ByteView.h"
#include "fs/IFileSystem.h"
#include "ntfs/KNtfsFileNode.h"
#include "ntfs/KNtfsFullScan.h"
#include "ntfs/KNtfsMft.h"
#include "ntfs/NtfsCandidate.h"
#include "ntfs/NtfsNamedStreams.h"

class KNtfsConditions;

class KNtfsFileSystem final : public IFileSystem
{
public:
    KNtfsFileSystem() = default;
    KNtfsFileSystem(const KNtfsFileSystem&) = delete;
    KNtfsFileSystem& operator=(const KNtfsFileSystem&) = delete;
    ~KNtfsFileSystem() override = default;

    int LoadFrom(IStorageManager* in) override;
    int SaveTo(IStorageManager* out) override;
    void SetVolume(IVolumeIO* volume) override;
    IVolumeIO* GetVolume() override { return m_Mft.GetVolume(); }
    void SetSectorInfo(uint32_t value, uint32_t bytesPerSector) override;
    uint32_t GetSectorInfo(uint32_t* bytesPerSector) override;
    uint32_t Begin_ScanFS() override;
    uint32_t ScanFS(ScanStats* stats, int64_t firstSector, const uint8_t* buffer, int sectorCount) override;
    uint32_t End_ScanFS() override;
    int GetCandidateCount(uint32_t* count) override;
    int GetCandidate(int index, FileSystemCandidate* out) override;
    uint32_t SelectCandidate(uint32_t index) override;
    uint32_t BuildTree(KNodeTree* tree) override;
    uint32_t SaveFile(const tagFileNode* record, const std::string& path) override;
    IOutStream* OpenStream(const tagFileNode* record) override;
    bool GetDataRuns(const tagFileNode* record, StreamVector* runs) override;

    /// A stream over one attribute's value (resident or not), named "NTFS_ATTRIBUTE".
    IOutStream* OpenAttributeStream(const NtfsAttribute& attribute);
    /// Where the named stream of a stream node lies, from its record (read, checked): the
    /// stream is the one whose name follows the record's file name in the node's name.
    NtfsStreamFound FindStream(const tagNtfsFileNode* node, ByteView record, NtfsStreamData* out);
    /// Record 0 (the volume root) and record 1 ("Lost Files") of the store.
    bool CreateRootNodes(bool useVolumeName, int64_t sectors);

    /// Candidates found by a full scan (appended by the scan; also restored by LoadFrom).
    void AddCandidate(const NtfsCandidate& candidate) { m_Candidates.push_back(candidate); }
    KNtfsMft& Mft() { return m_Mft; }
    KNtfsFileNode& Nodes() { return m_Nodes; }
    KNtfsFullScan& FullScan() { return m_Scan; }

private:
    enum class DataPlace
    {
        Runs,       // the runs hold it (none for a file without data runs)
        Resident,   // the value lies in the record
        Refused,    // the record or an extension failed its check, or streams cannot read it
        Unreadable, // the record could not be read
    };
    DataPlace LocateData(const tagNtfsFileNode* node, bool streamable, std::vector<uint8_t>* record, StreamVector* runs,
                         ByteView* resident);
    uint32_t ListMft(bool normal, int64_t sectors);
    /// Adds a node "<name>:<stream>" beside `file` for each named stream of its record; false
    /// when memory is exhausted.
    bool ListNamedStreams(ByteView record, const tagNtfsFileNode& file, const std::string& name,
                          KNtfsConditions& conditions);
    /// Adds a node for each other name of `file` (hard links), remembered in `links` with the
    /// file whose condition they share; false when memory is exhausted.
    bool ListHardLinks(ByteView record, const tagNtfsFileNode* file, const std::string& name,
                       std::vector<std::pair<tagNtfsFileNode*, const tagNtfsFileNode*>>* links);
    uint32_t NormalListing();
    const tagNtfsFileNode* OwnNode(const tagFileNode* record) const;
    void Reset();

    KNtfsMft m_Mft;
    uint32_t m_dwSectorInfo = 0;
    KNtfsFileNode m_Nodes;
    int64_t m_s64SectorCount = 0;
    std::vector<NtfsCandidate> m_Candidates;
    KNtfsFullScan m_Scan{m_Mft, m_Candidates};
};
