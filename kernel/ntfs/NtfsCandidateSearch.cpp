#include "ntfs/NtfsCandidateSearch.h"

#include <algorithm>
#include <numeric>

#include "base/VlmTrace.h"
#include "ntfs/NtfsRegroup.h"
#include "format/ntfs/NtfsRunList.h"
#include "ntfs/NtfsRunSet.h"

namespace {

constexpr uint32_t kScoreFile = 1;
constexpr uint32_t kScoreDirectory = 10;

void TraceCounts(const char* format, size_t a, size_t b)
{
    VlmTrace(format, static_cast<unsigned long>(a), static_cast<unsigned long>(b));
}

// Counts every record into the candidates whose MFT holds it; the others are loose, and the
// index entry equal to a loose record (if any) is remembered and lends it its number.
void CountRecords(std::vector<NtfsScanRecord>& records, const std::vector<NtfsScanRecord>& fromIndex,
                  std::vector<NtfsCandidate>& candidates, uint32_t b, std::vector<size_t>* loose,
                  std::vector<size_t>* matched)
{
    std::vector<NtfsRunSet> sets;
    sets.reserve(candidates.size());
    for (const NtfsCandidate& c : candidates) sets.emplace_back(c.MftRuns);
    for (size_t i = 0; i < records.size(); ++i)
    {
        NtfsScanRecord& r = records[i];
        bool held = false;
        for (size_t k = 0; k < candidates.size(); ++k)
        {
            if (!sets[k].Contains(r.s64Sector)) continue;
            held = true;
            NtfsCandidate& c = candidates[k];
            if (r.IsDirectory())
            {
                ++c.Head.dwFolderMatch;
                c.Head.dwScore += kScoreDirectory;
            }
            else
            {
                ++c.Head.dwFilesMatch;
                c.Head.dwScore += kScoreFile;
            }
            const int64_t end = static_cast<int64_t>(ScanRecordEndCluster(r, c.Head.wSectorsPerCluster, b));
            c.s64HighestCluster = std::max(c.s64HighestCluster, end);
        }
        if (held) continue;
        loose->push_back(i);
        auto it = std::lower_bound(fromIndex.begin(), fromIndex.end(), r, ScanRecordLess);
        if (it == fromIndex.end() || CompareScanRecords(*it, r) != 0) continue;
        if (r.u64Self == kNtfsUnknownNumber) r.u64Self = it->u64Self;
        matched->push_back(static_cast<size_t>(it - fromIndex.begin()));
    }
}

int64_t SectorsUpToNext(const std::vector<NtfsCandidate>& candidates, int64_t start, int64_t total)
{
    int64_t next = -1;
    for (const NtfsCandidate& c : candidates)
        if (c.Head.s64FirstSector > start && (next < 0 || c.Head.s64FirstSector < next)) next = c.Head.s64FirstSector;
    if (next < 0 || next - start < kNtfsMinCandidateGap) return total - start;
    return next - start;
}

struct Inference
{
    std::vector<NtfsCandidate> candidates;
    std::vector<NtfsRunSet> sets;

