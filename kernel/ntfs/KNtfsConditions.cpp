#include "ntfs/KNtfsConditions.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <new>
#include <string>

#include "base/ResourceLimits.h"
#include "base/VlmErrors.h"
#include "ntfs/KNtfsMft.h"
#include "ntfs/NtfsFileRecordParser.h"
#include "format/ntfs/NtfsLayout.h"
#include "format/ntfs/NtfsRecord.h"
#include "format/ntfs/NtfsRunList.h"

namespace {

// The cluster runs of a non-resident attribute's runlist (holes included).
bool ClusterRuns(ByteView pairs, StreamVector* runs) { return DecodeRunList(pairs, 1, 0, runs); }

// The MFT change time of $STANDARD_INFORMATION: when the record last changed; 0 unknown.
uint64_t ChangeTime(ByteView record)
{
    uint64_t changed = 0;
    ByteView si;
    if (ResidentValue(FindAttribute(record, kNtfsAttrStandardInformation, 0), &si))
        LoadU64LE(si, offsetof(tagNtfsStandardInformation, MftChangeTime), changed);
    return changed;
}

} // namespace

// The cluster runs of every extent of the unnamed $DATA named by the record's attribute list.
// False when an extent cannot be read, or its record now belongs to another file.
bool KNtfsConditions::ListedDataRuns(ByteView record, uint32_t self, StreamVector* runs)
{
    bool whole = true;
    uint64_t nextVcn = 0;
    std::vector<uint8_t> extension;
    const bool listed = WalkAttributeList(m_Mft, record, [&](const tagNtfsAttributeListEntry& e) {
        if (e.Type != kNtfsAttrData || e.NameLength != 0) return true;
        tagNtfsFileRecordHeader header;
        tagNtfsNonResidentAttribute nr;
        ByteView pairs;
        NtfsAttribute data;
        StreamVector extent;
        whole = ReadExtensionRecord(m_Mft, e.RecordLow, &extension) == NtfsExtension::Ok &&
            LoadFileRecordHeader(extension, &header) &&
            (e.RecordLow == self || (header.BaseRecord & 0xFFFFFFFFFFFFull) == self) &&
            (data = FindDataExtent(extension, e.FirstVcn)) && NonResidentHeader(data, &nr, &pairs) &&
            nr.MappingPairsOffset != 0 && nr.FirstVcn == nextVcn && ClusterRuns(pairs, &extent);
        if (!whole) return false;
        nextVcn = nr.LastVcn + 1;
        runs->insert(runs->end(), extent.begin(), extent.end());
        return true;
    });
    return listed && whole;
}

void KNtfsConditions::Begin(uint64_t clusters)
{
    m_Map.Clear();
    m_bOwn = true;
    m_Live.clear();
    m_Deleted.clear();
    m_Changed.clear();
    m_Incomplete.clear();
    m_Runs.clear();
    try
    {
        m_bBitmap = ReadBitmap(clusters);
    }
    catch (const std::bad_alloc&)
    {
        m_bBitmap = false;
    }
    if (!m_bBitmap) m_Map.Reset(clusters); // clusters claimed by live records; empty when too large
}

// $Bitmap is record 6 of the MFT; the record must be in use and carry that name, so that a
// damaged or foreign MFT does not hand over some other file's data as the allocation map.
bool KNtfsConditions::ReadBitmap(uint64_t clusters)
{
    const uint32_t size = m_Mft.RecordBytes();
    const uint64_t bytes = (clusters + 7) / 8;
    if (size == 0 || clusters == 0 || bytes > VlmLimits::kMaxClusterBitmapBytes) return false;
    std::vector<uint8_t> record(size);
    if (m_Mft.ReadFileRecord(kNtfsBitmapRecord, record.data()) != ERROR_SUCCESS || !CheckFileRecord(record, false))
        return false;
    tagNtfsFileRecordHeader header;
    if (!LoadFileRecordHeader(record, &header) || !(header.Flags & kNtfsRecordInUse)) return false;
    const auto fn = ChooseFileName(record);
    if (!fn || fn->Name() != "$Bitmap") return false;
    const NtfsAttribute data = FindUnnamedData(record);
    if (!data) return false;
    std::vector<uint8_t> bits;
    if (ByteView value; ResidentValue(data, &value))
        bits.assign(value.begin(),
                    value.begin() + static_cast<std::ptrdiff_t>(std::min<uint64_t>(value.size(), bytes)));
    else
    {
        // A bitmap sector that cannot be read would call its clusters free: such a map is
        // no judge of whether a deleted file was overwritten.
        uint64_t unreadable = 0;
        if (!ReadNonResidentValue(m_Mft, data, bytes, &bits, &unreadable) || unreadable > 0) return false;
    }
    return m_Map.Assign(std::move(bits), clusters);
}

