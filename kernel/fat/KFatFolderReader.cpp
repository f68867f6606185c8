#include "fat/KFatFolderReader.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "base/VlmErrors.h"
#include "base/VlmTrace.h"
#include "fat/KFatEntryParser.h"
#include "fat/KFatFileNode.h"
#include "fat/KFatTable.h"
#include "base/IProgress.h"
#include "fs/SalvageRead.h"
#include "base/EngineStrings.h"
#include "volume/IVolumeIO.h"

namespace {

// The identifier of a file that owns no cluster (an empty file: its entry's first cluster is
// 0). Files are identified by their first cluster, but 0 is the root's own identifier; a file
// with it would count as the root itself and vanish from the tree. No folder has this
// identifier (cluster numbers stay below 2^28).
constexpr uint32_t kNoClusterFileId = 0xFFFFFFFFu;

} // namespace

KFatFolderReader::KFatFolderReader(const FatReadContext& context) : m_Ctx(context), m_G(*context.Geometry)
{
    m_Limits.ClusterCount = m_G.ClusterCount;
    m_Limits.VolumeSectors = m_Ctx.VolumeSectors;
    m_Limits.DataStart = m_G.DataStart;
    m_Limits.EndSector = m_G.EndSector;
    m_Limits.BytesPerSector = m_Ctx.BytesPerSector;
    m_RootStart = m_G.RootStart;
    m_RootSectors = m_G.RootSectors;
    const int64_t spc = std::max<uint32_t>(m_G.SectorsPerCluster, 1);
    const int64_t r = (m_RootStart - m_G.DataStart) / spc + 2;
    m_RootCluster = r >= 2 && r <= 0xFFFFFFFF ? static_cast<uint32_t>(r) : 0;

    // Only clusters that lie on the volume can be read; the bit map covers no more of them,
    // whatever cluster count a damaged boot sector implies.
    uint64_t fit = 2;
    if (m_Ctx.VolumeSectors > 0 && static_cast<uint64_t>(std::max<int64_t>(m_G.DataStart, 0)) < m_Ctx.VolumeSectors)
        fit = (m_Ctx.VolumeSectors - static_cast<uint64_t>(std::max<int64_t>(m_G.DataStart, 0))) /
                static_cast<uint64_t>(spc) +
            2;
    m_Visited.assign(static_cast<size_t>(std::min<uint64_t>(m_G.ClusterCount, fit)), false);
    m_ContinuationBudget = m_ContinuationBudgetStart = 2 * static_cast<uint64_t>(m_Visited.size()) + 1024;
    m_MaxFolderClusters = MaxFolderClusters(static_cast<uint64_t>(m_Ctx.BytesPerSector) * static_cast<uint64_t>(spc));
}

uint32_t KFatFolderReader::MaxFolderClusters(uint64_t clusterBytes)
{
    if (clusterBytes == 0) return 1;
    const uint64_t n = (VlmLimits::kMaxFolderEntryBytes + clusterBytes - 1) / clusterBytes;
    return static_cast<uint32_t>(std::clamp<uint64_t>(n, 1, VlmLimits::kMaxFolderEntryBytes));
}

void KFatFolderReader::TraceFolderCut(uint32_t id) const
{
    VlmTrace("FAT folder %u (0 = root) cut after %u clusters: a folder holds at most %llu bytes of entries\n", id,
             m_MaxFolderClusters, static_cast<unsigned long long>(VlmLimits::kMaxFolderEntryBytes));
}

uint32_t KFatFolderReader::ClusterOf(int64_t sector) const
{
    const int64_t spc = std::max<uint32_t>(m_G.SectorsPerCluster, 1);
    if (sector < m_G.DataStart) return 0;
    const int64_t c = (sector - m_G.DataStart) / spc + 2;
    return c <= 0xFFFFFFFF ? static_cast<uint32_t>(c) : 0;
}

