#include "ntfs/KNtfsFullScan.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <strings.h>

#include "base/VlmErrors.h"
#include "base/VlmTrace.h"
#include "ntfs/NtfsCandidateSearch.h"
#include "format/ntfs/NtfsIndexRecord.h"
#include "format/ntfs/NtfsLayout.h"
#include "format/ntfs/NtfsRecord.h"
#include "format/ntfs/NtfsRunList.h"
#include "volume/NtfsVolumeLabel.h"
#include "base/TextCodec.h"
#include "format/FileSystemType.h"
#include "volume/IVolumeIO.h"

namespace {

constexpr uint32_t kScoreBootSector = 1000;
constexpr uint32_t kScoreRebuilt = 500;
constexpr uint16_t kRebuiltIndexRecordSectors = 8;
constexpr size_t kMaxLabelBytes = sizeof(FileSystemCandidate::szLabel) - 1;

// cluster × spc + base, or -1 when that does not fit a sector number.
int64_t ClusterToSector(uint64_t cluster, uint32_t spc, int64_t base)
{
    if (spc == 0 || cluster > static_cast<uint64_t>(std::numeric_limits<int64_t>::max() / 2) / spc) return -1;
    return static_cast<int64_t>(cluster * spc) + base;
}

// The first cluster and the cluster count of the unnamed non-resident $DATA of a record.
bool UnnamedDataRuns(ByteView record, uint64_t* firstCluster, uint64_t* clusters, uint64_t* dataSize)
{
    const NtfsAttribute data = FindAttribute(record, kNtfsAttrData, 0);
    tagNtfsNonResidentAttribute h;
    ByteView pairs;
    if (!data || data.IsNamed() || !NonResidentHeader(data, &h, &pairs)) return false;
    StreamVector runs;
    if (!DecodeRunList(pairs, 1, 0, &runs) || runs.empty() || IsHoleRun(runs[0])) return false;
    *firstCluster = static_cast<uint64_t>(runs[0].s64FirstSector);
    *clusters = RunSectorTotal(runs);
    *dataSize = h.DataSize;
    return *clusters != 0;
}

} // namespace

void KNtfsFullScan::Begin()
{
    m_FileRecords.clear();
    m_FromIndex.clear();
    m_Known.clear();
    m_Carry.clear();
    m_dwCarryHeld = 0;
    m_CarryKind = CarryKind::None;
    m_s64NextSector = -1;
    m_Work.SetVolume(m_Mft.GetVolume());
}

uint32_t KNtfsFullScan::Scan(ScanStats* stats, int64_t first, ByteView sectors)
{
    const uint32_t b = m_Mft.Geometry().BytesPerSector;
    const size_t count = b == 0 ? 0 : sectors.size() / b;
    if (count == 0) return ERROR_SUCCESS;
    // A record is only carried over between buffers that lie back to back.
    if (m_CarryKind != CarryKind::None && first != m_s64NextSector) m_CarryKind = CarryKind::None;
    m_s64NextSector = first + static_cast<int64_t>(count);
    // Sectors too small to hold a boot sector or a record header carry nothing of NTFS.
    if (b < kNtfsSectorBytes) return ERROR_SUCCESS;
    static constexpr char kOem[8] = {'N', 'T', 'F', 'S', ' ', ' ', ' ', ' '};
    for (size_t i = 0; i < count; ++i)
    {
        const ByteView rest = sectors.subspan(i * b);
        const ByteView sector = rest.first(b);
        const int64_t s = first + static_cast<int64_t>(i);
        if (m_CarryKind != CarryKind::None) FeedCarry(sector);
        // Cheap signature tests first: almost every sector is file data.
        const uint32_t signature = PeekU32LE(sector.data());
        if (std::memcmp(sector.data() + offsetof(tagNtfsBootSector, OemName), kOem, sizeof(kOem)) == 0)
            AddBootCandidate(s, sector, stats);
        else if (signature == kNtfsFileSignature)
            TakeFileRecord(s, rest.first(count * b - i * b), stats);
        else if (signature == kNtfsIndexSignature)
            TakeIndexRecord(s, rest.first(count * b - i * b));
    }
    return ERROR_SUCCESS;
}

void KNtfsFullScan::AddBootCandidate(int64_t s, ByteView bytes, ScanStats* stats)
{
    NtfsCandidate c;
    if (!IsNtfsBootSector(s, bytes, &c)) return;
    if (stats) ++stats->dwNtfsBootRecords;
    c.Head.dwScore += kScoreBootSector;
    SetLabel(&c, c.s64MftSector, c.s64MirrorSector);
    m_Candidates.push_back(std::move(c));
}

