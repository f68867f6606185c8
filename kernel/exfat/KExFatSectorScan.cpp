#include "exfat/KExFatSectorScan.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "base/VlmTrace.h"
#include "format/exfat/ExFatBootSector.h"
#include "format/exfat/ExFatEntrySet.h"
#include "format/exfat/ExFatEntryView.h"
#include "format/exfat/ExFatLayout.h"
#include "volume/IVolumeIO.h"
#include "volume/VolumeTypes.h"

namespace {

uint32_t Shift(uint32_t value)
{
    uint32_t s = 0;
    while (s < 31 && (1u << s) < value) ++s;
    return s;
}

} // namespace

ExFatCandidate MakeExFatCandidate(const ExFatBoot& boot, int64_t first, uint32_t volumeBytesPerSector)
{
    ExFatCandidate c{};
    const uint32_t scale = volumeBytesPerSector ? std::max<uint32_t>(1, boot.BytesPerSector / volumeBytesPerSector) : 1;
    c.Head.wLength = sizeof(ExFatCandidate);
    c.Head.dwType = static_cast<uint32_t>(FS_TYPE_EXFAT);
    c.Head.wSectorsPerCluster =
        static_cast<uint16_t>(std::min<uint64_t>(uint64_t{boot.SectorsPerCluster} * scale, 0xFFFF));
    c.Head.s64FirstSector = first;
    c.Head.s64SectorCount = static_cast<int64_t>(std::min<uint64_t>(boot.VolumeLength, INT64_MAX / 8) * scale);
    std::snprintf(c.Head.szLabel, sizeof(c.Head.szLabel), "exFAT %08X", boot.Serial);
    c.VolumeLength = boot.VolumeLength;
    c.FatOffset = boot.FatOffset;
    c.FatLength = boot.FatLength;
    c.HeapOffset = boot.HeapOffset;
    c.ClusterCount = boot.ClusterCount;
    c.RootCluster = boot.RootCluster;
    c.Serial = boot.Serial;
    c.VolumeFlags = boot.VolumeFlags;
    c.BytesPerSectorShift = static_cast<uint8_t>(Shift(boot.BytesPerSector));
    c.ClusterShift = static_cast<uint8_t>(Shift(boot.SectorsPerCluster));
    c.NumberOfFats = boot.NumberOfFats;
    return c;
}