bool KFatFolderReader::Mark(uint32_t cluster)
{
    if (cluster < 2 || !InVisitRange(cluster) || m_Visited[cluster]) return false;
    m_Visited[cluster] = true;
    return true;
}

bool KFatFolderReader::ReadSectors(int64_t first, uint32_t count)
{
    if (first < 0 || count == 0 || !m_Ctx.Volume) return false;
    const size_t bytes = static_cast<size_t>(count) * m_Ctx.BytesPerSector;
    if (m_Buffer.size() < bytes) m_Buffer.resize(bytes);
    // A bad sector costs the entries from it on (it reads as zeros, the end-of-folder mark),
    // not the readable entries before it.
    return ReadSectorsSalvaging(*m_Ctx.Volume, static_cast<uint64_t>(first), m_Buffer.data(), count,
                                m_Ctx.BytesPerSector) < count;
}

bool KFatFolderReader::OpensWithDots(size_t bytes) const
{
    const std::optional<FatDirEntryView> dot = FatDirEntryView::At(Held(bytes), 0);
    const std::optional<FatDirEntryView> dotDot = FatDirEntryView::At(Held(bytes), kFatEntrySize);
    return dot && dotDot && dot->IsDot() && dotDot->IsDotDot();
}

tagFatFileNode* KFatFolderReader::AddRecord(uint32_t parentId, const FatParsedEntry& e)
{
    auto* r = m_Ctx.Store->Add<tagFatFileNode>(e.Name);
    if (!r) return nullptr;
    r->wValidMask = FN_MASK_FOUND;
    r->s64Size = e.Size;
    r->ftCreated = static_cast<uint64_t>(e.Created);
    r->ftModified = static_cast<uint64_t>(e.Modified);
    r->wAttributes = e.Attributes;
    r->byKind = static_cast<uint8_t>(FN_KIND_FAT | (e.Deleted ? FN_KIND_DELETED : FN_KIND_PRESENT));
    const bool folder = e.Attributes & FAT_ATTR_FOLDER;
    r->dwSelfId = e.FirstCluster == 0 && !folder ? kNoClusterFileId : e.FirstCluster;
    r->dwParentId = parentId;
    r->dwFirstCluster = e.FirstCluster;
    return r;
}

tagFatFileNode* KFatFolderReader::AddMadeUpRoot(uint32_t cluster)
{
    char name[64];
    std::snprintf(name, sizeof(name), "%s%.5u", EngineString(IDS_ROOT_PREFIX), ++m_MadeUpCounter);
    auto* r = m_Ctx.Store->Add<tagFatFileNode>(name);
    if (!r) return nullptr;
    r->wValidMask = FN_MASK_SYSTEM_FOLDER;
    r->wAttributes = FN_ATTR_FOLDER;
    r->byKind = FN_KIND_FAT | FN_KIND_LOST;
    r->dwSelfId = cluster;
    r->dwFirstCluster = cluster;
    r->dwParentId = 1; // under "Lost Files"
    return r;
}

KFatFolderReader::Walk KFatFolderReader::ParseBuffer(size_t bytes, size_t from, uint32_t parentId, uint32_t* records,
                                                     std::vector<FolderItem>* subfolders, bool deletedParent,
                                                     int64_t* progress)
{
    const uint64_t clusterBytes =
        static_cast<uint64_t>(m_Ctx.BytesPerSector) * std::max<uint32_t>(m_G.SectorsPerCluster, 1);
    const FatDirEntrySlots slots(Held(bytes));
    for (size_t i = from; i < slots.size(); ++i)
    {
        FatParsedEntry parsed;
        if (m_Ctx.Parser->Parse(*slots[i], m_Limits, &parsed) != FatParseOutcome::Record) continue;
        tagFatFileNode* r = AddRecord(parentId, parsed);
        if (!r) return Walk::OutOfMemory;
        if (records) ++*records;
        const bool folder = parsed.Attributes & FAT_ATTR_FOLDER;
        if (!folder && progress && !deletedParent && !parsed.Deleted && clusterBytes != 0)
            *progress += static_cast<int64_t>((parsed.Size + clusterBytes - 1) / clusterBytes);
        // A folder's own cluster is at least 2; 0 or 1 would lead outside the data area.
        if (folder && subfolders && parsed.FirstCluster >= 2 && !Marked(parsed.FirstCluster))
            subfolders->push_back({deletedParent || parsed.Deleted, parsed.FirstCluster,
                                   m_G.ClusterSector(parsed.FirstCluster), m_G.SectorsPerCluster});
    }
    return Walk::Ok;
}

