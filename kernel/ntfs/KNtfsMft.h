#pragma once
// The geometry and MFT of the NTFS file system that is open on a volume: the boot-sector
// rules, the location of the MFT's runs, record number <-> sector, and the reading of FILE
// records through a small read-ahead window. The window belongs to this object (never shared
// between file systems) and is emptied whenever the open file system changes or a read fails.
#include <cstdint>
#include <vector>

#include "base/ByteView.h"
#include "format/ntfs/NtfsBootSector.h"
#include "fs/IOutStream.h"

class IVolumeIO;

// Geometry of the open file system.
struct NtfsGeometry
{
    uint32_t BytesPerSector = 512;
    int64_t VolumeTotalSector = 0; // total sectors of the volume (geometry query)
    uint32_t SectorsPerCluster = 1;
    uint32_t SectorsPerFileRecord = 2;
    uint32_t SectorsPerIndexRecord = 0;
    int64_t VolumeStart = 0; // sector of cluster 0 within the volume
    StreamVector MftRuns;    // in sectors, in MFT order
};

// The MFT is one stream over its runs; record n starts n records into it. With clusters smaller
// than a record a run can end inside a record, which then goes on at the start of the next run.
// Pure; the full scan uses them with the runs of its candidates.
inline constexpr int kMftMaxRecordPieces = static_cast<int>(kNtfsMaxRecordSectors); // a piece per sector at most
struct MftRecordPiece
{
    int64_t Sector;
    uint32_t Count;
};
// The sectors of `record`, in order: 0 when the runs do not map it whole. A record inside a hole
// after the first run is looked for behind the previous run, as if the MFT went on there.
int MftRecordPieces(const StreamVector& runs, uint32_t sectorsPerRecord, uint32_t record, MftRecordPiece* pieces);
// The record's first sector, or -1.
int64_t MftRecordToSector(const StreamVector& runs, uint32_t sectorsPerRecord, uint32_t record);
uint32_t MftRecordCount(const StreamVector& runs, uint32_t sectorsPerRecord);
// The first record after the run that holds `record` (the record count past the last run);
// `hole` tells whether that run is a hole. A walk over the records skips a hole, and the rest
// of a run whose record lies past the end of the volume, in one step.
uint32_t MftRunEndRecord(const StreamVector& runs, uint32_t sectorsPerRecord, uint32_t record, bool* hole);
// True when every run of a stored MFT is one a scan could have produced: a hole, or a start
// at or after sector 0 whose end does not overflow.
bool MftRunsArePlausible(const StreamVector& runs);

inline constexpr uint32_t kNtfsWindowBytes = 64512; // read-ahead: 63 records of 1024 bytes

class KNtfsMft
{
public:
    /// Keeps the volume (not owned); bytes per sector 512 and the total sectors from the
    /// geometry query when it succeeds.
    void SetVolume(IVolumeIO* volume);
    IVolumeIO* GetVolume() const { return m_pVolume; }
    NtfsGeometry& Geometry() { return m_Geometry; }
    const NtfsGeometry& Geometry() const { return m_Geometry; }

    /// The normal open's boot-sector check: fills the geometry and the MFT runs. 0 or 87.
    uint32_t ParseBootSector(ByteView sector);
    /// Reads the $MFT record at `sector` and decodes the MFT's runs from it.
    bool GetMFTRange(int64_t sector, StreamVector* runs);

    /// Reads record `n` into `out` (RecordBytes() long). 0, 87 without volume, 1627 beyond
    /// the MFT runs, or the volume's read result. A record inside a hole reads as zeros.
    uint32_t ReadFileRecord(uint32_t n, uint8_t* out);
    /// Reads the record that starts at a volume sector, bypassing the window; a record that a
    /// run of the open MFT ends inside goes on at the start of the next run.
    uint32_t ReadRecordAt(int64_t sector, uint8_t* out);
    /// Reads record `n` as `runs` map it (the open MFT's runs, or a candidate's).
    uint32_t ReadRecordIn(const StreamVector& runs, uint32_t n, uint8_t* out);
    int64_t RecordToSector(uint32_t n) const;
    uint32_t GetRecordCount() const;
    uint32_t RunEndRecord(uint32_t n, bool* hole) const;
    uint32_t RecordBytes() const { return m_Geometry.SectorsPerFileRecord * m_Geometry.BytesPerSector; }

    /// Decodes a runlist with the open file system's cluster size and start.
    bool DecodeRunList(ByteView mappingPairs, StreamVector* runs) const;

    void ClearWindow()
    {
        m_dwWindowFirst = 0;
        m_dwWindowCount = 0;
    }
    uint32_t WindowFirst() const { return m_dwWindowFirst; }
    uint32_t WindowCount() const { return m_dwWindowCount; }

private:
    uint32_t ReadPieces(const MftRecordPiece* pieces, int count, uint8_t* out);

    IVolumeIO* m_pVolume = nullptr;
    NtfsGeometry m_Geometry;
    uint32_t m_dwWindowFirst = 0;
    uint32_t m_dwWindowCount = 0; // 0 = empty
    std::vector<uint8_t> m_Window;
};
