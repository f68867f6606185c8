#include "fat/KFatSectorScan.h"

#include <algorithm>
#include <cstring>

#include "base/VlmTrace.h"
#include "format/fat/FatBootSector.h"
#include "fs/IFileSystem.h"
#include "volume/IVolumeIO.h"

namespace {

// Cluster sizes a folder start is tried with, in sectors.
constexpr uint32_t kClusterSizes[] = {1, 2, 4, 8, 16, 32, 64, 128};
constexpr uint32_t kBootScore = 1000;
constexpr uint32_t kFolderScore = 10;
// Sectors at or below this cannot hold a FAT32 primary boot sector's backup (it lies at +6).
constexpr int64_t kBackupBootOffset = 6;
constexpr uint32_t kFolderSectorTypeMinimum = 0x40001; // sector counts below: FAT12
constexpr uint32_t kFat16SectorLimit = 0x800001;       // below: FAT16

bool SameFileSystem(const FatCandidate& a, const FatCandidate& b)
{
    return a.SectorsPerCluster == b.SectorsPerCluster && a.FatType == b.FatType && a.DataStart == b.DataStart &&
        a.SectorCount == b.SectorCount && a.FirstSector == b.FirstSector;
}

} // namespace

int64_t KFatSectorScan::FindCandidate(int64_t dataStart, uint32_t sectorsPerCluster)
{
    if (m_Indexed > m_Candidates.size())
    {
        m_ByDataStart.clear();
        m_Indexed = 0;
    }
    for (; m_Indexed < m_Candidates.size(); ++m_Indexed)
        m_ByDataStart[static_cast<uint64_t>(m_Candidates[m_Indexed].DataStart)].push_back(
            static_cast<uint32_t>(m_Indexed));
    const auto it = m_ByDataStart.find(static_cast<uint64_t>(dataStart));
    if (it == m_ByDataStart.end()) return -1;
    for (const uint32_t i : it->second)
        if (m_Candidates[i].SectorsPerCluster == sectorsPerCluster) return i;
    return -1;
}

void KFatSectorScan::Reset()
{
    m_ByDataStart.clear();
    m_Indexed = 0;
    m_Candidates.clear();
    m_DirSectors.clear();
    m_MatchList.clear();
    m_s64LastFolderStart = -1;
}

void KFatSectorScan::SetVolume(IVolumeIO* volume, uint32_t bytesPerSector, uint64_t totalSectors)
{
    m_pVolume = volume;
    m_dwBytesPerSector = bytesPerSector;
    m_u64TotalSectors = totalSectors;
    // The scan has no selected file system: clusters are bounded by the volume's size and the
    // data-area size test is off.
    m_Limits = FatEntryLimits{};
    m_Limits.VolumeSectors = totalSectors;
    m_Limits.BytesPerSector = bytesPerSector;
}

void KFatSectorScan::CountEntries(ScanStats* stats, size_t index, ByteView folder, uint64_t entries)
{
    FatCandidate& c = m_Candidates[index];
    const uint64_t clusterBytes =
        static_cast<uint64_t>(m_dwBytesPerSector) * std::max<uint16_t>(c.SectorsPerCluster, 1);
    const FatDirEntrySlots slots(folder);
    for (uint64_t i = 0; i < entries && i < slots.size(); ++i)
    {
        const FatDirEntryView e = *slots[static_cast<size_t>(i)];
        if (e.IsUnused()) break;
        if (e.IsLongName() || !IsValidEntry(e, m_Limits) || !HasValidTimes(e)) continue;
        if (!(e.Attributes() & FAT_ATTR_FOLDER))
        {
            ++c.FilesMatched;
            ++c.Score;
            if (stats) ++stats->dwFatFiles;
        }
        if (clusterBytes == 0) continue;
        const uint64_t end = e.FirstCluster() + (e.FileSize() + clusterBytes - 1) / clusterBytes;
        c.HighestClusterEnd =
            static_cast<uint32_t>(std::max<uint64_t>(c.HighestClusterEnd, std::min<uint64_t>(end, 0xFFFFFFFFu)));
    }
}

