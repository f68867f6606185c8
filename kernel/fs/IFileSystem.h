#pragma once
// The common interface of every scanner (FAT, NTFS, deep scan) and its scan protocol.
//
/// One pass feeds the same stream of sectors to every file system of the pass:
///   SetVolume -> Begin_ScanFS -> ScanFS (any number of chunks) -> End_ScanFS,
/// after which candidates can be listed and selected, the tree built, streams opened and files
/// copied out. Begin_ScanFS may be called at any time to drop all results. LoadFrom replaces
/// the whole state with a finished stored one; SetVolume must be called again after it.
/// Results are system error codes (base/VlmErrors.h) unless stated otherwise; nothing is
/// thrown. Progress and cancel go through the attached IProgress_Client (see IProgress.h).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "fs/IDataStorage.h"
#include "fs/IOutStream.h"
#include "fs/KRawSupport.h"
#include "fs/tagFileNode.h"

class IVolumeIO;
class KNodeTree;

// Counters of one scan pass, zeroed by the driver; each file system increments only its own.
struct ScanStats
{
    uint32_t dwFatBootRecords;  // "FAT DBR:"
    uint32_t dwFatFolders;      // "FAT Folders:"
    uint32_t dwFatPartFolders;  // "Part of FAT Folders:"
    uint32_t dwFatFiles;        // "FAT Files:"
    uint32_t dwNtfsBootRecords; // "NTFS $BOOT:"
    uint32_t dwNtfsFiles;       // "NTFS Files:"
    uint32_t dwRawFiles;        // "Files Found:" (deep scan)
    uint32_t dwUnused;
};
static_assert(sizeof(ScanStats) == 32);

#pragma pack(push, 1)
// The first 165 bytes of every scanner's record of a recognised file system; GetCandidate
// copies exactly these and the application reads only them.
struct FileSystemCandidate
{
    uint16_t wLength;            // 0   length of the scanner's full record (165 for the deep scan)
    uint32_t dwType;             // 2   1 FAT12, 6 FAT16, 11 FAT32, 7 NTFS, 0 deep scan
    uint16_t wSectorsPerCluster; // 6
    int64_t s64FirstSector;      // 8   within the volume
    int64_t s64SectorCount;      // 16
    char szLabel[128];           // 24  zero-terminated
    uint32_t dwFilesMatch;       // 152 files whose structures matched
    uint32_t dwFolderMatch;      // 156 folders whose structures matched
    uint32_t dwScore;            // 160 rank in the partition list
    uint8_t byExtra;             // 164 scanner-specific (NTFS: 1 when found from a boot record)
};
#pragma pack(pop)
static_assert(sizeof(FileSystemCandidate) == 165);
static_assert(offsetof(FileSystemCandidate, dwType) == 2);
static_assert(offsetof(FileSystemCandidate, wSectorsPerCluster) == 6);
static_assert(offsetof(FileSystemCandidate, s64FirstSector) == 8);
static_assert(offsetof(FileSystemCandidate, s64SectorCount) == 16);
static_assert(offsetof(FileSystemCandidate, szLabel) == 24);
static_assert(offsetof(FileSystemCandidate, dwFilesMatch) == 152);
static_assert(offsetof(FileSystemCandidate, dwFolderMatch) == 156);
static_assert(offsetof(FileSystemCandidate, dwScore) == 160);
static_assert(offsetof(FileSystemCandidate, byExtra) == 164);

/// SelectCandidate index for the file system that starts at the beginning of the volume.
inline constexpr uint32_t FS_CANDIDATE_VOLUME = 0xFFFFFFFF;

class IFileSystem : public IDataStorage, public KRawSupport
{
public:
    ~IFileSystem() override = default;
    /// Remembers the volume (not owned).
    virtual void SetVolume(IVolumeIO* volume) = 0;
    virtual IVolumeIO* GetVolume() = 0;
    /// Stores both numbers; GetSectorInfo returns the first and writes the second.
    virtual void SetSectorInfo(uint32_t value, uint32_t bytesPerSector) = 0;
    virtual uint32_t GetSectorInfo(uint32_t* bytesPerSector) = 0;
    /// Drops everything found so far. 0, or 16 without a volume (or sector size).
    virtual uint32_t Begin_ScanFS() = 0;
    /// Examines `sectorCount` consecutive sectors starting at volume sector `firstSector`,
    /// back to back in `buffer`. 0, or 17 without a volume or sector size.
    virtual uint32_t ScanFS(ScanStats* stats, int64_t firstSector, const uint8_t* buffer, int sectorCount) = 0;
    /// ScanFS over a buffer that stays as it is for as long as `keep` is held: a scanner that
    /// works on the sectors after returning (the deep scan's workers) holds `keep` instead of
    /// copying them. Of the buffers it has not yet handed to work that ends by itself, it holds
    /// at most the last two (the caller may be waiting for the one before to come back).
    /// Scanners that finish with the buffer before returning just scan it.
    virtual uint32_t ScanSharedFS(ScanStats* stats, int64_t firstSector, const uint8_t* buffer, int sectorCount,
                                  const std::shared_ptr<const void>& keep)
    {
        (void)keep;
        return ScanFS(stats, firstSector, buffer, sectorCount);
    }
    /// Resolves what the scan collected. 0.
    virtual uint32_t End_ScanFS() = 0;
    /// Writes the number of recognised file systems; returns 1 (see the deep scan for 0).
    virtual int GetCandidateCount(uint32_t* count) = 0;
    /// Copies the first 165 bytes of candidate `index`; 0 when out of range or `out` is null.
    virtual int GetCandidate(int index, FileSystemCandidate* out) = 0;
    /// Makes a candidate (or FS_CANDIDATE_VOLUME) the one whose files are listed.
    virtual uint32_t SelectCandidate(uint32_t index) = 0;
    /// Builds the tree of the selected candidate.
    virtual uint32_t BuildTree(KNodeTree* tree) = 0;
    /// Copies one file record's data to a new file at `path`. 0, 80 when it exists, 1223 when
    /// cancelled, or another system error code. A file's data is copied by CopyFileOut
    /// (fs/CopyFileOut.h): a file of at most kCopyWholeBytes is read whole before its file is
    /// made, and a copy that fails or is cancelled leaves nothing at `path`. An encrypted NTFS
    /// file is written in its backup format by its own writer instead.
    virtual uint32_t SaveFile(const tagFileNode* record, const std::string& path) = 0;
    /// A new stream over the record's data (owned by the caller), or null.
    virtual IOutStream* OpenStream(const tagFileNode* record) = 0;
    /// The volume sectors a copy of the record reads, as runs (holes as in streams; data kept
    /// inside a file-system structure is given as that structure's sectors). Also answers for
    /// files no stream opens (compressed, encrypted). False when the record is no file of this
    /// file system, has no data or its structures cannot be read.
    virtual bool GetDataRuns(const tagFileNode* record, StreamVector* runs) = 0;
};
