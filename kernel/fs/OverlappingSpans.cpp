#include "fs/OverlappingSpans.h"

#include <algorithm>

namespace {

void Demote(tagFileNode* r)
{
    if (r->byCondition == FN_COND_INTACT) r->byCondition = FN_COND_UNKNOWN;
}

} // namespace

// Sorted by first cluster, a span overlaps an earlier one exactly when it starts before the
// furthest end so far, and the span that reaches furthest overlaps it too. Every overlapping
// pair is caught: an earlier span that the furthest one does not cover was caught in its own
// turn, when it started inside the furthest one.
void MarkOverlappingSpans(std::vector<ClusterSpan>& spans)
{
    std::sort(spans.begin(), spans.end(), [](const ClusterSpan& a, const ClusterSpan& b) {
        return a.First < b.First || (a.First == b.First && a.End < b.End);
    });
    uint64_t furthest = 0;
    tagFileNode* owner = nullptr;
    for (const ClusterSpan& s : spans)
    {
        if (owner && s.First < furthest)
        {
            Demote(s.Record);
            Demote(owner);
        }
        if (s.End > furthest)
        {
            furthest = s.End;
            owner = s.Record;
        }
    }
}
