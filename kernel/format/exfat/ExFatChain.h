#pragma once
// Cluster chains in the exFAT FAT: entry N (32 bits) names the cluster after N, 0xFFFFFFFF
// ends the chain, 0 marks a free cluster, 0xFFFFFFF7 a bad one. The walk takes untrusted
// tables: it stays inside the table, stops at the wanted length and ends on a chain that
// comes back on itself after listing each of its clusters once.
#include <cstdint>
#include <vector>

#include "base/ByteView.h"

struct ExFatRun
{
    uint32_t FirstCluster;
    uint32_t Count;
};

enum class ExFatChainEnd
{
    Complete, // the wanted clusters were all reached (or the chain ended after them)
    Ended,    // an end mark came before the wanted length
    Broken,   // a free, bad or out-of-range entry came before the wanted length
    Cycle,    // the chain came back to a cluster it had passed
    RunLimit, // more pieces than `maxRuns`
};

/// Follows the chain from `first` through `fat` (the table's bytes; entries past its end read
/// as free) for at most `wanted` clusters of a heap of `clusterCount`, appending its runs
/// (consecutive clusters joined). A first cluster outside the heap gives Broken and no run.
ExFatChainEnd WalkExFatChain(ByteView fat, uint32_t clusterCount, uint32_t first, uint64_t wanted,
                             std::vector<ExFatRun>* runs, uint32_t maxRuns);

/// The table entry of `cluster` (0 when the table does not hold it).
uint32_t ExFatNextCluster(ByteView fat, uint32_t cluster);
