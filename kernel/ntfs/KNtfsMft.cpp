#include "ntfs/KNtfsMft.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <map>
#include <new>
#include <string>

#include "base/ResourceLimits.h"
#include "base/VlmErrors.h"
#include "base/VlmTrace.h"
#include "ntfs/NtfsFileRecordParser.h"
#include "format/ntfs/NtfsLayout.h"
#include "format/ntfs/NtfsRecord.h"
#include "format/ntfs/NtfsRunList.h"
#include "volume/IVolumeIO.h"

int MftRecordPieces(const StreamVector& runs, uint32_t spr, uint32_t record, MftRecordPiece* pieces)
{
    if (spr == 0 || spr > kMftMaxRecordPieces) return 0;
    // The MFT is one stream over its runs: record n starts n records into it, and with clusters
    // smaller than a record a run may end inside a record, which then goes on in the next run.
    const uint64_t offset = static_cast<uint64_t>(record) * spr;
    uint64_t before = 0;
    for (size_t i = 0; i < runs.size(); ++i)
    {
        const uint64_t count = runs[i].dwSectorCount;
        if (offset >= before + count)
        {
            before += count;
            continue;
        }
        const uint64_t into = offset - before;
        if (IsHoleRun(runs[i]))
        {
            // A hole after the first run: the record is looked for behind the previous run, as
            // if the MFT continued there on disk.
            if (i == 0 || IsHoleRun(runs[i - 1]) || into + spr > count) return 0;
            const tagStreamBlock& previous = runs[i - 1];
            pieces[0] = {previous.s64FirstSector + static_cast<int64_t>(previous.dwSectorCount + into), spr};
            return 1;
        }
        int n = 0;
        uint32_t left = spr;
        for (size_t j = i; j < runs.size() && left != 0; ++j)
        {
            if (IsHoleRun(runs[j])) return 0;
            const uint64_t start = j == i ? into : 0;
            const uint32_t take = static_cast<uint32_t>(std::min<uint64_t>(left, runs[j].dwSectorCount - start));
            if (take == 0) continue;
            pieces[n++] = {runs[j].s64FirstSector + static_cast<int64_t>(start), take};
            left -= take;
        }
        return left == 0 ? n : 0;
    }
    return 0;
}

int64_t MftRecordToSector(const StreamVector& runs, uint32_t spr, uint32_t record)
{
    MftRecordPiece pieces[kMftMaxRecordPieces];
    return MftRecordPieces(runs, spr, record, pieces) > 0 ? pieces[0].Sector : -1;
}

uint32_t MftRecordCount(const StreamVector& runs, uint32_t spr)
{
    if (spr == 0) return 0;
    return static_cast<uint32_t>(std::min<uint64_t>(RunSectorTotal(runs) / spr, 0xFFFFFFFF));
}

uint32_t MftRunEndRecord(const StreamVector& runs, uint32_t spr, uint32_t record, bool* hole)
{
    *hole = false;
    if (spr == 0) return 0xFFFFFFFF;
    const uint64_t offset = static_cast<uint64_t>(record) * spr;
    uint64_t before = 0;
    for (const tagStreamBlock& run : runs)
    {
        before += run.dwSectorCount;
        if (offset < before)
        {
            *hole = IsHoleRun(run);
            // The first record that starts at or after the end of this run.
            return static_cast<uint32_t>(std::min<uint64_t>((before + spr - 1) / spr, 0xFFFFFFFF));
        }
    }
    return static_cast<uint32_t>(std::min<uint64_t>(before / spr, 0xFFFFFFFF));
}

bool MftRunsArePlausible(const StreamVector& runs)
{
    for (const tagStreamBlock& run : runs)
        if (!IsHoleRun(run) &&
            (run.s64FirstSector < 0 ||
             run.s64FirstSector > std::numeric_limits<int64_t>::max() - int64_t{run.dwSectorCount}))
            return false;
    return true;
}

void KNtfsMft::SetVolume(IVolumeIO* volume)
{
    m_pVolume = volume;
    m_Geometry.BytesPerSector = 512;
    tagDiskGeometry g;
    if (volume && volume->GetGeometry(&g) == ERROR_SUCCESS && g.BytesPerSector != 0)
    {
        m_Geometry.BytesPerSector = g.BytesPerSector;
        m_Geometry.VolumeTotalSector = static_cast<int64_t>(g.TotalSectors);
    }
    ClearWindow();
}

