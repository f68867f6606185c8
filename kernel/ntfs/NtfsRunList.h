#pragma once
// Runlists ("mapping pairs") of non-resident attributes, and their regrouping into
// compression units. Pure functions over bytes and run vectors.
#include <cstdint>

#include "base/ByteView.h"
#include "fs/IOutStream.h"

// Decodes a runlist into sector runs: every run is {cluster × sectorsPerCluster + volumeStart,
// length × sectorsPerCluster}; a run without offset bytes is a hole (first sector all ones)
// and leaves the running cluster unchanged. The first offset is unsigned, later ones signed.
// The walk ends at a zero header byte or at the end of `mappingPairs`; a run whose fields
// would reach past the end is not taken. A size nibble above 4, or a run that lands before
// cluster 0, fails the whole decode with `runs` empty. With sectorsPerCluster 1 and
// volumeStart 0 the runs are in clusters. Runs longer than a block can count are split.
bool DecodeRunList(ByteView mappingPairs, uint32_t sectorsPerCluster, int64_t volumeStart,
                   StreamVector* runs);

// Rebuilds `runs` so that every data run ends at a boundary of `unitSectors` within the file:
// a data piece shorter than a unit stands for one whole compressed unit, and the hole that
// completed that unit on disk is dropped. The split stops once `maxSectors` sectors (the
// file's size) or VlmLimits::kMaxRunsPerRunList blocks are produced.
void SplitIntoUnits(StreamVector* runs, uint32_t unitSectors, uint64_t maxSectors = UINT64_MAX);

// Sum of the sector counts of the runs.
uint64_t RunSectorTotal(const StreamVector& runs);

inline bool IsHoleRun(const tagStreamBlock& run) { return run.s64FirstSector == STREAM_HOLE_SECTOR; }