void KNtfsConditions::Note(ByteView record, tagNtfsFileNode* node, const NtfsAttribute* streamData)
{
    if (record.empty() || !node || !IsFileRecord(node)) return;
    if (node->s64Size <= 0)
    {
        node->byCondition = FN_COND_INTACT; // nothing to read
        return;
    }
    const bool deleted = (node->byKind & FN_KIND_DELETED) != 0;
    if (FindAttribute(record, kNtfsAttrAttributeList, 0))
    {
        StreamVector runs;
        if (streamData || !ListedDataRuns(record, node->dwSelfId, &runs))
        {
            if (!deleted) m_Live.push_back(node);
        }
        else if (deleted)
            NoteDeleted(runs, node, ChangeTime(record), Incomplete(runs, node));
        else
            NoteLive(runs, node);
        return;
    }
    const NtfsAttribute data = streamData ? *streamData : FindUnnamedData(record);
    if (!data)
    {
        if (!deleted) m_Live.push_back(node);
        return;
    }
    tagNtfsNonResidentAttribute header;
    ByteView pairs;
    if (!NonResidentHeader(data, &header, &pairs))
    {
        node->byCondition = FN_COND_INTACT; // the data lies in the record itself
        return;
    }
    StreamVector runs;
    if (header.MappingPairsOffset == 0 || !ClusterRuns(pairs, &runs))
    {
        if (!deleted) m_Live.push_back(node);
        return;
    }
    if (deleted)
        NoteDeleted(runs, node, ChangeTime(record), Incomplete(runs, node));
    else
        NoteLive(runs, node);
}

// Runs that end before the data does: the record that mapped the rest is gone (a deleting
// driver may take extents out of the attribute list and its records).
bool KNtfsConditions::Incomplete(const StreamVector& runs, const tagNtfsFileNode* node) const
{
    uint64_t clusters = 0;
    for (const tagStreamBlock& run : runs) clusters += run.dwSectorCount;
    const NtfsGeometry& g = m_Mft.Geometry();
    const uint64_t clusterBytes = uint64_t{g.SectorsPerCluster} * g.BytesPerSector;
    return clusterBytes != 0 && clusters < (static_cast<uint64_t>(node->s64Size) + clusterBytes - 1) / clusterBytes;
}

void KNtfsConditions::NoteLive(const StreamVector& runs, tagNtfsFileNode* node)
{
    m_Live.push_back(node);
    for (const tagStreamBlock& run : runs)
    {
        if (IsHoleRun(run)) continue;
        const auto first = static_cast<uint64_t>(run.s64FirstSector);
        if (!m_bBitmap)
            m_Map.SetRange(first, run.dwSectorCount);
        else if (m_bOwn && !m_Map.AllSet(first, run.dwSectorCount))
            m_bOwn = false;
    }
}

void KNtfsConditions::NoteDeleted(const StreamVector& runs, tagNtfsFileNode* node, uint64_t changed, bool incomplete)
{
    if (m_Runs.size() + runs.size() > VlmLimits::kMaxDeferredConditionRuns) return; // stays unknown
    const auto file = static_cast<uint32_t>(m_Deleted.size());
    m_Deleted.push_back(node);
    m_Changed.push_back(changed);
    m_Incomplete.push_back(incomplete);
    for (const tagStreamBlock& run : runs)
        if (!IsHoleRun(run)) m_Runs.push_back({file, run.dwSectorCount, run.s64FirstSector});
}

