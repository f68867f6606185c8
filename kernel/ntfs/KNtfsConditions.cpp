#include "ntfs/KNtfsConditions.h"

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

} // namespace

void KNtfsConditions::Begin(uint64_t clusters)
{
    m_Map.Clear();
    m_bOwn = true;
    m_Live.clear();
    m_Deleted.clear();
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
    const NtfsAttribute data = streamData ? *streamData : FindUnnamedData(record);
    if (!data || FindAttribute(record, kNtfsAttrAttributeList, 0))
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
        NoteDeleted(runs, node);
    else
        NoteLive(runs, node);
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

void KNtfsConditions::NoteDeleted(const StreamVector& runs, tagNtfsFileNode* node)
{
    if (m_Runs.size() + runs.size() > VlmLimits::kMaxDeferredConditionRuns) return; // stays unknown
    const auto file = static_cast<uint32_t>(m_Deleted.size());
    m_Deleted.push_back(node);
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
    for (size_t i = 0; i < m_Deleted.size(); ++i) m_Deleted[i]->byCondition = verdict[i];
}