KFatFolderReader::Walk KFatFolderReader::WalkFolder(const FolderItem& item, bool fixedRoot,
                                                    std::vector<FolderItem>* next, int64_t* progress)
{
    int64_t sector = item.Sector;
    uint32_t sectors = item.Sectors;
    for (uint32_t n = 0;; ++n)
    {
        uint32_t cluster = 0;
        if (!fixedRoot)
        {
            cluster = ClusterOf(sector);
            if (!Mark(cluster)) return Walk::Ok;
            if (!item.Deleted) ++*progress;
        }
        if (!ReadSectors(sector, sectors)) return Walk::Ok;
        const size_t bytes = static_cast<size_t>(sectors) * m_Ctx.BytesPerSector;
        // A subfolder's first cluster starts with its dot and dot-dot entries; anything else
        // means the cluster was reused and the folder is gone.
        if (n == 0 && item.Id != 0 && !item.Continued && !OpensWithDots(bytes)) return Walk::Ok;
        if (ParseBuffer(bytes, 0, item.Id, nullptr, next, item.Deleted, progress) == Walk::OutOfMemory)
            return Walk::OutOfMemory;
        if (fixedRoot) return Walk::Ok;
        uint32_t value = m_Ctx.Table->Entry(cluster);
        // Deleting a folder frees its chain. A folder that filled its cluster (no end marker)
        // went on in another one, which may still hold the entries of the rest of its files.
        if (!m_Ctx.Table->IsNextCluster(value) && item.Deleted && value == 0 && !HasEndMarker(bytes))
        {
            uint64_t lastUsed = 0;
            value = DeletedFolderContinuation(cluster, bytes, &lastUsed);
            if (value == 0) DeferContinuation(item.Id, cluster, lastUsed);
        }
        if (!m_Ctx.Table->IsNextCluster(value)) return Walk::Ok;
        if (n + 1 >= m_MaxFolderClusters)
        {
            TraceFolderCut(item.Id);
            return Walk::Ok;
        }
        sector = m_G.ClusterSector(value);
        sectors = std::max<uint32_t>(m_G.SectorsPerCluster, 1);
    }
}

KFatFolderReader::Walk KFatFolderReader::WalkGenerations(std::vector<FolderItem> generation, bool fixedRoot,
                                                         int64_t* value)
{
    IProgress_Server& progress = *m_Ctx.Progress;
    while (!generation.empty() && !m_Canceled)
    {
        std::vector<FolderItem> next;
        for (const FolderItem& item : generation)
        {
            if (WalkFolder(item, fixedRoot, &next, value) == Walk::OutOfMemory) return Walk::OutOfMemory;
            fixedRoot = false;
            progress.SetValue(*value);
            if (progress.IsCanceled())
            {
                m_Canceled = true;
                break;
            }
        }
        generation.swap(next);
    }
    return Walk::Ok;
}

