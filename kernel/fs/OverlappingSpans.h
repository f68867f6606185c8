#pragma once
// Deleted files whose data is read from free clusters: when two of them read the same free
// cluster, one was written over the other after it was deleted, and the allocation maps do
// not tell which. Neither copy can be called intact.
#include <cstdint>
#include <vector>

#include "fs/tagFileNode.h"

struct ClusterSpan
{
    uint64_t First = 0; // first cluster read
    uint64_t End = 0;   // the cluster after the last one read (the span may have gaps)
    tagFileNode* Record = nullptr;
};

/// Sets every record of `spans` that overlaps another from intact to unknown (other
/// conditions stay). Sorts `spans`.
void MarkOverlappingSpans(std::vector<ClusterSpan>& spans);