void KFatSectorScan::ReadRootFolder(ScanStats* stats, size_t index)
{
    const FatCandidate c = m_Candidates[index];
    if (!m_pVolume || c.RootStart < 0 || c.RootSectors == 0 || m_dwBytesPerSector == 0) return;
    const uint64_t start = static_cast<uint64_t>(c.RootStart);
    if (m_u64TotalSectors != 0 && !RangeFits(m_u64TotalSectors, start, c.RootSectors)) return;
    std::vector<uint8_t> root(static_cast<size_t>(c.RootSectors) * m_dwBytesPerSector);
    if (m_pVolume->ReadSectors(start, root.data(), c.RootSectors) != 0) return;
    CountEntries(stats, index, root, root.size() / kFatEntrySize);

    const bool inside = m_u64TotalSectors != 0 && c.FirstSector >= 0 &&
        RangeFits(m_u64TotalSectors, static_cast<uint64_t>(c.FirstSector), static_cast<uint64_t>(c.SectorCount));
    std::string label;
    if (inside && FatRootLabel(root, &label))
    {
        // At most 33 bytes (11 code-page characters), far inside the record's field.
        std::memset(m_Candidates[index].Label, 0, sizeof(m_Candidates[index].Label));
        std::memcpy(m_Candidates[index].Label, label.data(),
                    std::min(label.size(), sizeof(m_Candidates[index].Label) - 1));
    }
}

void KFatSectorScan::AddBootCandidate(ScanStats* stats, const FatCandidate& c)
{
    m_Candidates.push_back(c);
    m_Candidates.back().Score += kBootScore;
    ReadRootFolder(stats, m_Candidates.size() - 1);
}

bool KFatSectorScan::TryBootSector(ScanStats* stats, int64_t x, ByteView sector)
{
    // Cheap gate: a type label must be there before any rule is looked at.
    const bool label16 =
        RangeFits(sector.size(), kFat16TypeOffset, 8) && std::memcmp(sector.data() + kFat16TypeOffset, "FAT1", 4) == 0;
    const bool label32 =
        RangeFits(sector.size(), kFat32TypeOffset, 8) && std::memcmp(sector.data() + kFat32TypeOffset, "FAT3", 4) == 0;
    if (!label16 && !label32) return false;

    for (const int32_t type : {kFatType12, kFatType16, kFatType32})
    {
        FatCandidate c;
        if (!FatCandidateFromBootSector(sector, type, x, m_dwBytesPerSector, &c)) continue;
        if (stats) ++stats->dwFatBootRecords;
        AddBootCandidate(stats, c);
        if (type == kFatType32 && x > kBackupBootOffset - 1)
        {
            FatCandidate backup;
            if (FatCandidateFromBootSector(sector, type, x - kBackupBootOffset, m_dwBytesPerSector, &backup) &&
                std::none_of(m_Candidates.begin(), m_Candidates.end(),
                             [&](const FatCandidate& o) { return SameFileSystem(o, backup); }))
                AddBootCandidate(stats, backup);
        }
        return true;
    }
    return false;
}

bool KFatSectorScan::TryFolderStart(int64_t x, ByteView sector)
{
    const std::optional<FatDirEntryView> dot = FatDirEntryView::At(sector, 0);
    const std::optional<FatDirEntryView> dotDot = FatDirEntryView::At(sector, kFatEntrySize);
    if (!dot || !dotDot || !dot->IsDot() || !dotDot->IsDotDot()) return false;
    const uint32_t k = dot->FirstCluster();
    // A folder's own cluster is at least 2; anything else would place the data area past the
    // sector itself.
    if (k < 2) return false;
    const bool parentIsRoot = dotDot->FirstCluster() == 0;

    m_s64LastFolderStart = x;
    m_MatchList.clear();
    for (const uint32_t s : kClusterSizes)
    {
        const int64_t d = x - static_cast<int64_t>(k - 2) * s;
        if (d < 0) continue;
        const int64_t i = FindCandidate(d, s);
        if (i < 0) continue;
        FatCandidate& c = m_Candidates[static_cast<size_t>(i)];
        m_MatchList.push_back(static_cast<uint32_t>(i));
        c.Score += kFolderScore;
        ++c.FoldersMatched;
        if (parentIsRoot) ++c.RootChildren;
    }
    if (m_MatchList.empty())
    {
        for (const uint32_t s : kClusterSizes)
        {
            const int64_t d = x - static_cast<int64_t>(k - 2) * s;
            if (d < 0) continue;
            FatCandidate c = FatEmptyCandidate();
            c.FatType = kFatType32;
            c.SectorsPerCluster = static_cast<uint16_t>(s);
            c.FirstSector = d;
            c.DataStart = d;
            c.SectorCount = static_cast<int64_t>(m_u64TotalSectors) - d;
            c.FoldersMatched = 1;
            c.RootStart = -1;
            c.Fat1Start = -1;
            c.Fat2Start = -1;
            m_MatchList.push_back(static_cast<uint32_t>(m_Candidates.size()));
            m_Candidates.push_back(c);
        }
    }
    m_DirSectors.push_back({1, x, k});
    return true;
}

