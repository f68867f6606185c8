#include "ntfs/NtfsRegroup.h"

#include <algorithm>

#include "base/VlmTrace.h"

namespace {

bool Known(const NtfsScanRecord& r) { return r.u64Self != kNtfsUnknownNumber; }

// Distance in sectors from a to b (b at or after a), or -1 when b lies before a.
int64_t Ahead(const NtfsScanRecord& a, const NtfsScanRecord& b)
{
    return b.s64Sector >= a.s64Sector ? b.s64Sector - a.s64Sector : -1;
}

// Pass 1 for a record far from its reference: the next numbered record within reach names
// the records back to this one when its sector distance matches its list distance.
int NumberBackFromNext(std::vector<NtfsScanRecord>& records, const std::vector<size_t>& loose, size_t p)
{
    int count = 0;
    const NtfsScanRecord& r = records[loose[p]];
    for (size_t k = 1; k <= kNtfsRegroupLookAhead && p + k < loose.size(); ++k)
    {
        const NtfsScanRecord& f = records[loose[p + k]];
        if (!Known(f)) continue;
        const int64_t distance = Ahead(r, f);
        if (distance < 0 || static_cast<uint64_t>(distance / 2) != k) return 0;
        for (size_t j = p + k; j-- > p;)
        {
            NtfsScanRecord& q = records[loose[j]];
            const int64_t dq = Ahead(q, f);
            const uint64_t back = static_cast<uint64_t>(dq / 2);
            if (dq < 0 || dq % 2 != 0 || f.u64Self < back) break;
            q.u64Self = f.u64Self - back;
            ++count;
        }
        return count;
    }
    return 0;
}

int NumberForward(std::vector<NtfsScanRecord>& records, const std::vector<size_t>& loose)
{
    int count = 0;
    const NtfsScanRecord* ref = nullptr;
    for (size_t p = 0; p < loose.size(); ++p)
    {
        NtfsScanRecord& r = records[loose[p]];
        if (Known(r))
        {
            ref = &r;
            continue;
        }
        const int64_t d = ref ? Ahead(*ref, r) : -1;
        if (d >= 0 && d <= kNtfsRegroupReach)
        {
            if (d % 2 == 0)
            {
                r.u64Self = ref->u64Self + static_cast<uint64_t>(d / 2);
                ref = &r;
                ++count;
            }
            continue;
        }
        count += NumberBackFromNext(records, loose, p);
        ref = Known(r) ? &r : nullptr;
    }
    return count;
}

// Pass 2: a number that follows neither from its sector nor from its predecessor, while the
// records after it do follow the predecessor, was wrong; renumber the stretch in order.
void MendSequence(std::vector<NtfsScanRecord>& records, const std::vector<size_t>& loose)
{
    const NtfsScanRecord* ref = nullptr;
    for (size_t p = 0; p < loose.size(); ++p)
    {
        NtfsScanRecord& r = records[loose[p]];
        if (!ref)
        {
            if (Known(r)) ref = &r;
            continue;
        }
        const int64_t d = Ahead(*ref, r);
        const uint64_t bySector = ref->u64Self + static_cast<uint64_t>(d < 0 ? 0 : d / 2);
        if (r.u64Self != bySector && r.u64Self != ref->u64Self + 1)
        {
            for (size_t k = 1; k <= kNtfsRegroupLookAhead && p + k < loose.size(); ++k)
            {
                const NtfsScanRecord& f = records[loose[p + k]];
                if (Known(r) && f.u64Self == r.u64Self + k) continue;
                if (f.u64Self == ref->u64Self + k + 1)
                {
                    const uint64_t base = ref->u64Self;
                    for (size_t j = 0; j < k; ++j) records[loose[p + j]].u64Self = base + 1 + j;
                    break;
                }
            }
        }
        ref = Known(r) ? &r : nullptr;
    }
}

void Count(const NtfsScanRecord& r, uint32_t spc, uint32_t b, NtfsCandidate* c)
{
    if (r.IsDirectory())
        ++c->Head.dwFolderMatch;
    else
        ++c->Head.dwFilesMatch;
    c->s64HighestCluster =
        std::max<int64_t>(c->s64HighestCluster, static_cast<int64_t>(ScanRecordEndCluster(r, spc, b)));
}

void AppendSectors(StreamVector* runs, int64_t first, uint64_t sectors)
{
    constexpr uint64_t kPiece = 0x80000000u;
    while (sectors > 0)
    {
        const uint64_t n = std::min(sectors, kPiece);
        runs->push_back({first, static_cast<uint32_t>(n), 0});
        sectors -= n;
    }
}

} // namespace