    bool Holds(int64_t sector) const
    {
        return std::any_of(sets.begin(), sets.end(), [&](const NtfsRunSet& s) { return s.Contains(sector); });
    }
    bool Has(const NtfsCandidate& n) const
    {
        return std::any_of(candidates.begin(), candidates.end(), [&](const NtfsCandidate& c) {
            return c.Head.s64FirstSector == n.Head.s64FirstSector && c.Head.s64SectorCount == n.Head.s64SectorCount &&
                SameRuns(c.MftRuns, n.MftRuns);
        });
    }
};

// A loose directory whose own number and first index cluster are known: an entry of its
// first index record (VCN 0) lies at that cluster, which places the file system's cluster 0.
void InferFromDirectory(const std::vector<NtfsScanRecord>& records, const std::vector<NtfsScanRecord>& fromIndex,
                        const std::vector<size_t>& loose, const std::vector<size_t>& matched, size_t p,
                        const std::vector<NtfsCandidate>& known, uint32_t b, int64_t total, Inference* out)
{
    const NtfsScanRecord& d = records[loose[p]];
    auto it = std::lower_bound(matched.begin(), matched.end(), d.u64Self, [&](size_t m, uint64_t number) {
        return static_cast<int64_t>(fromIndex[m].u64Parent) < static_cast<int64_t>(number);
    });
    int64_t triedStart = -1;
    uint32_t triedSpc = 0;
    for (; it != matched.end() && fromIndex[*it].u64Parent == d.u64Self; ++it)
    {
        const NtfsScanRecord& e = fromIndex[*it];
        if (e.dwIndexPosition != 0) continue;
        if ((e.dwClusterEstimate == 0 && d.dwClusterEstimate == 0) ||
            (e.dwClusterEstimate != 0 && d.dwClusterEstimate != 0 && e.dwClusterEstimate != d.dwClusterEstimate))
            continue;
        const uint32_t spc = e.dwClusterEstimate != 0 ? e.dwClusterEstimate : d.dwClusterEstimate;
        const int64_t start = e.s64Sector - static_cast<int64_t>(d.dwIndexPosition) * spc;
        if (start < 0 || start > d.s64Sector) continue;
        // Every entry of that index record gives the same place: build it once.
        if (start == triedStart && spc == triedSpc) continue;
        triedStart = start;
        triedSpc = spc;
        NtfsCandidate c;
        if (!BuildCandidateFromRecords(records, loose, p, start, spc, b, &c)) return;
        c.Head.wLength = kNtfsCandidateLength;
        c.Head.dwType = 7;
        c.Head.s64SectorCount = SectorsUpToNext(known, start, total);
        c.Head.dwScore = kScoreDirectory * c.Head.dwFolderMatch + kScoreFile * c.Head.dwFilesMatch;
        if (out->Has(c)) continue;
        out->sets.emplace_back(c.MftRuns);
        out->candidates.push_back(std::move(c));
    }
}

// The loose records that continue the MFT of `c` in place: the first lies at or behind the
// end of its last run, and each one's own number is the count of records the MFT holds plus
// its distance from that end in records. Records too far apart (a gap wider than the regroup
// reach) or numbered otherwise end the stretch. Returns the end sector of the stretch, or the
// MFT's end when nothing continues it.
int64_t ContinuedMftEnd(const std::vector<NtfsScanRecord>& records, const NtfsCandidate& c)
{
    const uint32_t spr = c.wSectorsPerFileRecord;
    const tagStreamBlock& last = c.MftRuns.back();
    const int64_t end = last.s64FirstSector + static_cast<int64_t>(last.dwSectorCount);
    const uint64_t held = RunSectorTotal(c.MftRuns) / spr;
    std::vector<const NtfsScanRecord*> behind;
    for (const NtfsScanRecord& r : records)
        if (r.s64Sector >= end && r.u64Self != kNtfsUnknownNumber) behind.push_back(&r);
    std::sort(behind.begin(), behind.end(),
              [](const NtfsScanRecord* a, const NtfsScanRecord* b) { return a->s64Sector < b->s64Sector; });
    int64_t reach = end;
    for (const NtfsScanRecord* r : behind)
    {
        const int64_t distance = r->s64Sector - end;
        if (r->s64Sector - reach > kNtfsRegroupReach || distance % spr != 0 ||
            r->u64Self != held + static_cast<uint64_t>(distance / spr))
            break;
        reach = r->s64Sector + spr;
    }
    return reach;
}

// A quick format writes a new, small MFT where the old one lay, with the same record size,
// and leaves the old records behind it in place. For every candidate whose MFT such records
// continue, a copy whose MFT runs over them is added: it lists the old files beside the new
// ones. The original candidate stays as it was.
void AddContinuedMfts(const std::vector<NtfsScanRecord>& records, std::vector<NtfsCandidate>& candidates)
{
    const size_t known = candidates.size();
    for (size_t k = 0; k < known; ++k)
    {
        const NtfsCandidate& c = candidates[k];
        if (c.MftRuns.empty() || c.wSectorsPerFileRecord == 0 || IsHoleRun(c.MftRuns.back())) continue;
        const tagStreamBlock& last = c.MftRuns.back();
        const int64_t end = last.s64FirstSector + static_cast<int64_t>(last.dwSectorCount);
        const int64_t reach = ContinuedMftEnd(records, c);
        if (reach == end) continue;
        NtfsCandidate x = c;
        x.MftRuns.push_back({end, 0, 0});
        // Runs are counted in 32 bits: a stretch that long is split.
        for (uint64_t left = static_cast<uint64_t>(reach - end); left > 0;)
        {
            tagStreamBlock& tail = x.MftRuns.back();
            const uint64_t n = std::min<uint64_t>(left, 0x80000000u - tail.dwSectorCount);
            tail.dwSectorCount += static_cast<uint32_t>(n);
            left -= n;
            if (left > 0) x.MftRuns.push_back({tail.s64FirstSector + tail.dwSectorCount, 0, 0});
        }
        const bool twin = std::any_of(candidates.begin(), candidates.end(), [&](const NtfsCandidate& o) {
            return o.Head.s64FirstSector == x.Head.s64FirstSector && SameRuns(o.MftRuns, x.MftRuns);
        });
        if (!twin) candidates.push_back(std::move(x));
    }
}

void FitSizes(std::vector<NtfsCandidate>& candidates, int64_t total)
{
    for (size_t i = candidates.size(); i-- > 0;)
    {
        FileSystemCandidate& h = candidates[i].Head;
        // Compared as room left behind the first sector: a boot sector may claim any size.
        const int64_t room = total - h.s64FirstSector;
        const int64_t used = candidates[i].s64HighestCluster * h.wSectorsPerCluster;
        if (h.s64SectorCount > room || h.s64SectorCount == 0)
        {
            if (used == 0 || used > room)
                h.s64SectorCount = total - h.s64FirstSector;
            else
                h.s64SectorCount = used;
        }
    }
}

} // namespace

