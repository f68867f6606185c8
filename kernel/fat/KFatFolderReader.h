#pragma once
// The two folder walks that fill the record store of a selected FAT file system: the ordinary
// walk of the volume's own file system (breadth-first from the root through the FAT chains,
// deleted entries included, and deleted folders on into the free clusters that continue them) and the rebuild of a scan candidate from the folder sectors the
// scan recorded. Both are bounded whatever the disk says: a cluster is read at most once, a
// folder chain is followed for no more clusters than hold a folder's 65,536 entries, and every
// cluster number is checked against the table and the volume before it is read.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "base/ResourceLimits.h"
#include "base/ByteView.h"
#include "fat/KFatEntryParser.h"
#include "format/fat/FatDirEntry.h"
#include "format/fat/FatGeometry.h"
#include "format/fat/FatLayout.h"

class IVolumeIO;
class IProgress_Server;
class KFatFileNode;
class KFatTable;
struct tagFatFileNode;

struct FatReadContext
{
    IVolumeIO* Volume = nullptr;
    uint32_t BytesPerSector = 0;
    uint64_t VolumeSectors = 0;
    const FatGeometry* Geometry = nullptr;
    const KFatTable* Table = nullptr;
    KFatEntryParser* Parser = nullptr;
    KFatFileNode* Store = nullptr;
    IProgress_Server* Progress = nullptr;
};

// The folder sectors of the scan that belong to one candidate.
struct FatSectorSelection
{
    size_t First = 0;
    size_t Last = 0;
    uint32_t Count = 0;
    std::vector<bool> Counted; // per list position up to Last
};

class KFatFolderReader
{
public:
    /// Clusters of `clusterBytes` that hold the most entries a folder can have: the longest
    /// chain a folder is followed along.
    static uint32_t MaxFolderClusters(uint64_t clusterBytes);
    /// Bytes after the data of a deleted folder's files in which its next cluster is looked
    /// for: the data of the file whose entry overflowed the folder, or (a writer that adds a
    /// folder's entries last) of all its other files, may lie between. Only free clusters are
    /// read, one sector each.
    static constexpr uint64_t kContinuationSearchBytes = uint64_t{1} << 30;

    explicit KFatFolderReader(const FatReadContext& context);

    /// The ordinary walk; the store holds the root records already. 0, or 8 out of memory.
    uint32_t ReadVolume();

    FatSectorSelection SelectSectors(const std::vector<FatDirSector>& sectors) const;
    /// Passes 1 and 2 of the rebuild over a selection with Count > 0. 0, or 8.
    uint32_t Rebuild(const std::vector<FatDirSector>& sectors, const FatSectorSelection& selection);

private:
    struct FolderItem
    {
        bool Deleted;
        uint32_t Id;
        int64_t Sector;
        uint32_t Sectors;
        bool Continued = false; // a deleted folder's later cluster: no dot entries
    };
    // A deleted folder whose next cluster was not found where the write order puts it.
    struct DeferredSearch
    {
        uint32_t Id;
        uint32_t Cluster; // the folder's last cluster read
        uint64_t LastUsed;
        KFatEntryParser::Stored Parser; // the entry parser's state after the folder's last cluster
    };
    enum class Walk
    {
        Ok,
        OutOfMemory
    };

