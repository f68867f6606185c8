#pragma once
// Loose FILE records (met by the full scan outside every known MFT) and what can be rebuilt
// from them: their record numbers, where the numbers are missing, and the MFT of a lost file
// system from a run of records whose numbers agree with their positions. Both assume records
// of 1024 bytes (2 sectors) stored in number order. Pure functions over the scan records.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "ntfs/NtfsCandidate.h"
#include "format/ntfs/NtfsScanRecord.h"

inline constexpr int64_t kNtfsRegroupReach = 20480; // sectors a number is carried forward
inline constexpr size_t kNtfsRegroupLookAhead = 99; // records looked at ahead of a gap
inline constexpr uint32_t kNtfsLooseRecordSectors = 2;

// Gives numbers to loose records (`loose` holds positions in `records`, in sector order) from
// their numbered neighbours, then mends numbers that break a sequence. Returns how many were
// numbered by the first pass and writes the trace line "Regroup FileRecord: %d".
int RegroupFileRecords(std::vector<NtfsScanRecord>& records, const std::vector<size_t>& loose);

// Builds in `c` the MFT of a lost file system from the loose records around the directory at
// loose position `dir` whose numbers agree with 2 sectors per record, none before `start`:
// first sector, cluster size, record sizes, highest cluster, files and directories counted
// and the MFT runs (holes where numbers are missing). False for spc 0 or a run of the
// directory alone.
bool BuildCandidateFromRecords(const std::vector<NtfsScanRecord>& records, const std::vector<size_t>& loose, size_t dir,
                               int64_t start, uint32_t spc, uint32_t bytesPerSector, NtfsCandidate* c);

// The end cluster of a record's data: first cluster + its size in clusters.
uint64_t ScanRecordEndCluster(const NtfsScanRecord& r, uint32_t spc, uint32_t bytesPerSector);
