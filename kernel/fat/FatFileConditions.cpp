#include "fat/FatFileConditions.h"

#include <algorithm>
#include <vector>

#include "base/ResourceLimits.h"
#include "fat/KFatTable.h"
#include "fs/KClusterBitmap.h"
#include "fs/KNodeTree.h"
#include "fs/OverlappingSpans.h"

namespace {

struct FileEntry
{
    tagFatFileNode* pRecord;
    bool bDeleted; // the entry or a folder above it is deleted
};

// Every file record of the tree once, marked deleted when it or any folder above it is. A
// record hung under two folders counts as deleted when either path says so.
std::vector<FileEntry> CollectFiles(KNodeTree& tree)
{
    std::vector<FileEntry> files;
    std::vector<std::pair<tagTreeNode*, bool>> stack;
    if (tree.GetRoot()) stack.emplace_back(tree.GetRoot(), false);
    while (!stack.empty())
    {
        auto [node, deletedAbove] = stack.back();
        stack.pop_back();
        const tagFileNode* r = node->pRecord;
        const bool deleted = deletedAbove || (r && (r->byKind & FN_KIND_DELETED));
        if (r && IsFileRecord(r) && !node->pFirstChild)
            files.push_back({static_cast<tagFatFileNode*>(node->pRecord), deleted});
        for (tagTreeNode* child = node->pFirstChild; child; child = child->pNext) stack.emplace_back(child, deleted);
    }
    std::sort(files.begin(), files.end(), [](const FileEntry& a, const FileEntry& b) {
        return a.pRecord < b.pRecord || (a.pRecord == b.pRecord && a.bDeleted > b.bDeleted);
    });
    files.erase(std::unique(files.begin(), files.end(),
                            [](const FileEntry& a, const FileEntry& b) { return a.pRecord == b.pRecord; }),
                files.end());
    return files;
}

class FatJudge
{
public:
    FatJudge(const KFatTable& table, const FatGeometry& g, uint32_t bytesPerSector)
        : m_Table(table), m_Geometry(g), m_BytesPerSector(bytesPerSector), m_ClusterCount(g.ClusterCount),
          m_ClusterBytes(static_cast<uint64_t>(bytesPerSector) * std::max<uint32_t>(g.SectorsPerCluster, 1)),
          m_Budget(VlmLimits::kChainCheckFactor * g.ClusterCount)
    {}

    bool BuildMap()
    {
        if (m_Table.Empty() || m_ClusterBytes == 0 || !m_Allocated.Reset(m_ClusterCount)) return false;
        for (uint32_t c = 2; c < m_ClusterCount; ++c)
            if (m_Table.Entry(c) != 0) m_Allocated.SetRange(c, 1);
        return true;
    }

    // The clusters a copy reads for `size` bytes (a FAT file holds less than 4 GiB).
    uint64_t Clusters(int64_t size) const
    {
        const uint64_t bytes = std::min<uint64_t>(static_cast<uint64_t>(std::max<int64_t>(size, 0)), 0xFFFFFFFFu);
        return (bytes + m_ClusterBytes - 1) / m_ClusterBytes;
    }

    // A present file's chain: allocated from its first cluster, at least as long as the file.
    // False also once the walk has used up its budget (chains shared by several records).
    bool ChainHolds(const tagFatFileNode* r)
    {
        const uint64_t need = Clusters(r->s64Size);
        uint32_t c = r->dwFirstCluster;
        for (uint64_t n = 1;; ++n)
        {
            if (c < 2 || c >= m_ClusterCount || m_Budget == 0) return false;
            --m_Budget;
            const uint32_t next = m_Table.Entry(c);
            if (next == 0) return false;
            if (n >= need) return true;
            if (!m_Table.IsNextCluster(next)) return false;
            c = next;
        }
    }

    // A deleted file is read from its first cluster on through the free clusters (the table's
    // Runs), or along the chain of whatever file took that first cluster: then it is
    // overwritten. Free clusters all in a row from the first are the file's as far as the
    // table tells; where used clusters lie between, the free ones after them may be the file's
    // rest or free space it never had, and nothing tells which. `*end` receives the cluster
    // after the last one read when the first is free, else the first.
    uint8_t DeletedCondition(const tagFatFileNode* r, uint64_t* end) const
    {
        const uint64_t first = r->dwFirstCluster;
        *end = first;
        if (first < 2 || first >= m_ClusterCount) return FN_COND_UNKNOWN;
        if (m_Allocated.AnySet(first, 1)) return FN_COND_OVERWRITTEN;
        const uint64_t count = Clusters(r->s64Size);
        const std::vector<FatRun> runs =
            m_Table.Runs(m_Geometry, m_BytesPerSector, r->dwFirstCluster, static_cast<uint64_t>(r->s64Size));
        const uint64_t spc = std::max<uint32_t>(m_Geometry.SectorsPerCluster, 1);
        if (!runs.empty())
            *end = static_cast<uint64_t>(
                       std::max<int64_t>(runs.back().FirstSector + runs.back().SectorCount - m_Geometry.DataStart, 0)) /
                    spc +
                2;
        return *end == first + count && m_Allocated.Covers(first, count) && !m_Allocated.AnySet(first, count)
            ? FN_COND_INTACT
            : FN_COND_UNKNOWN;
    }

private:
    const KFatTable& m_Table;
    const FatGeometry& m_Geometry;
    uint32_t m_BytesPerSector;
    uint32_t m_ClusterCount;
    uint64_t m_ClusterBytes;
    uint64_t m_Budget;
    KClusterBitmap m_Allocated;
};

} // namespace

void MarkFatConditions(KNodeTree& tree, const KFatTable& table, const FatGeometry& geometry, uint32_t bytesPerSector)
{
    std::vector<FileEntry> files = CollectFiles(tree);
    for (FileEntry& f : files) f.pRecord->byCondition = FN_COND_UNKNOWN;
    FatJudge judge(table, geometry, bytesPerSector);
    if (!judge.BuildMap()) return;
    for (const FileEntry& f : files)
        if (!f.bDeleted && f.pRecord->s64Size > 0 && !judge.ChainHolds(f.pRecord))
            return; // the table does not describe these files
    // The spans of the deleted files read from a free first cluster.
    std::vector<ClusterSpan> spans;
    for (FileEntry& f : files)
    {
        tagFatFileNode* r = f.pRecord;
        if (r->s64Size <= 0 || !f.bDeleted)
        {
            r->byCondition = FN_COND_INTACT;
            continue;
        }
        uint64_t end = 0;
        r->byCondition = judge.DeletedCondition(r, &end);
        if (end > r->dwFirstCluster) spans.push_back({r->dwFirstCluster, end, r});
    }
    MarkOverlappingSpans(spans);
}
