#pragma once
// The end of the NTFS full scan: a candidate whose MFT is continued in place by records that
// carry the numbers following it (what a quick format leaves behind its new, small MFT) gets
// a copy whose MFT runs over them. The FILE records met by the scan are counted into the
// candidates whose MFT holds them; the others (loose records) are numbered and matched with
// directory index entries, and a lost file system is inferred from a loose directory whose
// first index record was found: the index record lies at the directory's first index cluster,
// which places cluster 0. Then the candidates are ordered, sized and the empty ones dropped.
#include <cstdint>
#include <vector>

#include "ntfs/NtfsCandidate.h"
#include "format/ntfs/NtfsScanRecord.h"

// Where a new candidate's sector count is taken from the next candidate above it: only when
// that one lies at least this far away (1 GiB of 512-byte sectors).
inline constexpr int64_t kNtfsMinCandidateGap = 0x200000;

// Same runs, one by one (first sector and count).
bool SameRuns(const StreamVector& a, const StreamVector& b);

// Resolves the scan's lists into `candidates` (file records in sector order; the from-index
// list is sorted here). `totalSectors` is the scanned volume's size.
void ResolveNtfsCandidates(std::vector<NtfsScanRecord>& fileRecords, std::vector<NtfsScanRecord>& fromIndex,
                           std::vector<NtfsCandidate>& candidates, uint32_t bytesPerSector, int64_t totalSectors);

// Orders candidates with more directories first, then more files, by the exchange of every
// later candidate that beats the one at a position.
void OrderNtfsCandidates(std::vector<NtfsCandidate>& candidates);
