#include "format/exfat/ExFatChain.h"

#include <algorithm>

#include "format/exfat/ExFatLayout.h"

namespace {

bool InHeap(uint32_t cluster, uint32_t clusterCount)
{
    return cluster >= ExFat::kFirstCluster && cluster - ExFat::kFirstCluster < clusterCount;
}

// Steps from `first` until the chain leaves the heap or `limit` steps are taken; when it
// closes a loop first, `*cycleLength` and `*prefix` (steps before the loop) tell where, so the
// chain's distinct clusters are the first prefix + cycleLength. Brent's method: constant
// memory, at most a few times the distinct length in steps.
bool FindCycle(ByteView fat, uint32_t clusterCount, uint32_t first, uint64_t limit, uint64_t* prefix,
               uint64_t* cycleLength)
{
    uint64_t power = 1, lambda = 1;
    uint32_t tortoise = first;
    uint32_t hare = ExFatNextCluster(fat, first);
    uint64_t steps = 1;
    while (tortoise != hare)
    {
        if (!InHeap(hare, clusterCount) || steps > limit) return false;
        if (power == lambda)
        {
            tortoise = hare;
            power *= 2;
            lambda = 0;
        }
        hare = ExFatNextCluster(fat, hare);
        ++lambda;
        ++steps;
    }
    // A loop of length lambda: find where it begins.
    uint32_t a = first, b = first;
    for (uint64_t i = 0; i < lambda; ++i) b = ExFatNextCluster(fat, b);
    uint64_t mu = 0;
    while (a != b)
    {
        a = ExFatNextCluster(fat, a);
        b = ExFatNextCluster(fat, b);
        ++mu;
    }
    *prefix = mu;
    *cycleLength = lambda;
    return true;
}

} // namespace

uint32_t ExFatNextCluster(ByteView fat, uint32_t cluster)
{
    uint32_t next = 0;
    LoadU32LE(fat, size_t{cluster} * 4, next);
    return next;
}

ExFatChainEnd WalkExFatChain(ByteView fat, uint32_t clusterCount, uint32_t first, uint64_t wanted,
                             std::vector<ExFatRun>* runs, uint32_t maxRuns)
{
    if (!InHeap(first, clusterCount)) return ExFatChainEnd::Broken;
    if (wanted == 0) return ExFatChainEnd::Complete;
    // A chain of more clusters than the heap has, or one longer than wanted, is cut anyway;
    // only a loop inside that length needs finding.
    const uint64_t limit = std::min<uint64_t>(wanted, clusterCount);
    uint64_t prefix = 0, cycle = 0;
    uint64_t distinct = limit;
    // Brent's search has found any loop within its first `limit` clusters after 5 × limit steps.
    const bool looped = FindCycle(fat, clusterCount, first, 5 * limit + 5, &prefix, &cycle);
    if (looped) distinct = std::min<uint64_t>(limit, prefix + cycle);
    uint32_t cluster = first;
    for (uint64_t taken = 0;;)
    {
        if (!runs->empty() && runs->back().FirstCluster + runs->back().Count == cluster &&
            runs->back().Count < UINT32_MAX)
            ++runs->back().Count;
        else if (runs->size() >= maxRuns)
            return ExFatChainEnd::RunLimit;
        else
            runs->push_back({cluster, 1});
        if (++taken >= wanted) return ExFatChainEnd::Complete;
        if (taken >= distinct) return looped ? ExFatChainEnd::Cycle : ExFatChainEnd::Broken;
        const uint32_t next = ExFatNextCluster(fat, cluster);
        if (next == ExFat::kClusterEnd) return ExFatChainEnd::Ended;
        if (!InHeap(next, clusterCount)) return ExFatChainEnd::Broken;
        cluster = next;
    }
}