uint32_t KFatFolderReader::ReadVolume()
{
    IProgress_Server& progress = *m_Ctx.Progress;
    progress.SetStage(EStage::ReadFileSystem);
    progress.SetMaxValue(m_Ctx.Table->CountUsed());
    progress.BeginProgress();

    const bool fixedRootType = m_G.FatType == kFatType12 || m_G.FatType == kFatType16;
    int64_t value = 0;
    Walk walk = WalkGenerations({{false, 0, m_G.RootStart, m_G.RootSectors}}, fixedRootType, &value);
    // Deleted folders whose next cluster was not where the write order puts it: now that
    // every folder that can be reached has been walked (its clusters marked), the folder
    // parts still free and unclaimed are looked at again with a looser rule.
    while (walk == Walk::Ok && !m_Deferred.empty() && !m_Canceled)
    {
        std::vector<FolderItem> found;
        walk = WalkDeferredContinuations(&found, &value);
        if (walk == Walk::Ok) walk = WalkGenerations(std::move(found), false, &value);
    }
    progress.EndProgress();
    return walk == Walk::OutOfMemory ? ERROR_NOT_ENOUGH_MEMORY : ERROR_SUCCESS;
}

FatSectorSelection KFatFolderReader::SelectSectors(const std::vector<FatDirSector>& sectors) const
{
    FatSectorSelection sel;
    const int64_t spc = std::max<uint32_t>(m_G.SectorsPerCluster, 1);
    bool any = false;
    for (size_t i = 0; i < sectors.size(); ++i)
    {
        const FatDirSector& d = sectors[i];
        const int64_t s = d.Sector;
        if (s >= m_G.EndSector) break;
        sel.Counted.push_back(false);
        const bool inRoot = s >= m_RootStart && s < m_RootStart + static_cast<int64_t>(m_RootSectors);
        if (inRoot)
        {
            if (!any) sel.First = sel.Last = i;
            any = true;
        }
        else if (s >= m_G.DataStart && (s - m_G.DataStart) % spc == 0 && (d.IsStart == 0 || d.Cluster == ClusterOf(s)))
        {
            if (!any) sel.First = i;
            sel.Last = i;
            any = true;
        }
        else
        {
            continue;
        }
        sel.Counted.back() = true;
        ++sel.Count;
    }
    return sel;
}

KFatFolderReader::Walk KFatFolderReader::ReadScannedFolder(uint32_t cluster, uint32_t id, bool checkDots)
{
    const uint32_t spc = std::max<uint32_t>(m_G.SectorsPerCluster, 1);
    for (uint32_t n = 0;; ++n)
    {
        if (!Mark(cluster)) return Walk::Ok;
        if (!ReadSectors(m_G.ClusterSector(cluster), spc)) return Walk::Ok;
        const size_t bytes = static_cast<size_t>(spc) * m_Ctx.BytesPerSector;
        uint32_t records = 0;
        const bool dotsOk = OpensWithDots(bytes);
        if (!(n == 0 && checkDots && !dotsOk))
            if (ParseBuffer(bytes, 0, id, &records, nullptr, false, nullptr) == Walk::OutOfMemory)
                return Walk::OutOfMemory;
        if (records == 0) return Walk::Ok;
        const uint32_t value = m_Ctx.Table->Entry(cluster);
        if (!m_Ctx.Table->IsNextCluster(value)) return Walk::Ok;
        if (n + 1 >= m_MaxFolderClusters)
        {
            TraceFolderCut(id);
            return Walk::Ok;
        }
        cluster = value;
    }
}

