#pragma once
// The scan protocol of a file system that a full scan finds as candidates, sector by sector,
// and that lists either the volume's own file system or one rebuilt from a candidate (FAT,
// exFAT). This class keeps the volume and its geometry, feeds the scan pass to the format's
// sector scanner, hands out candidates, runs a selection and copies files out; the format
// supplies its scanner, its candidates, its listing and rebuild, and the runs of a file.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/ByteView.h"
#include "fs/IFileSystem.h"

class KFileNode;

class KCandidateFileSystem : public IFileSystem
{
public:
    /// Takes the volume's sector size and count from its geometry (0 when it has none).
    void SetVolume(IVolumeIO* volume) final;
    IVolumeIO* GetVolume() final { return m_pVolume; }
    void SetSectorInfo(uint32_t value, uint32_t bytesPerSector) final;
    uint32_t GetSectorInfo(uint32_t* bytesPerSector) final;
    uint32_t Begin_ScanFS() final;
    uint32_t ScanFS(ScanStats* stats, int64_t firstSector, const uint8_t* buffer, int sectorCount) final;
    uint32_t End_ScanFS() final;
    int GetCandidateCount(uint32_t* count) final;
    int GetCandidate(int index, FileSystemCandidate* out) final;
    /// Clears the last selection, then lists the volume's own file system or rebuilds
    /// candidate `index`.
    uint32_t SelectCandidate(uint32_t index) final;
    uint32_t SaveFile(const tagFileNode* record, const std::string& path) final;
    bool GetDataRuns(const tagFileNode* record, StreamVector* runs) final;

protected:
    // --- What the format supplies ---
    /// The record store of the listing.
    virtual const KFileNode& Records() const = 0;
    /// Hands the sector scanner the current volume, sector size and sector count.
    virtual void AttachScan() = 0;
    /// Drops the scan's findings and the listing (Begin_ScanFS).
    virtual void ResetScan() = 0;
    virtual void ScanSector(ScanStats* stats, int64_t sector, ByteView bytes) = 0;
    /// Drops weak candidates and ranks the rest (End_ScanFS).
    virtual void EndScan() = 0;
    virtual size_t CandidateCount() const = 0;
    /// The common head of candidate `index` (< CandidateCount()).
    virtual FileSystemCandidate CandidateHead(size_t index) const = 0;
    /// Forgets the selected file system's layout before another is selected.
    virtual void ClearSelection() = 0;
    virtual uint32_t ReadVolume() = 0;
    virtual uint32_t RebuildCandidate(uint32_t index) = 0;
    /// The runs a copy of the record (one of Records()) reads; false when it has none.
    virtual bool FileRuns(const tagFileNode* record, StreamVector* runs) const = 0;

    /// Forgets the volume (a stored state is loaded without one).
    void DetachVolume();

    IVolumeIO* m_pVolume = nullptr;
    uint32_t m_dwSectorInfo = 0;
    uint32_t m_dwBytesPerSector = 0;
    int64_t m_s64TotalSectors = 0;
};