    uint32_t ClusterOf(int64_t sector) const;
    void TraceFolderCut(uint32_t id) const;
    bool InVisitRange(uint32_t cluster) const { return cluster < m_Visited.size(); }
    bool Marked(uint32_t cluster) const { return InVisitRange(cluster) && m_Visited[cluster]; }
    /// Marks `cluster`; false when it is outside the volume's clusters or marked already.
    bool Mark(uint32_t cluster);
    bool ReadSectors(int64_t first, uint32_t count);
    /// The buffer's first `bytes` (as far as it holds them).
    ByteView Held(size_t bytes) const { return ByteView(m_Buffer).first(std::min(bytes, m_Buffer.size())); }
    /// True when the buffer's first `bytes` open with a folder's dot and dot-dot entries.
    bool OpensWithDots(size_t bytes) const;
    tagFatFileNode* AddRecord(uint32_t parentId, const struct FatParsedEntry& entry);
    tagFatFileNode* AddMadeUpRoot(uint32_t cluster);
    /// Parses entries [from, end) of the buffer; `records` counts the records made.
    Walk ParseBuffer(size_t bytes, size_t from, uint32_t parentId, uint32_t* records,
                     std::vector<FolderItem>* subfolders, bool deletedParent, int64_t* progress);
    Walk WalkFolder(const FolderItem& item, bool fixedRoot, std::vector<FolderItem>* next, int64_t* progress);
    /// The first cluster of the first entry of `sector` that has one, or 0.
    static uint64_t FirstFileCluster(ByteView sector);
    /// True when every entry of `sector` before its end marker is valid, and there is one.
    bool AllEntriesValid(ByteView sector) const;
    /// True when the first `bytes` of the buffer hold a folder's end marker (a zero first byte).
    bool HasEndMarker(size_t bytes) const;
    /// The last cluster of the files listed in the buffer's first `bytes` (`cluster` itself
    /// when none is).
    uint64_t LastListedCluster(uint32_t cluster, size_t bytes) const;
    /// True when free cluster `c` reads as the next part of a deleted folder whose files so
    /// far end at `lastUsed`. Reads into the buffer; counts against the search budget.
    bool ContinuesFolder(uint64_t c, uint64_t lastUsed, bool loose);
    /// The free cluster that goes on with a deleted folder whose last cluster read is
    /// `cluster`, or 0. Reads into the buffer.
    uint32_t SearchContinuation(uint32_t cluster, uint64_t lastUsed, bool loose);
    /// The strict search for the deleted folder whose `cluster` (its entries in the buffer's
    /// first `bytes`) was just read; `lastUsed` receives where the search began.
    uint32_t DeletedFolderContinuation(uint32_t cluster, size_t bytes, uint64_t* lastUsed);
    void DeferContinuation(uint32_t id, uint32_t cluster, uint64_t lastUsed);
    /// The loose searches of the deferred folders; each found cluster is walked as its folder.
    Walk WalkDeferredContinuations(std::vector<FolderItem>* next, int64_t* progress);
    Walk WalkGenerations(std::vector<FolderItem> generation, bool fixedRoot, int64_t* progress);
    Walk ReadScannedFolder(uint32_t cluster, uint32_t id, bool checkDots);
    Walk RebuildPass1(const std::vector<FatDirSector>& sectors, const FatSectorSelection& sel);
    Walk RebuildPass2(const std::vector<FatDirSector>& sectors, const FatSectorSelection& sel);

    FatReadContext m_Ctx;
    const FatGeometry& m_G;
    FatEntryLimits m_Limits;
    std::vector<bool> m_Visited;
    std::vector<uint8_t> m_Buffer;
    uint32_t m_MaxFolderClusters = 1;
    uint32_t m_RootCluster = 0; // the cluster whose folder is the root in a rebuild
    int64_t m_RootStart = 0;
    uint32_t m_RootSectors = 0;
    uint32_t m_MadeUpCounter = 0;
    int64_t m_Processed = 0;
    /// Clusters all continuation searches of one walk may look at together: twice the
    /// volume, whatever hostile folders ask for; and the sectors they may read, so that many
    /// folders whose continuation is gone cost minutes at worst on a slow disk.
    uint64_t m_ContinuationBudget = 0;
    uint64_t m_ContinuationBudgetStart = 0;
    uint64_t m_ContinuationReads = VlmLimits::kMaxFolderContinuationReads;
    std::vector<DeferredSearch> m_Deferred;
    bool m_ContinuationCutTraced = false;
    bool m_Canceled = false;
};