uint32_t KNtfsMft::ParseBootSector(ByteView sector)
{
    tagNtfsBootSector boot;
    if (!m_pVolume || !LoadRecord(sector, 0, boot)) return ERROR_INVALID_PARAMETER;
    // The file system counts in the sectors of the disk it was made on; read on a disk of
    // another sector size every position would be off.
    const uint32_t bps = m_Geometry.BytesPerSector;
    if (std::memcmp(boot.OemName, "NTFS    ", 8) != 0 || boot.BytesPerSector != bps || bps < kNtfsSectorBytes)
        return ERROR_INVALID_PARAMETER;
    const uint32_t spc = boot.SectorsPerCluster;
    if (spc == 0 || !std::has_single_bit(spc)) return ERROR_INVALID_PARAMETER;
    // A record size of no sectors or beyond 64 KiB cannot be read into any buffer sensibly.
    const uint32_t spr = NtfsRecordSectors(boot.ClustersPerFileRecord, spc, bps);
    if (spr == 0) return ERROR_INVALID_PARAMETER;
    m_Geometry.SectorsPerCluster = spc;
    m_Geometry.SectorsPerFileRecord = spr;
    m_Geometry.SectorsPerIndexRecord = NtfsRecordSectors(boot.ClustersPerIndexRecord, spc, bps);
    ClearWindow();
    const uint64_t maxCluster = static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) / spc;
    const int64_t mft = boot.MftCluster <= maxCluster ? static_cast<int64_t>(boot.MftCluster * spc) : -1;
    const int64_t mirror = boot.MftMirrorCluster <= maxCluster ? static_cast<int64_t>(boot.MftMirrorCluster * spc) : -1;
    m_Geometry.MftRuns.clear();
    const int64_t total = m_Geometry.VolumeTotalSector;
    if (mft >= 2 && mft < total && GetMFTRange(mft, &m_Geometry.MftRuns)) return ERROR_SUCCESS;
    if (mirror < 2 || mirror >= total) return ERROR_SUCCESS; // no MFT: the volume lists no records
    return GetMFTRange(mirror, &m_Geometry.MftRuns) ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
}

namespace {

bool NamedMft(ByteView record)
{
    ByteView value;
    if (!ResidentValue(FindAttribute(record, kNtfsAttrFileName, 0), &value)) return false;
    const auto fn = NtfsFileNameView::Of(value);
    return fn && fn->Name() == "$MFT";
}

// The sectors of the MFT's runs, as disjoint intervals: a run that overlaps one already taken
// would list the same records twice.
class SectorSpans
{
public:
    bool Add(const tagStreamBlock& run)
    {
        const int64_t end = run.s64FirstSector + static_cast<int64_t>(run.dwSectorCount);
        auto next = m_Spans.lower_bound(run.s64FirstSector);
        if (next != m_Spans.end() && next->first < end) return false;
        if (next != m_Spans.begin() && std::prev(next)->second > run.s64FirstSector) return false;
        m_Spans.emplace(run.s64FirstSector, end);
        return true;
    }

private:
    std::map<int64_t, int64_t> m_Spans; // first -> end (exclusive)
};

} // namespace