KFatFolderReader::Walk KFatFolderReader::RebuildPass1(const std::vector<FatDirSector>& sectors,
                                                      const FatSectorSelection& sel)
{
    IProgress_Server& progress = *m_Ctx.Progress;
    const int64_t spc = std::max<uint32_t>(m_G.SectorsPerCluster, 1);
    for (size_t i = sel.First; i <= sel.Last && i < sel.Counted.size(); ++i)
    {
        if (!sel.Counted[i]) continue;
        const FatDirSector& d = sectors[i];
        const int64_t s = d.Sector;
        const bool inRoot = s >= m_RootStart && s < m_RootStart + static_cast<int64_t>(m_RootSectors);
        const bool boundary = s >= m_G.DataStart && (s - m_G.DataStart) % spc == 0;
        const uint32_t c = ClusterOf(s);
        const uint32_t id = c == m_RootCluster ? 0 : c;
        Walk w = Walk::Ok;
        if (inRoot && s < m_G.DataStart)
        {
            // The fixed FAT12/16 root area belongs to no cluster: each recorded sector is read alone.
            if (ReadSectors(s, 1)) w = ParseBuffer(m_Ctx.BytesPerSector, 0, 0, nullptr, nullptr, false, nullptr);
        }
        else if (inRoot && !boundary)
        {
            // A later sector of a root cluster: the cluster was read whole from its first sector
            // (and is marked), or that sector was not recorded and the cluster is read from here
            // to its end, once.
            const auto rest = static_cast<uint32_t>(spc - (s - m_G.DataStart) % spc);
            if (Mark(c) && ReadSectors(s, rest))
                w = ParseBuffer(static_cast<size_t>(rest) * m_Ctx.BytesPerSector, 0, id, nullptr, nullptr, false,
                                nullptr);
        }
        else if (boundary && d.IsStart && d.Cluster == c)
        {
            w = ReadScannedFolder(c, id, true);
        }
        else if (boundary && !d.IsStart && inRoot)
        {
            if (!Marked(c) && !AddMadeUpRoot(c)) return Walk::OutOfMemory;
            w = ReadScannedFolder(c, id, false);
        }
        if (w == Walk::OutOfMemory) return w;
        progress.SetValue(++m_Processed);
        if (progress.IsCanceled())
        {
            m_Canceled = true;
            return Walk::Ok;
        }
    }
    return Walk::Ok;
}

KFatFolderReader::Walk KFatFolderReader::RebuildPass2(const std::vector<FatDirSector>& sectors,
                                                      const FatSectorSelection& sel)
{
    IProgress_Server& progress = *m_Ctx.Progress;
    const uint32_t spc = std::max<uint32_t>(m_G.SectorsPerCluster, 1);
    for (size_t i = sel.First; i <= sel.Last && i < sel.Counted.size() && !m_Canceled; ++i)
    {
        const FatDirSector& d = sectors[i];
        const int64_t s = d.Sector;
        if (d.IsStart == 0 && s >= m_G.DataStart)
        {
            const uint32_t c = ClusterOf(s);
            // Marking the fragment's cluster keeps a second fragment sector of the same cluster
            // (already covered by this read) from producing every record twice.
            if (Mark(c))
            {
                if (!AddMadeUpRoot(c)) return Walk::OutOfMemory;
                if (!ReadSectors(s, spc)) return Walk::Ok;
                const uint32_t id = c == m_RootCluster ? 0 : c;
                if (ParseBuffer(static_cast<size_t>(spc) * m_Ctx.BytesPerSector, 0, id, nullptr, nullptr, false,
                                nullptr) == Walk::OutOfMemory)
                    return Walk::OutOfMemory;
            }
        }
        if (!sel.Counted[i]) continue;
        progress.SetValue(++m_Processed);
        if (progress.IsCanceled()) m_Canceled = true;
    }
    return Walk::Ok;
}

uint32_t KFatFolderReader::Rebuild(const std::vector<FatDirSector>& sectors, const FatSectorSelection& selection)
{
    IProgress_Server& progress = *m_Ctx.Progress;
    progress.SetStage(EStage::ReadFileSystem);
    progress.SetMaxValue(selection.Count);
    progress.BeginProgress();
    m_MadeUpCounter = 0;
    m_Processed = 0;
    Walk w = RebuildPass1(sectors, selection);
    if (w == Walk::Ok && !m_Canceled) w = RebuildPass2(sectors, selection);
    progress.EndProgress();
    return w == Walk::OutOfMemory ? ERROR_NOT_ENOUGH_MEMORY : ERROR_SUCCESS;
}