void KNtfsConditions::Finish()
{
    if (m_bBitmap && !m_bOwn) return; // $Bitmap is not these files' own: every file with runs stays unknown
    if (m_bBitmap)
        for (tagNtfsFileNode* node : m_Live) node->byCondition = FN_COND_INTACT;
    // Without $Bitmap a free cluster tells nothing; only a claimed one does.
    std::vector<uint8_t> verdict(m_Deleted.size(), m_bBitmap ? FN_COND_INTACT : FN_COND_UNKNOWN);
    for (const DeferredRun& run : m_Runs)
    {
        uint8_t& v = verdict[run.nFile];
        const auto first = static_cast<uint64_t>(run.s64First);
        if (m_Map.AnySet(first, run.nCount))
            v = FN_COND_OVERWRITTEN;
        else if (v == FN_COND_INTACT && !m_Map.Covers(first, run.nCount))
            v = FN_COND_UNKNOWN;
    }
    JudgeSharedClusters(&verdict);
    for (size_t i = 0; i < m_Deleted.size(); ++i)
        m_Deleted[i]->byCondition = m_Incomplete[i] ? FN_COND_OVERWRITTEN : verdict[i];
}

void KNtfsConditions::JudgeSharedClusters(std::vector<uint8_t>* verdict) const
{
    // The runs from the latest change to the earliest, each time's group at once: a run that
    // meets clusters a later group took is overwritten; runs of one group that meet each
    // other (of different files) are ties. The clusters taken so far are kept as disjoint
    // [first, end) ranges.
    std::vector<uint32_t> order(m_Runs.size());
    for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        const uint64_t ta = m_Changed[m_Runs[a].nFile], tb = m_Changed[m_Runs[b].nFile];
        return ta != tb ? ta > tb : m_Runs[a].s64First < m_Runs[b].s64First;
    });
    std::map<uint64_t, uint64_t> taken;
    auto meets = [&](uint64_t first, uint64_t end) {
        auto it = taken.upper_bound(first);
        if (it != taken.begin() && std::prev(it)->second > first) return true;
        return it != taken.end() && it->first < end;
    };
    auto take = [&](uint64_t first, uint64_t end) {
        auto it = taken.upper_bound(first);
        if (it != taken.begin() && std::prev(it)->second >= first) first = (--it)->first;
        for (; it != taken.end() && it->first <= end; it = taken.erase(it)) end = std::max(end, it->second);
        taken[first] = end;
    };
    for (size_t g = 0; g < order.size();)
    {
        const uint64_t time = m_Changed[m_Runs[order[g]].nFile];
        size_t e = g;
        while (e < order.size() && m_Changed[m_Runs[order[e]].nFile] == time) ++e;
        uint64_t reach = 0; // end of the group's runs so far (sorted by first cluster)
        uint32_t reacher = 0;
        for (size_t i = g; i < e; ++i)
        {
            const DeferredRun& run = m_Runs[order[i]];
            const auto first = static_cast<uint64_t>(run.s64First);
            const uint64_t end = first + run.nCount;
            uint8_t& v = (*verdict)[run.nFile];
            if (meets(first, end))
                v = FN_COND_OVERWRITTEN;
            else if (i > g && first < reach && reacher != run.nFile)
            {
                if (v == FN_COND_INTACT) v = FN_COND_UNKNOWN;
                uint8_t& other = (*verdict)[reacher];
                if (other == FN_COND_INTACT) other = FN_COND_UNKNOWN;
            }
            if (end > reach) reach = end, reacher = run.nFile;
        }
        for (size_t i = g; i < e; ++i)
        {
            const auto first = static_cast<uint64_t>(m_Runs[order[i]].s64First);
            take(first, first + m_Runs[order[i]].nCount);
        }
        g = e;
    }
}