void KNtfsFullScan::SetLabel(NtfsCandidate* c, int64_t mftSector, int64_t mirrorSector)
{
    std::string label;
    if (!ReadVolumeLabel(m_Mft.GetVolume(), mftSector, &label) &&
        !ReadVolumeLabel(m_Mft.GetVolume(), mirrorSector, &label))
        return;
    label = CutUtf8(label, kMaxLabelBytes);
    std::memset(c->Head.szLabel, 0, sizeof(c->Head.szLabel));
    std::memcpy(c->Head.szLabel, label.data(), label.size());
}

void KNtfsFullScan::TakeFileRecord(int64_t s, ByteView rest, ScanStats* stats)
{
    // The check reads at most one record's strides; the bytes are copied because the scan
    // never writes into the caller's buffer. A record claims at most 8 KiB.
    uint32_t claimed = 0;
    LoadU32LE(rest, offsetof(tagNtfsFileRecordHeader, AllocatedSize), claimed);
    claimed = std::clamp<uint32_t>(claimed, kNtfsSectorBytes, kNtfsMaxRecordBytes);
    const ByteView head = rest.first(std::min<size_t>(rest.size(), claimed));
    m_Record.assign(head.begin(), head.end());
    if (!CheckFileRecord(m_Record, true)) return;
    if (stats) ++stats->dwNtfsFiles;
    tagNtfsFileRecordHeader header;
    LoadFileRecordHeader(m_Record, &header);
    const uint32_t size = header.AllocatedSize;
    if (rest.size() < size)
    {
        StartCarry(CarryKind::File, s, size, rest);
        return;
    }
    // A record claiming more than the copy holds fails the check against the copy's length.
    const MutableByteView record = MutableByteView(m_Record).first(std::min<size_t>(size, m_Record.size()));
    if (CheckFileRecord(record, false)) OnFileRecordFound(s, record);
}

void KNtfsFullScan::TakeIndexRecord(int64_t s, ByteView rest)
{
    const uint32_t b = m_Mft.Geometry().BytesPerSector;
    uint32_t claimed = 0;
    LoadU32LE(rest, offsetof(tagNtfsIndexRecordHeader, BytesAllocated), claimed);
    claimed = std::clamp<uint32_t>(claimed, kNtfsSectorBytes, kNtfsMaxIndexRecordBytes - 24) + 24;
    const ByteView head = rest.first(std::min<size_t>(rest.size(), claimed));
    m_Record.assign(head.begin(), head.end());
    if (!CheckIndexRecord(m_Record, b, true)) return;
    const uint32_t size = IndexRecordBytes(m_Record);
    if (rest.size() < size)
    {
        StartCarry(CarryKind::Index, s, size, rest);
        return;
    }
    const MutableByteView record = MutableByteView(m_Record).first(std::min<size_t>(size, m_Record.size()));
    if (CheckIndexRecord(record, b, false)) OnIndexRecordFound(s, record);
}

void KNtfsFullScan::StartCarry(CarryKind kind, int64_t s, uint32_t size, ByteView rest)
{
    // Sizes were bounded by the record checks (8 KiB for FILE, 64 KiB for index records).
    m_Carry.assign(size, 0);
    const ByteView first = rest.first(std::min<size_t>({m_Mft.Geometry().BytesPerSector, size, rest.size()}));
    std::copy(first.begin(), first.end(), m_Carry.begin());
    m_dwCarryHeld = static_cast<uint32_t>(first.size());
    m_CarryKind = kind;
    m_s64CarryStart = s;
}

void KNtfsFullScan::FeedCarry(ByteView sector)
{
    const uint32_t size = static_cast<uint32_t>(m_Carry.size());
    const uint32_t n = static_cast<uint32_t>(std::min<size_t>(sector.size(), size - m_dwCarryHeld));
    std::copy_n(sector.begin(), n, m_Carry.begin() + m_dwCarryHeld);
    m_dwCarryHeld += n;
    if (m_dwCarryHeld < size) return;
    const CarryKind kind = m_CarryKind;
    m_CarryKind = CarryKind::None;
    const uint32_t b = m_Mft.Geometry().BytesPerSector;
    if (kind == CarryKind::File && CheckFileRecord(m_Carry, true) && CheckFileRecord(m_Carry, false))
        OnFileRecordFound(m_s64CarryStart, m_Carry);
    else if (kind == CarryKind::Index && CheckIndexRecord(m_Carry, b, true) && CheckIndexRecord(m_Carry, b, false))
        OnIndexRecordFound(m_s64CarryStart, m_Carry);
}