void KFatSectorScan::ScanSector(ScanStats* stats, int64_t x, ByteView sector)
{
    if (sector.empty() || sector[0] == 0) return; // unused: neither boot sector nor folder
    if (TryBootSector(stats, x, sector.first(std::min<size_t>(sector.size(), kFatSectorSize)))) return;

    bool folder = TryFolderStart(x, sector);
    if (folder)
    {
        if (stats) ++stats->dwFatFolders;
    }
    else if (LooksLikeFolderPart(sector, m_Limits))
    {
        m_DirSectors.push_back({0, x, 0});
        if (stats) ++stats->dwFatPartFolders;
        folder = true;
    }
    if (!folder) return;
    for (const uint32_t index : m_MatchList)
    {
        if (index >= m_Candidates.size()) continue;
        if (static_cast<int64_t>(m_Candidates[index].SectorsPerCluster) > x - m_s64LastFolderStart)
            CountEntries(stats, index, sector, sector.size() / kFatEntrySize);
    }
}

bool KFatSectorScan::IsInferred(const FatCandidate& c) const
{
    return c.SectorCount == static_cast<int64_t>(m_u64TotalSectors) - c.FirstSector && c.DataStart == c.FirstSector;
}

void KFatSectorScan::End(IProgress_Server& progress)
{
    VlmTrace("Begin-KFatFileSystem::End_ScanFS\n");
    m_ByDataStart.clear();
    m_Indexed = 0;
    m_MatchList.clear();
    m_s64LastFolderStart = -1;
    VlmTrace("SetMaxValue\n");
    progress.SetMaxValue(1);
    VlmTrace("End SetMaxValue\n");
    for (size_t i = 0; i < m_Candidates.size();)
    {
        progress.SetValue(0);
        FatCandidate& c = m_Candidates[i];
        bool remove = false;
        if (IsInferred(c))
        {
            const int64_t used = static_cast<int64_t>(c.SectorsPerCluster) * c.HighestClusterEnd;
            if (c.FirstSector + used <= static_cast<int64_t>(m_u64TotalSectors)) c.SectorCount = used;
            if (c.RootChildren > 2)
            {
                if (c.SectorCount < kFolderSectorTypeMinimum)
                    c.FatType = kFatType12;
                else if (c.SectorCount < kFat16SectorLimit)
                    c.FatType = kFatType16;
            }
            remove = c.FoldersMatched < 2;
        }
        else
        {
            remove = c.FilesMatched == 0 && c.FoldersMatched == 0;
        }
        if (!remove)
        {
            ++i;
            continue;
        }
        VlmTrace("Begin-m_FsInfoArray.erase(m_FsInfoArray.begin()+i);\n");
        m_Candidates.erase(m_Candidates.begin() + static_cast<std::ptrdiff_t>(i));
        VlmTrace("End-m_FsInfoArray.erase(m_FsInfoArray.begin()+i);\n");
    }
    // Exchange sort: a later candidate moves ahead when it has more folders, or as many
    // folders and more files. The resulting order of equal candidates is part of the ranking.
    for (size_t i = 0; i < m_Candidates.size(); ++i)
        for (size_t j = i + 1; j < m_Candidates.size(); ++j)
        {
            const FatCandidate& a = m_Candidates[i];
            const FatCandidate& b = m_Candidates[j];
            if (b.FoldersMatched > a.FoldersMatched ||
                (b.FoldersMatched == a.FoldersMatched && b.FilesMatched > a.FilesMatched))
                std::swap(m_Candidates[i], m_Candidates[j]);
        }
    VlmTrace("End-KFatFileSystem::End_ScanFS\n");
}
