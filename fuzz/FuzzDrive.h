#pragma once
// The sequences the harnesses share: a full-scan pass over a whole volume, and the work that
// follows a selection (tree building, a bounded walk of the tree, reading files back).
#include <cstdint>
#include <functional>

class IFileSystem;
class IVolumeIO;

// Sectors handed to ScanFS per call. Smaller than the application's chunk so that records
// straddling two buffers occur in small inputs.
inline constexpr uint32_t kFuzzScanChunk = 16;
// Files read back per listing and bytes read from each.
inline constexpr int kFuzzStreamsPerListing = 24;
inline constexpr int64_t kFuzzStreamBytes = 1 << 20;

// SetVolume, 512-byte sectors, Begin_ScanFS, every sector in chunks, End_ScanFS.
void FuzzScanPass(IFileSystem& fs, IVolumeIO& volume);
// BuildTree, then every node of the tree visited once (bounded) and the data of the first
// kFuzzStreamsPerListing files read through their streams.
void FuzzExerciseListing(IFileSystem& fs);

// Candidates selected after a full-scan pass; each selection is listed.
inline constexpr uint32_t kFuzzCandidatesSelected = 8;
// Reads every candidate, selects the first kFuzzCandidatesSelected and runs `list` after each
// selection that succeeds.
void FuzzListCandidates(IFileSystem& fs, const std::function<void()>& list);
