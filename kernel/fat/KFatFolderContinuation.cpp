// Deleted folders past their first cluster. Deleting a folder frees its whole chain, so the
// clusters after the first are found again among the free ones: by where the writer put them
// (right after the data of the files listed so far, or after the data of the file whose entry
// overflowed the folder), and failing that, once every reachable folder is walked, as the
// first unclaimed free folder part whose first file lies past the listed ones.
#include <algorithm>

#include "fat/KFatEntryParser.h"
#include "fat/KFatFolderReader.h"
#include "base/VlmTrace.h"
#include "fat/KFatTable.h"
#include "base/IProgress.h"

uint64_t KFatFolderReader::FirstFileCluster(ByteView sector)
{
    for (const FatDirEntryView e : FatDirEntrySlots(sector))
    {
        if (e.IsUnused()) break;
        if (!e.IsLongName() && e.FirstCluster() >= 2) return e.FirstCluster();
    }
    return 0;
}

bool KFatFolderReader::AllEntriesValid(ByteView sector) const
{
    // The last cluster of a folder may hold no more than a file's last two or three entries,
    // too few for the majority rule of LooksLikeFolderPart; every one of them must be sound.
    size_t walked = 0;
    for (const FatDirEntryView e : FatDirEntrySlots(sector))
    {
        if (e.IsUnused()) break;
        if (!IsValidEntry(e, m_Limits) || !HasValidTimes(e)) return false;
        ++walked;
    }
    return walked > 0;
}

bool KFatFolderReader::HasEndMarker(size_t bytes) const
{
    for (const FatDirEntryView e : FatDirEntrySlots(Held(bytes)))
        if (e.IsUnused()) return true;
    return false;
}

uint64_t KFatFolderReader::LastListedCluster(uint32_t cluster, size_t bytes) const
{
    // Files taken as stored without fragments, as deleted files are copied out. The folder's
    // own cluster does not count: a writer that adds the entries last puts it after the data.
    const uint64_t clusterBytes =
        static_cast<uint64_t>(m_Ctx.BytesPerSector) * std::max<uint32_t>(m_G.SectorsPerCluster, 1);
    uint64_t lastUsed = 0;
    if (clusterBytes == 0) return cluster;
    for (const FatDirEntryView e : FatDirEntrySlots(Held(bytes)))
    {
        if (e.IsLongName() || e.IsDot() || e.IsDotDot() || !IsValidEntry(e, m_Limits)) continue;
        const uint64_t first = e.FirstCluster();
        const uint64_t count = std::max<uint64_t>((e.FileSize() + clusterBytes - 1) / clusterBytes, 1);
        if (first >= 2 && first + count - 1 < m_G.ClusterCount) lastUsed = std::max(lastUsed, first + count - 1);
    }
    return lastUsed != 0 ? lastUsed : cluster;
}

bool KFatFolderReader::ContinuesFolder(uint64_t c, uint64_t lastUsed, bool loose)
{
    if (c < 2 || c >= m_G.ClusterCount || c >= m_Visited.size() || m_ContinuationBudget == 0) return false;
    --m_ContinuationBudget;
    const auto next = static_cast<uint32_t>(c);
    if (Marked(next) || m_Ctx.Table->Entry(next) != 0 || m_ContinuationReads == 0) return false;
    --m_ContinuationReads;
    if (!ReadSectors(m_G.ClusterSector(next), 1)) return false;
    const ByteView sector(m_Buffer.data(), m_Ctx.BytesPerSector);
    const std::optional<FatDirEntryView> lead = FatDirEntryView::At(sector, 0);
    if (!lead || lead->IsDot() || !(LooksLikeFolderPart(sector, m_Limits) || AllEntriesValid(sector))) return false;
    // Strict: its first file starts right after the listed ones (data before entry) or right
    // after the cluster itself (entry before data); another folder's part is passed over.
    // Loose: anywhere past the listed files and not after the cluster.
    const uint64_t first = FirstFileCluster(sector);
    if (first == lastUsed + 1 || first == c + 1) return true;
    return loose && first > lastUsed && first <= c + 1;
}

uint32_t KFatFolderReader::SearchContinuation(uint32_t cluster, uint64_t lastUsed, bool loose)
{
    const uint64_t clusterBytes =
        static_cast<uint64_t>(m_Ctx.BytesPerSector) * std::max<uint32_t>(m_G.SectorsPerCluster, 1);
    if (clusterBytes == 0) return 0;
    // A writer that adds the entries last gives a folder all its later clusters at once: the
    // next one is right after the one just read.
    if (uint64_t{cluster} + 1 > lastUsed + 1 && ContinuesFolder(uint64_t{cluster} + 1, lastUsed, loose))
        return cluster + 1;
    const uint64_t window = std::max<uint64_t>(kContinuationSearchBytes / clusterBytes, 1);
    const uint64_t end = std::min<uint64_t>({lastUsed + 1 + window, m_G.ClusterCount, m_Visited.size()});
    for (uint64_t c = lastUsed + 1; c < end && m_ContinuationBudget > 0 && m_ContinuationReads > 0; ++c)
    {
        if (ContinuesFolder(c, lastUsed, loose)) return static_cast<uint32_t>(c);
        // A long search on a slow disk must not keep a cancel waiting.
        if ((c & 0xFFF) == 0 && m_Ctx.Progress && m_Ctx.Progress->IsCanceled())
        {
            m_Canceled = true;
            return 0;
        }
    }
    if ((m_ContinuationBudget == 0 || m_ContinuationReads == 0) && !m_ContinuationCutTraced)
    {
        m_ContinuationCutTraced = true;
        VlmTrace("FAT deleted folder after cluster %u not followed on: the searches of this walk have used their "
                 "%llu clusters or %llu sector reads\n",
                 cluster, static_cast<unsigned long long>(m_ContinuationBudgetStart),
                 static_cast<unsigned long long>(VlmLimits::kMaxFolderContinuationReads));
    }
    return 0;
}

uint32_t KFatFolderReader::DeletedFolderContinuation(uint32_t cluster, size_t bytes, uint64_t* lastUsed)
{
    *lastUsed = LastListedCluster(cluster, bytes);
    return SearchContinuation(cluster, *lastUsed, false);
}

void KFatFolderReader::DeferContinuation(uint32_t id, uint32_t cluster, uint64_t lastUsed)
{
    if (m_Deferred.size() >= VlmLimits::kMaxDeferredFolderSearches)
    {
        VlmTrace("FAT deleted folder %u not followed past cluster %u: %zu searches wait already\n", id, cluster,
                 VlmLimits::kMaxDeferredFolderSearches);
        return;
    }
    // A long name may run on from the last cluster into the next; its parts go with the search.
    DeferredSearch d{id, cluster, lastUsed, m_Ctx.Parser->Store()};
    m_Deferred.push_back(std::move(d));
}

KFatFolderReader::Walk KFatFolderReader::WalkDeferredContinuations(std::vector<FolderItem>* next, int64_t* progress)
{
    std::vector<DeferredSearch> searches;
    searches.swap(m_Deferred);
    for (const DeferredSearch& d : searches)
    {
        if (m_Canceled) break;
        const uint32_t cluster = SearchContinuation(d.Cluster, d.LastUsed, true);
        if (cluster == 0) continue;
        m_Ctx.Parser->Restore(d.Parser);
        const FolderItem item{true, d.Id, m_G.ClusterSector(cluster), std::max<uint32_t>(m_G.SectorsPerCluster, 1),
                              true};
        if (WalkFolder(item, false, next, progress) == Walk::OutOfMemory) return Walk::OutOfMemory;
    }
    return Walk::Ok;
}
