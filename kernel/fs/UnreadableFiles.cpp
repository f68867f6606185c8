#include "fs/UnreadableFiles.h"

#include <algorithm>
#include <new>
#include <vector>

#include "fs/IFileSystem.h"
#include "fs/KNodeTree.h"
#include "fs/KSectorRanges.h"

namespace {

// Each file record of the tree once, in the order of its store (the order a listing read the
// records in, so file systems that read a record to locate the data read them in turn).
std::vector<tagFileNode*> FilesInStoreOrder(const KNodeTree& tree)
{
    std::vector<tagFileNode*> files;
    std::vector<const tagTreeNode*> stack;
    if (tree.GetRoot()) stack.push_back(tree.GetRoot());
    while (!stack.empty())
    {
        const tagTreeNode* node = stack.back();
        stack.pop_back();
        if (!node->pFirstChild && IsFileRecord(node->pRecord)) files.push_back(node->pRecord);
        for (const tagTreeNode* child = node->pFirstChild; child; child = child->pNext) stack.push_back(child);
    }
    std::sort(files.begin(), files.end(), [](const tagFileNode* a, const tagFileNode* b) {
        return a->pszName != b->pszName ? a->pszName < b->pszName : a < b;
    });
    files.erase(std::unique(files.begin(), files.end()), files.end());
    return files;
}

} // namespace

uint32_t MarkUnreadableFiles(IFileSystem& fs, const KNodeTree& tree, const KSectorRanges& unreadable)
{
    if (unreadable.Empty()) return 0;
    uint32_t marked = 0;
    try
    {
        StreamVector runs;
        for (tagFileNode* record : FilesInStoreOrder(tree))
        {
            if (fs.IsCanceled()) break;
            if (record->byCondition == FN_COND_OVERWRITTEN || !fs.GetDataRuns(record, &runs)) continue;
            const bool touches = std::any_of(runs.begin(), runs.end(), [&](const tagStreamBlock& run) {
                return run.s64FirstSector >= 0 &&
                    unreadable.Intersects(static_cast<uint64_t>(run.s64FirstSector), run.dwSectorCount);
            });
            if (touches)
            {
                record->byCondition = FN_COND_UNREADABLE;
                ++marked;
            }
        }
    }
    catch (const std::bad_alloc&)
    {
        // The files not reached keep the condition they had.
    }
    return marked;
}