// When the $MFT's runs outgrow record 0, its $DATA goes on in extension records, and the
// record's $ATTRIBUTE_LIST names them in VCN order (the driver may move the $FILE_NAME out
// too). An extension record is read through the part of the MFT mapped so far. An extent is
// taken only while it starts where the one before ended, lies in a record whose base is the
// $MFT, and its runs are data inside the volume that overlap no run taken before; the first
// extent that breaks a rule ends the MFT there, and the records mapped so far stand. Every
// extent moves the VCN on, and the list itself is bounded, so no list loops.
bool KNtfsMft::GetMFTRange(int64_t sector, StreamVector* runs)
{
    const uint32_t size = RecordBytes();
    if (!m_pVolume || size == 0) return false;
    if (sector >= m_Geometry.VolumeTotalSector)
    {
        VlmTrace("KNtfsFileSystem::GetMFTRange()==FALSE<==>s64MFTAddress>=m_s64VolumeTotalSector\n");
        return false;
    }
    std::vector<uint8_t> buffer(size);
    if (sector < 0 || ReadRecordAt(sector, buffer.data()) != ERROR_SUCCESS) return false;
    if (!CheckFileRecord(buffer, false)) return false;
    const NtfsAttribute data = FindDataExtent(buffer, 0);
    tagNtfsNonResidentAttribute header;
    ByteView pairs;
    StreamVector found;
    if (!data || !NonResidentHeader(data, &header, &pairs) || !DecodeRunList(pairs, &found)) return false;
    bool named = NamedMft(buffer);
    std::vector<uint8_t> extension;
    const auto fromMft = [&](uint32_t record) {
        if (ReadExtensionRecord(*this, record, &extension, &found) != NtfsExtension::Ok) return false;
        tagNtfsFileRecordHeader h;
        return LoadFileRecordHeader(extension, &h) && (h.BaseRecord & 0xFFFFFFFFFFFFull) == 0;
    };
    if (!named)
        WalkAttributeList(*this, buffer, [&](const tagNtfsAttributeListEntry& e) {
            if (e.Type != kNtfsAttrFileName) return true;
            named = e.RecordHigh == 0 && fromMft(e.RecordLow) && NamedMft(extension);
            return false;
        });
    if (!named) return false;

    const uint32_t spc = m_Geometry.SectorsPerCluster;
    if (spc == 0) return false;
    uint64_t nextVcn = RunSectorTotal(found) / spc;
    SectorSpans taken;
    for (const tagStreamBlock& run : found)
        if (!IsHoleRun(run)) taken.Add(run);
    const int64_t volumeEnd = m_Geometry.VolumeTotalSector;
    WalkAttributeList(*this, buffer, [&](const tagNtfsAttributeListEntry& e) {
        if (e.Type != kNtfsAttrData || e.NameLength != 0 || e.FirstVcn == 0) return true;
        NtfsAttribute extent;
        if (e.FirstVcn != nextVcn)
            VlmTrace("GetMFTRange: $MFT extent at VCN %llu, expected %llu\n",
                     static_cast<unsigned long long>(e.FirstVcn), static_cast<unsigned long long>(nextVcn));
        else if (e.RecordLow == 0 && e.RecordHigh == 0)
            extent = FindDataExtent(buffer, e.FirstVcn);
        else if (e.RecordHigh == 0 && fromMft(e.RecordLow))
            extent = FindDataExtent(extension, e.FirstVcn);
        StreamVector more;
        if (!extent || !NonResidentHeader(extent, &header, &pairs) || !DecodeRunList(pairs, &more) || more.empty() ||
            found.size() + more.size() > VlmLimits::kMaxRunsPerRunList)
            return false;
        for (const tagStreamBlock& run : more)
            if (IsHoleRun(run) || (volumeEnd > 0 && run.s64FirstSector + int64_t{run.dwSectorCount} > volumeEnd) ||
                !taken.Add(run))
            {
                VlmTrace("GetMFTRange: an extent of $MFT at VCN %llu leaves the volume or overlaps\n",
                         static_cast<unsigned long long>(e.FirstVcn));
                return false;
            }
        found.insert(found.end(), more.begin(), more.end());
        nextVcn += RunSectorTotal(more) / spc;
        return true;
    });
    *runs = std::move(found);
    return true;
}

bool KNtfsMft::DecodeRunList(ByteView mappingPairs, StreamVector* runs) const
{
    return ::DecodeRunList(mappingPairs, m_Geometry.SectorsPerCluster, m_Geometry.VolumeStart, runs);
}

uint32_t KNtfsMft::ReadPieces(const MftRecordPiece* pieces, int count, uint8_t* out)
{
    const uint32_t bps = m_Geometry.BytesPerSector;
    for (int i = 0; i < count; ++i)
    {
        const uint32_t rc = m_pVolume->ReadSectors(static_cast<uint64_t>(pieces[i].Sector), out, pieces[i].Count);
        if (rc != ERROR_SUCCESS) return rc;
        out += static_cast<size_t>(pieces[i].Count) * bps;
    }
    return ERROR_SUCCESS;
}