bool SameRuns(const StreamVector& a, const StreamVector& b)
{
    return a.size() == b.size() &&
        std::equal(a.begin(), a.end(), b.begin(), [](const tagStreamBlock& x, const tagStreamBlock& y) {
               return x.s64FirstSector == y.s64FirstSector && x.dwSectorCount == y.dwSectorCount;
           });
}

void OrderNtfsCandidates(std::vector<NtfsCandidate>& candidates)
{
    // The exchanges are made on positions, then the candidates are moved once.
    std::vector<size_t> order(candidates.size());
    std::iota(order.begin(), order.end(), 0);
    auto beats = [&](size_t j, size_t i) {
        const FileSystemCandidate& a = candidates[j].Head;
        const FileSystemCandidate& b = candidates[i].Head;
        return a.dwFolderMatch > b.dwFolderMatch ||
            (a.dwFolderMatch == b.dwFolderMatch && a.dwFilesMatch > b.dwFilesMatch);
    };
    for (size_t i = 0; i < order.size(); ++i)
        for (size_t j = i + 1; j < order.size(); ++j)
            if (beats(order[j], order[i])) std::swap(order[i], order[j]);
    std::vector<NtfsCandidate> sorted;
    sorted.reserve(candidates.size());
    for (size_t k : order) sorted.push_back(std::move(candidates[k]));
    candidates.swap(sorted);
}

void ResolveNtfsCandidates(std::vector<NtfsScanRecord>& records, std::vector<NtfsScanRecord>& fromIndex,
                           std::vector<NtfsCandidate>& candidates, uint32_t b, int64_t total)
{
    static constexpr const char* kCounts = "NtfsFileRecord Count:%lu\nNtfsFileRecordFromIndex Count:%lu\n";
    TraceCounts(kCounts, records.size(), fromIndex.size());
    VlmTrace("Begin-KNtfsFileSystem::End_ScanFS\n");
    for (NtfsCandidate& c : candidates)
        if (c.wSectorsPerFileRecord == 0) c.wSectorsPerFileRecord = 8;
    std::sort(fromIndex.begin(), fromIndex.end(), ScanRecordLess);

    AddContinuedMfts(records, candidates);
    std::vector<size_t> loose, matched;
    CountRecords(records, fromIndex, candidates, b, &loose, &matched);
    TraceCounts(kCounts, records.size(), fromIndex.size());
    TraceCounts("NtfsFileRecord Index Count:%lu\nNtfsFileRecordFromIndex Index Count:%lu\n", loose.size(),
                matched.size());
    RegroupFileRecords(records, loose);

    // In from-index order, so that the entries of one parent lie together.
    std::sort(matched.begin(), matched.end());
    matched.erase(std::unique(matched.begin(), matched.end()), matched.end());
    Inference inferred;
    for (size_t p = 0; p < loose.size(); ++p)
    {
        const NtfsScanRecord& d = records[loose[p]];
        if (!d.IsDirectory() || d.u64Self == kNtfsUnknownNumber || d.dwIndexPosition == kNtfsNoIndexPosition ||
            inferred.Holds(d.s64Sector))
            continue;
        InferFromDirectory(records, fromIndex, loose, matched, p, candidates, b, total, &inferred);
    }
    for (NtfsCandidate& c : inferred.candidates) candidates.push_back(std::move(c));

    OrderNtfsCandidates(candidates);
    FitSizes(candidates, total);
    candidates.erase(
        std::remove_if(candidates.begin(), candidates.end(),
                       [](const NtfsCandidate& c) { return c.Head.dwFilesMatch == 0 && c.Head.dwFolderMatch == 0; }),
        candidates.end());
}