bool KNtfsFullScan::IsNtfsBootSector(int64_t s, ByteView bytes, NtfsCandidate* c)
{
    tagNtfsBootSector boot;
    if (FileSystemTypeFromBoot(bytes) != 7 || !LoadRecord(bytes, 0, boot)) return false;
    const uint32_t spc = boot.SectorsPerCluster;
    const uint32_t b = m_Work.Geometry().BytesPerSector;
    if (spc == 0 || !std::has_single_bit(spc) || boot.BytesPerSector != b) return false;
    *c = NtfsCandidate{};
    c->Head.wLength = kNtfsCandidateLength;
    c->Head.dwType = 7;
    c->Head.byExtra = 1;
    c->Head.wSectorsPerCluster = static_cast<uint16_t>(spc);
    c->Head.s64FirstSector = s;
    c->Head.s64SectorCount = static_cast<int64_t>(std::min<uint64_t>(boot.TotalSectors, INT64_MAX));
    const uint32_t spr = NtfsRecordSectors(boot.ClustersPerFileRecord, spc, b);
    c->wSectorsPerFileRecord = static_cast<uint16_t>(spr);
    c->wSectorsPerIndexRecord = static_cast<uint16_t>(NtfsRecordSectors(boot.ClustersPerIndexRecord, spc, b));
    c->s64MftSector = ClusterToSector(boot.MftCluster, spc, s);
    c->s64MirrorSector = ClusterToSector(boot.MftMirrorCluster, spc, s);
    // The MFT is read with this file system's own geometry; the open one is left alone.
    NtfsGeometry& g = m_Work.Geometry();
    g.SectorsPerCluster = spc;
    g.SectorsPerFileRecord = spr;
    g.VolumeStart = s;
    if (spr == 0 || c->s64MftSector < 0 || !m_Work.GetMFTRange(c->s64MftSector, &c->MftRuns))
    {
        c->s64MftSector = -1;
        if (spr == 0 || c->s64MirrorSector < 0 || !m_Work.GetMFTRange(c->s64MirrorSector, &c->MftRuns))
        {
            c->s64MirrorSector = -1;
            c->MftRuns.clear();
        }
    }
    g.VolumeStart = 0;
    return true;
}

bool KNtfsFullScan::InKnownMft(int64_t sector)
{
    for (size_t i = m_Known.size(); i < m_Candidates.size(); ++i) m_Known.emplace_back(m_Candidates[i].MftRuns);
    for (const NtfsRunSet& set : m_Known)
        if (set.Contains(sector)) return true;
    return false;
}

void KNtfsFullScan::OnIndexRecordFound(int64_t sector, ByteView record)
{
    CollectIndexEntries(sector, record, &m_FromIndex);
}

void KNtfsFullScan::OnFileRecordFound(int64_t s, ByteView record)
{
    NtfsScanRecord r;
    std::string name;
    const bool parsed = ParseScanRecord(record, m_Mft.Geometry().BytesPerSector, &r, &name);
    const bool known = InKnownMft(s);
    if (parsed)
    {
        r.s64Sector = s;
        m_FileRecords.push_back(r);
    }
    if (known || !parsed) return;
    if (strcasecmp(name.c_str(), "$MFT") == 0)
        RebuildFromMetaRecord(s, record, false);
    else if (strcasecmp(name.c_str(), "$MFTMirr") == 0)
        RebuildFromMetaRecord(s, record, true);
}

bool KNtfsFullScan::ReadMetaRecord(int64_t sector, uint32_t spr, const char* name, uint64_t* cluster)
{
    const uint32_t b = m_Work.Geometry().BytesPerSector;
    std::vector<uint8_t> buffer(static_cast<size_t>(spr) * b);
    IVolumeIO* volume = m_Mft.GetVolume();
    if (sector < 0 || sector >= m_Work.Geometry().VolumeTotalSector || buffer.empty() ||
        volume->ReadSectors(static_cast<uint64_t>(sector), buffer.data(), spr) != ERROR_SUCCESS)
        return false;
    NtfsScanRecord r;
    std::string found;
    uint64_t clusters = 0, dataSize = 0;
    return CheckFileRecord(buffer, false) && ParseScanRecord(buffer, b, &r, &found) &&
        strcasecmp(found.c_str(), name) == 0 && UnnamedDataRuns(buffer, cluster, &clusters, &dataSize);
}

