#pragma once
// Reading and writing the pieces of the NTFS scanner's saved state: run lists and candidates,
// little-endian and packed, through the storage manager.
#include "base/ResourceLimits.h"
#include "fs/IOutStream.h"
#include "ntfs/NtfsCandidate.h"

class IStorageManager;

// Counts read back are capped: a stored list longer than these is refused as damaged.
inline constexpr uint32_t kNtfsMaxStoredRuns = VlmLimits::kMaxStoredRuns;
inline constexpr uint32_t kNtfsMaxStoredCandidates = VlmLimits::kMaxStoredCandidates;

bool SaveRuns(IStorageManager* out, const StreamVector& runs);
bool LoadRuns(IStorageManager* in, StreamVector* runs);
bool SaveNtfsCandidate(IStorageManager* out, const NtfsCandidate& c);
bool LoadNtfsCandidate(IStorageManager* in, NtfsCandidate* c);
