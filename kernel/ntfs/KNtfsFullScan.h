#pragma once
// The NTFS side of a full scan: every sector of the volume is looked at once for an NTFS boot
// sector, a FILE record and a directory index record. Boot sectors become candidates at once;
// a $MFT or $MFTMirr record outside every known MFT rebuilds a candidate of its own; every
// other FILE record and every index entry is kept as a fixed-size scan record for the end of
// the scan (NtfsCandidateSearch). A record that starts in one buffer and ends in the next is
// completed in a carry buffer.
#include <cstdint>
#include <string>
#include <vector>

#include "base/ByteView.h"
#include "fs/IFileSystem.h"
#include "ntfs/KNtfsMft.h"
#include "ntfs/NtfsCandidate.h"
#include "ntfs/NtfsRunSet.h"
#include "format/ntfs/NtfsScanRecord.h"

class KNtfsFullScan
{
public:
    /// `mft` gives the volume and its geometry; found candidates are appended to `candidates`.
    KNtfsFullScan(KNtfsMft& mft, std::vector<NtfsCandidate>& candidates) : m_Mft(mft), m_Candidates(candidates) {}

    /// Empties both scan-record lists and the carry buffer.
    void Begin();
    /// Examines the whole sectors of `sectors`, which start at volume sector `first`. Buffers
    /// must come in increasing sector order; a gap (a chunk that failed to read) drops a
    /// pending carry. Always 0.
    uint32_t Scan(ScanStats* stats, int64_t first, ByteView sectors);
    /// Resolves what was collected into the candidate list and empties the lists.
    uint32_t End();

    /// The boot-sector test of the scan: fills `out` with a candidate placed at `sector`, its
    /// MFT runs read from the MFT or, failing that, from the mirror.
    bool IsNtfsBootSector(int64_t sector, ByteView bytes, NtfsCandidate* out);
    /// A repaired FILE record found at `sector`.
    void OnFileRecordFound(int64_t sector, ByteView record);
    /// A repaired index record found at `sector`.
    void OnIndexRecordFound(int64_t sector, ByteView record);

    const std::vector<NtfsScanRecord>& FileRecords() const { return m_FileRecords; }
    const std::vector<NtfsScanRecord>& FromIndex() const { return m_FromIndex; }

private:
    enum class CarryKind
    {
        None,
        File,
        Index
    };

    // `rest` is the caller's buffer from the record's first sector on.
    void FeedCarry(ByteView sector);
    void StartCarry(CarryKind kind, int64_t sector, uint32_t size, ByteView rest);
    void TakeFileRecord(int64_t sector, ByteView rest, ScanStats* stats);
    void TakeIndexRecord(int64_t sector, ByteView rest);
    void AddBootCandidate(int64_t sector, ByteView bytes, ScanStats* stats);
    bool InKnownMft(int64_t sector);
    void RebuildFromMetaRecord(int64_t sector, ByteView record, bool mirror);
    bool HoldsMetaPair(int64_t sector, uint32_t spr);
    bool ReadMetaRecord(int64_t sector, uint32_t spr, const char* name, uint64_t* firstCluster);
    void SetLabel(NtfsCandidate* c, int64_t mftSector, int64_t mirrorSector);

    KNtfsMft& m_Mft;
    std::vector<NtfsCandidate>& m_Candidates;
    KNtfsMft m_Work;                 // geometry of the candidate being examined
    std::vector<NtfsRunSet> m_Known; // MFT sectors of each candidate, by position
    std::vector<NtfsScanRecord> m_FileRecords;
    std::vector<NtfsScanRecord> m_FromIndex;
    std::vector<uint8_t> m_Record; // a record copied out of the caller's buffer
    std::vector<uint8_t> m_Carry;
    uint32_t m_dwCarryHeld = 0;
    CarryKind m_CarryKind = CarryKind::None;
    int64_t m_s64CarryStart = 0;
    int64_t m_s64NextSector = -1; // sector expected at the start of the next buffer
};