uint32_t KNtfsMft::ReadRecordAt(int64_t sector, uint8_t* out)
{
    if (!m_pVolume) return ERROR_INVALID_PARAMETER;
    if (sector < 0) return ERROR_FUNCTION_FAILED;
    const uint32_t spr = m_Geometry.SectorsPerFileRecord;
    // Runs are whole clusters, so only clusters smaller than a record let a run end inside one;
    // such a record goes on at the start of the next run of the MFT.
    if (m_Geometry.SectorsPerCluster >= spr) return m_pVolume->ReadSectors(static_cast<uint64_t>(sector), out, spr);
    uint64_t before = 0;
    for (const tagStreamBlock& run : m_Geometry.MftRuns)
    {
        if (!IsHoleRun(run) && sector >= run.s64FirstSector &&
            static_cast<uint64_t>(sector - run.s64FirstSector) < run.dwSectorCount)
        {
            const uint64_t into = static_cast<uint64_t>(sector - run.s64FirstSector);
            if (into + spr <= run.dwSectorCount || (before + into) % spr != 0) break;
            MftRecordPiece pieces[kMftMaxRecordPieces];
            const int count =
                MftRecordPieces(m_Geometry.MftRuns, spr, static_cast<uint32_t>((before + into) / spr), pieces);
            return count > 0 ? ReadPieces(pieces, count, out) : ERROR_FUNCTION_FAILED;
        }
        before += run.dwSectorCount;
    }
    return m_pVolume->ReadSectors(static_cast<uint64_t>(sector), out, spr);
}

uint32_t KNtfsMft::ReadRecordIn(const StreamVector& runs, uint32_t n, uint8_t* out)
{
    if (!m_pVolume) return ERROR_INVALID_PARAMETER;
    MftRecordPiece pieces[kMftMaxRecordPieces];
    const int count = MftRecordPieces(runs, m_Geometry.SectorsPerFileRecord, n, pieces);
    return count > 0 ? ReadPieces(pieces, count, out) : ERROR_FUNCTION_FAILED;
}

int64_t KNtfsMft::RecordToSector(uint32_t n) const
{
    return MftRecordToSector(m_Geometry.MftRuns, m_Geometry.SectorsPerFileRecord, n);
}

uint32_t KNtfsMft::GetRecordCount() const
{
    return MftRecordCount(m_Geometry.MftRuns, m_Geometry.SectorsPerFileRecord);
}

uint32_t KNtfsMft::RunEndRecord(uint32_t n, bool* hole) const
{
    return MftRunEndRecord(m_Geometry.MftRuns, m_Geometry.SectorsPerFileRecord, n, hole);
}

uint32_t KNtfsMft::ReadFileRecord(uint32_t n, uint8_t* out)
{
    if (!m_pVolume) return ERROR_INVALID_PARAMETER;
    const uint32_t spr = m_Geometry.SectorsPerFileRecord;
    const size_t recordBytes = RecordBytes();
    if (spr == 0 || recordBytes == 0) return ERROR_FUNCTION_FAILED;
    if (m_dwWindowCount != 0 && n >= m_dwWindowFirst && n - m_dwWindowFirst < m_dwWindowCount)
    {
        std::memcpy(out, m_Window.data() + (n - m_dwWindowFirst) * recordBytes, recordBytes);
        return ERROR_SUCCESS;
    }
    const uint64_t at = static_cast<uint64_t>(n) * spr;
    uint64_t before = 0;
    for (const tagStreamBlock& run : m_Geometry.MftRuns)
    {
        if (at >= before + run.dwSectorCount)
        {
            before += run.dwSectorCount;
            continue;
        }
        if (IsHoleRun(run))
        {
            std::memset(out, 0, recordBytes);
            return ERROR_SUCCESS;
        }
        const uint64_t offset = at - before;
        if (offset + spr > run.dwSectorCount)
            return ReadRecordIn(m_Geometry.MftRuns, n, out); // goes on in the next run
        const uint64_t recordsLeft = (run.dwSectorCount - offset) / spr;
        // The window holds at least one record, however large the records are.
        const uint64_t count = std::max<uint64_t>(1, std::min<uint64_t>(kNtfsWindowBytes / recordBytes, recordsLeft));
        try
        {
            m_Window.resize(count * recordBytes);
        }
        catch (const std::bad_alloc&)
        {
            ClearWindow();
            return ERROR_NOT_ENOUGH_MEMORY;
        }
        const uint32_t rc = m_pVolume->ReadSectors(static_cast<uint64_t>(run.s64FirstSector) + offset, m_Window.data(),
                                                   static_cast<uint32_t>(count * spr));
        if (rc != ERROR_SUCCESS)
        {
            // Never serve records from a buffer whose read failed; one bad sector in the
            // read-ahead must not cost the records around it, so read this one alone.
            ClearWindow();
            return ReadRecordAt(run.s64FirstSector + static_cast<int64_t>(offset), out);
        }
        m_dwWindowFirst = n;
        m_dwWindowCount = static_cast<uint32_t>(count);
        std::memcpy(out, m_Window.data(), recordBytes);
        return ERROR_SUCCESS;
    }
    return ERROR_FUNCTION_FAILED;
}