bool KNtfsFullScan::HoldsMetaPair(int64_t sector, uint32_t spr)
{
    // Either record of the pair will do: one of them may be what was damaged.
    uint64_t cluster = 0;
    return ReadMetaRecord(sector, spr, "$MFT", &cluster) || ReadMetaRecord(sector + spr, spr, "$MFTMirr", &cluster);
}

void KNtfsFullScan::RebuildFromMetaRecord(int64_t s, ByteView record, bool mirror)
{
    const uint32_t b = m_Work.Geometry().BytesPerSector;
    uint64_t ownCluster = 0, clusters = 0, dataSize = 0;
    tagNtfsFileRecordHeader header;
    if (b == 0 || !LoadFileRecordHeader(record, &header) || !UnnamedDataRuns(record, &ownCluster, &clusters, &dataSize))
        return;
    const uint32_t spc = GuessSectorsPerCluster((dataSize + b - 1) / b / clusters);
    const uint32_t spr = header.AllocatedSize / b;
    if (spr == 0 || spr > kNtfsMaxRecordSectors) return;
    // Record 1 ($MFTMirr) follows record 0 ($MFT).
    const int64_t mftSector = s - (mirror ? spr : 0);
    int64_t start = mftSector - ClusterToSector(ownCluster, spc, 0);
    // Both records lie at the head of the MFT and, copied, at the head of the mirror, and a
    // copy cannot tell where it lies. The other record of the pair names the other place: the
    // right guess finds a $MFT record there. Without an answer the record's own kind decides.
    uint64_t mftCluster = ownCluster, mirrorCluster = ownCluster;
    const bool pair = mirror ? ReadMetaRecord(mftSector, spr, "$MFT", &mftCluster)
                             : ReadMetaRecord(s + spr, spr, "$MFTMirr", &mirrorCluster);
    if (pair && mftCluster != mirrorCluster)
    {
        const int64_t atMft = mftSector - ClusterToSector(mftCluster, spc, 0);
        const int64_t atMirror = mftSector - ClusterToSector(mirrorCluster, spc, 0);
        const bool mftFits = atMft >= 0 && HoldsMetaPair(ClusterToSector(mirrorCluster, spc, atMft), spr);
        const bool mirrorFits = atMirror >= 0 && HoldsMetaPair(ClusterToSector(mftCluster, spc, atMirror), spr);
        if (mftFits != mirrorFits) start = mftFits ? atMft : atMirror;
    }
    if (start < 0 || start > mftSector) return;
    NtfsGeometry& g = m_Work.Geometry();
    g.SectorsPerCluster = spc;
    g.SectorsPerFileRecord = spr;
    g.VolumeStart = start;
    StreamVector runs;
    const bool read = m_Work.GetMFTRange(mftSector, &runs);
    g.VolumeStart = 0;
    if (!read) return;
    for (const NtfsCandidate& c : m_Candidates)
        if (c.Head.s64FirstSector == start && c.Head.wSectorsPerCluster == spc && SameRuns(c.MftRuns, runs)) return;
    NtfsCandidate c;
    c.Head.wLength = kNtfsCandidateLength;
    c.Head.dwType = 7;
    c.Head.wSectorsPerCluster = static_cast<uint16_t>(spc);
    c.Head.s64FirstSector = start;
    c.Head.dwScore = kScoreRebuilt;
    c.byRebuilt = 1;
    c.wSectorsPerFileRecord = static_cast<uint16_t>(spr);
    c.wSectorsPerIndexRecord = kRebuiltIndexRecordSectors;
    c.s64MftSector = mftSector;
    c.MftRuns = std::move(runs);
    SetLabel(&c, mftSector, -1);
    m_Candidates.push_back(std::move(c));
}

uint32_t KNtfsFullScan::End()
{
    ResolveNtfsCandidates(m_FileRecords, m_FromIndex, m_Candidates, m_Mft.Geometry().BytesPerSector,
                          m_Mft.Geometry().VolumeTotalSector);
    Begin();
    VlmTrace("End-KNtfsFileSystem::End_ScanFS\n");
    return ERROR_SUCCESS;
}