uint64_t ScanRecordEndCluster(const NtfsScanRecord& r, uint32_t spc, uint32_t b)
{
    const uint64_t cluster = static_cast<uint64_t>(spc) * b;
    return cluster == 0 ? r.dwFirstDataCluster : r.dwFirstDataCluster + (r.u64Size + cluster - 1) / cluster;
}

int RegroupFileRecords(std::vector<NtfsScanRecord>& records, const std::vector<size_t>& loose)
{
    const int count = NumberForward(records, loose);
    MendSequence(records, loose);
    VlmTrace("Regroup FileRecord: %d", count);
    return count;
}

bool BuildCandidateFromRecords(const std::vector<NtfsScanRecord>& records, const std::vector<size_t>& loose, size_t dir,
                               int64_t start, uint32_t spc, uint32_t b, NtfsCandidate* c)
{
    if (spc < 1 || dir >= loose.size()) return false;
    const NtfsScanRecord& d = records[loose[dir]];
    size_t first = dir, last = dir;
    for (size_t j = dir; j-- > 0;)
    {
        const NtfsScanRecord& r = records[loose[j]];
        const int64_t distance = Ahead(r, d);
        if (r.s64Sector < start || distance < 0 || !Known(r) ||
            r.u64Self != d.u64Self - static_cast<uint64_t>(distance / 2))
            break;
        first = j;
    }
    for (size_t j = dir + 1; j < loose.size(); ++j)
    {
        const NtfsScanRecord& r = records[loose[j]];
        if (r.s64Sector < start) continue;
        const int64_t distance = Ahead(d, r);
        if (distance < 0 || !Known(r) || r.u64Self != d.u64Self + static_cast<uint64_t>(distance / 2)) break;
        last = j;
    }
    if (first == last) return false;
    const NtfsScanRecord& head = records[loose[first]];
    // A number that large is no MFT of this world; its leading hole could not be counted.
    if (head.u64Self > 0xFFFFFFFFull) return false;
    *c = NtfsCandidate{};
    c->Head.s64FirstSector = start;
    c->Head.wSectorsPerCluster = static_cast<uint16_t>(spc);
    c->wSectorsPerFileRecord = kNtfsLooseRecordSectors;
    c->wSectorsPerIndexRecord = 8;
    AppendSectors(&c->MftRuns, STREAM_HOLE_SECTOR, head.u64Self * kNtfsLooseRecordSectors);
    const NtfsScanRecord* previous = nullptr;
    for (size_t j = first; j <= last; ++j)
    {
        const NtfsScanRecord& r = records[loose[j]];
        if (r.s64Sector < start) continue;
        Count(r, spc, b, c);
        StreamVector& runs = c->MftRuns;
        if (!runs.empty() && runs.back().s64FirstSector != STREAM_HOLE_SECTOR &&
            r.s64Sector == runs.back().s64FirstSector + runs.back().dwSectorCount &&
            runs.back().dwSectorCount <= 0xFFFFFFFFu - kNtfsLooseRecordSectors)
            runs.back().dwSectorCount += kNtfsLooseRecordSectors;
        else
        {
            if (previous && r.u64Self > previous->u64Self + 1)
                AppendSectors(&runs, STREAM_HOLE_SECTOR, (r.u64Self - previous->u64Self - 1) * kNtfsLooseRecordSectors);
            runs.push_back({r.s64Sector, kNtfsLooseRecordSectors, 0});
        }
        previous = &r;
    }
    return true;
}