bool ExFatCandidateBoot(const ExFatCandidate& c, ExFatBoot* boot)
{
    // The stored geometry goes through the same checks as a boot sector read from disk.
    uint8_t sector[ExFat::kBootSectorBytes] = {};
    std::memcpy(sector + ExFat::kOffName, ExFat::kSignature, 8);
    auto put = [&](size_t off, uint64_t v, size_t bytes) {
        for (size_t i = 0; i < bytes; ++i) sector[off + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    put(ExFat::kOffVolumeLength, c.VolumeLength, 8);
    put(ExFat::kOffFatOffset, c.FatOffset, 4);
    put(ExFat::kOffFatLength, c.FatLength, 4);
    put(ExFat::kOffHeapOffset, c.HeapOffset, 4);
    put(ExFat::kOffClusterCount, c.ClusterCount, 4);
    put(ExFat::kOffRootCluster, c.RootCluster, 4);
    put(ExFat::kOffSerial, c.Serial, 4);
    put(ExFat::kOffVolumeFlags, c.VolumeFlags, 2);
    sector[ExFat::kOffBytesPerSectorShift] = c.BytesPerSectorShift;
    sector[ExFat::kOffSectorsPerClusterShift] = c.ClusterShift;
    sector[ExFat::kOffNumberOfFats] = c.NumberOfFats;
    sector[ExFat::kOffBootSignature] = 0x55;
    sector[ExFat::kOffBootSignature + 1] = 0xAA;
    return c.Head.s64FirstSector >= 0 && ParseExFatBootSector(ByteView(sector, sizeof(sector)), boot);
}

void KExFatSectorScan::Reset()
{
    m_BootHits.clear();
    m_Candidates.clear();
    m_DirSectors.clear();
    m_FolderClusters.clear();
}

void KExFatSectorScan::SetVolume(IVolumeIO* volume, uint32_t bytesPerSector, uint64_t totalSectors)
{
    m_pVolume = volume;
    m_dwBytesPerSector = bytesPerSector;
    m_u64TotalSectors = totalSectors;
}

void KExFatSectorScan::ScanSector(ScanStats* stats, int64_t x, ByteView sector)
{
    if (sector.size() >= ExFat::kBootSectorBytes && sector[ExFat::kOffName] == 'E' && HasExFatSignature(sector))
    {
        ExFatBoot boot;
        if (m_BootHits.size() < kMaxBootHits && ParseExFatBootSector(sector, &boot) &&
            boot.BytesPerSector >= m_dwBytesPerSector)
        {
            m_BootHits.emplace_back(x, boot);
            if (stats) ++stats->dwFatBootRecords;
        }
        return;
    }
    bool folder = false;
    for (size_t off = 0; off + 2 * ExFat::kEntryBytes <= sector.size(); off += ExFat::kEntryBytes)
    {
        if (!ExFatEntryView::At(sector, off)->IsOfType(ExFat::kTypeFile) || !LooksLikeExFatSet(sector, off)) continue;
        ExFatEntrySet set;
        if (ParseExFatEntrySet(sector, off, &set) != ExFatSetStatus::Ok) continue;
        folder = true;
        if (stats) ++stats->dwFatFiles;
        if (set.IsFolder() && set.FirstCluster >= 2 && m_FolderClusters.size() < kMaxInferenceFolders &&
            std::find(m_FolderClusters.begin(), m_FolderClusters.end(), set.FirstCluster) == m_FolderClusters.end())
            m_FolderClusters.push_back(set.FirstCluster);
        off += (set.EntryCount - 1) * ExFat::kEntryBytes;
    }
    if (folder && m_DirSectors.size() < kMaxDirSectors)
    {
        m_DirSectors.push_back(x);
        if (stats) ++stats->dwFatFolders;
    }
}

bool KExFatSectorScan::RootFits(const ExFatBoot& boot, int64_t first, std::string* label) const
{
    if (!m_pVolume || first < 0 || m_dwBytesPerSector == 0) return false;
    const uint32_t scale = std::max<uint32_t>(1, boot.BytesPerSector / m_dwBytesPerSector);
    const int64_t sector = first + static_cast<int64_t>(boot.ClusterSector(boot.RootCluster)) * scale;
    if (static_cast<uint64_t>(sector) >= m_u64TotalSectors) return false;
    std::vector<uint8_t> bytes(m_dwBytesPerSector);
    if (m_pVolume->ReadSectors(static_cast<uint64_t>(sector), bytes.data(), 1) != 0) return false;
    // The root folder opens with the label, bitmap and upcase entries (in any order).
    bool bitmap = false;
    for (size_t off = 0; off + ExFat::kEntryBytes <= bytes.size() && off < 8 * ExFat::kEntryBytes;
         off += ExFat::kEntryBytes)
    {
        bitmap = bitmap || ExFatEntryView::At(bytes, off)->EntryType() == ExFat::kTypeBitmap;
        if (label) ExFatLabelText(bytes, off, label);
    }
    return bitmap;
}

void KExFatSectorScan::End()
{
    m_Candidates.clear();
    std::sort(m_DirSectors.begin(), m_DirSectors.end());
    for (const auto& hit : m_BootHits)
    {
        const int64_t x = hit.first;
        const ExFatBoot& boot = hit.second;
        const uint32_t scale = std::max<uint32_t>(1, boot.BytesPerSector / std::max<uint32_t>(m_dwBytesPerSector, 1));
        const int64_t backupBase = x - int64_t{ExFat::kBackupBootSector} * scale;
        int64_t first = x;
        bool fromBackup = false;
        if (!RootFits(boot, x) && RootFits(boot, backupBase))
        {
            first = backupBase;
            fromBackup = true;
        }
        const bool known = std::any_of(m_Candidates.begin(), m_Candidates.end(), [&](const ExFatCandidate& c) {
            return c.Head.s64FirstSector == first && c.Serial == boot.Serial && c.ClusterCount == boot.ClusterCount;
        });
        if (known) continue;
        ExFatCandidate c = MakeExFatCandidate(boot, first, m_dwBytesPerSector);
        c.FromBackup = fromBackup ? 1 : 0;
        // Folder sectors inside the heap of this file system are its matches.
        const int64_t heap = first + static_cast<int64_t>(boot.HeapOffset) * scale;
        const int64_t end = first + static_cast<int64_t>(std::min<uint64_t>(boot.VolumeLength, INT64_MAX / 8)) * scale;
        const auto lo = std::lower_bound(m_DirSectors.begin(), m_DirSectors.end(), heap);
        const auto hi = std::lower_bound(lo, m_DirSectors.end(), end);
        c.Head.dwFolderMatch = static_cast<uint32_t>(std::min<ptrdiff_t>(hi - lo, UINT32_MAX));
        // A file system whose root was found where its boot sector says ranks above one that
        // only left a boot sector; each folder sector adds to it.
        std::string label;
        const bool rootOk = RootFits(boot, first, &label);
        if (rootOk && !label.empty()) std::snprintf(c.Head.szLabel, sizeof(c.Head.szLabel), "%s", label.c_str());
        c.Head.dwScore = (rootOk ? 1000u : 0u) + std::min<uint32_t>(c.Head.dwFolderMatch, 1000000u);
        if (static_cast<uint64_t>(first) + static_cast<uint64_t>(c.Head.s64SectorCount) > m_u64TotalSectors)
            c.Head.dwScore /= 2; // reaches past the end of the volume
        VlmTrace("exFAT candidate at %lld: %u folder sectors, score %u%s\n", static_cast<long long>(first),
                 c.Head.dwFolderMatch, c.Head.dwScore, fromBackup ? " (backup boot sector)" : "");
        try
        {
            m_Candidates.push_back(c);
        }
        catch (const std::bad_alloc&)
        {
            break;
        }
    }
    InferCandidate();
    std::stable_sort(m_Candidates.begin(), m_Candidates.end(),
                     [](const ExFatCandidate& a, const ExFatCandidate& b) { return a.Head.dwScore > b.Head.dwScore; });
}

void KExFatSectorScan::InferCandidate()
{
    std::vector<int64_t> starts;
    for (size_t i = 0; i < m_DirSectors.size() && starts.size() < kMaxInferenceStarts; ++i)
        if (i == 0 || m_DirSectors[i - 1] != m_DirSectors[i] - 1) starts.push_back(m_DirSectors[i]);
    if (starts.empty() || m_FolderClusters.size() < 3 || m_u64TotalSectors == 0) return;
    // For each cluster size, the heap start each (folder, start) pair implies; the pairing
    // that many folders agree on is the geometry.
    int64_t bestHeap = -1;
    uint32_t bestSpc = 0, bestVotes = 0;
    std::vector<int64_t> heaps;
    heaps.reserve(m_FolderClusters.size() * starts.size());
    for (uint32_t spc = 1; spc <= 2048; spc *= 2)
    {
        heaps.clear();
        for (uint32_t c : m_FolderClusters)
        {
            const int64_t offset = static_cast<int64_t>(c - 2) * spc;
            for (int64_t x : starts)
                if (x >= offset) heaps.push_back(x - offset);
        }
        std::sort(heaps.begin(), heaps.end());
        for (size_t i = 0; i < heaps.size();)
        {
            size_t j = i;
            while (j < heaps.size() && heaps[j] == heaps[i]) ++j;
            if (j - i > bestVotes)
            {
                bestVotes = static_cast<uint32_t>(j - i);
                bestHeap = heaps[i];
                bestSpc = spc;
            }
            i = j;
        }
    }
    if (bestVotes < 3) return;
    // Without its boot region the file system is described as if its FAT lay right before
    // the heap; the rebuild does not read that FAT.
    const uint64_t clusters = (m_u64TotalSectors - static_cast<uint64_t>(bestHeap)) / bestSpc;
    if (clusters < 3 || clusters > ExFat::kMaxClusterCount) return;
    const uint32_t fatLength =
        static_cast<uint32_t>(((clusters + 2) * 4 + m_dwBytesPerSector - 1) / m_dwBytesPerSector);
    const int64_t heapOffset = 2 * ExFat::kBootRegionSectors + int64_t{fatLength};
    const int64_t first = bestHeap - heapOffset;
    if (first < 0 || m_dwBytesPerSector < 512 || m_dwBytesPerSector > 4096) return;
    const bool known = std::any_of(m_Candidates.begin(), m_Candidates.end(), [&](const ExFatCandidate& c) {
        ExFatBoot b;
        return ExFatCandidateBoot(c, &b) &&
            c.Head.s64FirstSector + static_cast<int64_t>(b.HeapOffset) * (b.BytesPerSector / m_dwBytesPerSector) ==
            bestHeap;
    });
    if (known) return;
    ExFatBoot boot;
    boot.VolumeLength = static_cast<uint64_t>(heapOffset) + clusters * bestSpc;
    boot.FatOffset = 2 * ExFat::kBootRegionSectors;
    boot.FatLength = fatLength;
    boot.HeapOffset = static_cast<uint32_t>(heapOffset);
    boot.ClusterCount = static_cast<uint32_t>(clusters);
    boot.RootCluster = 2;
    boot.BytesPerSector = m_dwBytesPerSector;
    boot.SectorsPerCluster = bestSpc;
    boot.NumberOfFats = 1;
    ExFatCandidate c = MakeExFatCandidate(boot, first, m_dwBytesPerSector);
    c.FromBackup = 2;
    ExFatBoot check;
    if (!ExFatCandidateBoot(c, &check)) return;
    c.Head.dwFolderMatch = bestVotes;
    c.Head.dwScore = bestVotes;
    std::snprintf(c.Head.szLabel, sizeof(c.Head.szLabel), "exFAT (no boot sector)");
    VlmTrace("exFAT candidate inferred: heap at %lld, %u sectors per cluster, %u folders agree\n",
             static_cast<long long>(bestHeap), bestSpc, bestVotes);
    m_Candidates.push_back(c);
}
