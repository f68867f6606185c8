#include "fs/KFileTreeBuilder.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/VlmErrors.h"
#include "fs/KFileNode.h"
#include "fs/KNodeTree.h"
#include "fs/tagFileNode.h"
#include "base/EngineStrings.h"

namespace {

const tagIdFileNode* Ids(const tagTreeNode* node) { return static_cast<const tagIdFileNode*>(node->pRecord); }

bool HasFolderBits(const tagIdFileNode* r)
{
    return (r->wValidMask & FN_MASK_ATTRIBUTES) && (r->wAttributes & FN_ATTR_FOLDER);
}

// A record that takes part in the folder pass: a folder with an identifier of its own.
bool IsLinkedFolder(const tagIdFileNode* r)
{
    return HasFolderBits(r) && r->dwSelfId != 0 && r->dwSelfId != r->dwParentId;
}

// Records that never get a node of their own in the file pass: self-parented ones, files
// without a size (an empty file whose size is known is a file like any other: a marker file,
// an empty document), files without identifier, and folders (already in the tree).
bool IsDroppedInFilePass(const tagIdFileNode* r)
{
    const bool sized = r->s64Size > 0 || (r->s64Size == 0 && (r->wValidMask & FN_MASK_SIZE));
    return r->dwSelfId == r->dwParentId || !sized || r->dwSelfId == 0 || HasFolderBits(r);
}

// Would hanging a record with ids (self, parent) below `from` close a loop? Walks from `from`
// up to the root; the walk is bounded by the number of folder nodes.
bool ClosesLoop(const tagTreeNode* from, uint32_t self, uint32_t parent, size_t bound)
{
    for (size_t steps = 0; from && steps <= bound; from = from->pParent, ++steps)
    {
        const tagIdFileNode* a = Ids(from);
        if (a->dwSelfId == self || (a->dwSelfId == parent && a->dwParentId == self)) return true;
    }
    return false;
}

class BuildRun
{
public:
    BuildRun(KFileNode& store, KNodeTree& tree, IProgress_Server& progress)
        : m_Store(store), m_Tree(tree), m_Progress(progress), m_Count(static_cast<size_t>(store.GetCount()))
    {}

    uint32_t Run();

private:
    const tagIdFileNode* Record(size_t i) const { return m_Store.Get<tagIdFileNode>(static_cast<int>(i)); }
    void Step() { m_Progress.SetValue(++m_s64Value); }
    bool CollectFolders();
    bool FolderPass();
    bool FilePass();
    void OrphanPass();
    tagTreeNode* MadeUpFolder(uint32_t id);

    KFileNode& m_Store;
    KNodeTree& m_Tree;
    IProgress_Server& m_Progress;
    size_t m_Count;
    int64_t m_s64Value = 0;
    std::vector<tagTreeNode*> m_Folders;
    tagTreeNode* m_pLost = nullptr;
    std::vector<uint64_t> m_Order; // (parent id << 32 | record index), sorted
    std::vector<uint8_t> m_Placed;
    std::unordered_map<uint32_t, tagTreeNode*> m_MadeUp;
    int m_nDirCounter = 0;
};

bool BuildRun::CollectFolders()
{
    m_Folders.push_back(m_Tree.GetRoot());
    for (size_t i = 1; i < m_Count; ++i)
    {
        const tagIdFileNode* r = Record(i);
        if (!IsLinkedFolder(r)) continue;
        tagTreeNode* node = m_Tree.NewNode();
        if (!node) return false;
        node->pRecord = const_cast<tagIdFileNode*>(r);
        m_Folders.push_back(node);
    }
    // "Lost Files" is record 1; a store that lacks it keeps its orphans under the root.
    m_pLost = (m_Folders.size() > 1 && m_Folders[1]->pRecord == Record(1)) ? m_Folders[1] : m_Tree.GetRoot();
    return true;
}

// Every folder goes under the first folder (root first, then record order) that carries its
// parent id and does not close a loop, else under "Lost Files". The candidates are found by
// binary search over the folders sorted by id, visited in list order: the same choice as
// comparing every folder with every other one, in logarithmic time.
bool BuildRun::FolderPass()
{
    std::vector<std::pair<uint32_t, uint32_t>> byId; // (self id, list position)
    byId.reserve(m_Folders.size());
    for (size_t k = 0; k < m_Folders.size(); ++k)
    {
        const uint32_t id = Ids(m_Folders[k])->dwSelfId; // packed field: never bind a reference
        byId.emplace_back(id, static_cast<uint32_t>(k));
    }
    std::sort(byId.begin(), byId.end());
    const size_t bound = m_Folders.size();

    for (size_t k = 1; k < m_Folders.size(); ++k)
    {
        if (m_Progress.IsCanceled()) return false;
        Step();
        tagTreeNode* f = m_Folders[k];
        const tagIdFileNode* fr = Ids(f);
        bool placed = false;
        const uint32_t parentId = fr->dwParentId;
        auto it = std::lower_bound(byId.begin(), byId.end(), std::make_pair(parentId, uint32_t{0}));
        for (; !placed && it != byId.end() && it->first == parentId; ++it)
        {
            tagTreeNode* p = m_Folders[it->second];
            const tagIdFileNode* pr = Ids(p);
            if (p == f || ClosesLoop(p->pParent, fr->dwSelfId, fr->dwParentId, bound)) continue;
            if (pr->dwParentId == fr->dwSelfId) continue; // the two name each other as parent
            KNodeTree::LinkChild(p, f);
            placed = true;
        }
        if (!placed) KNodeTree::LinkChild(f == m_pLost ? m_Tree.GetRoot() : m_pLost, f);
    }
    return true;
}

// Files are joined to their folders in one forward merge of the records sorted by parent id
// and the folders sorted by id. Folders sharing an id each receive every file of that id.
bool BuildRun::FilePass()
{
    std::stable_sort(m_Folders.begin(), m_Folders.end(),
                     [](const tagTreeNode* a, const tagTreeNode* b) { return Ids(a)->dwSelfId < Ids(b)->dwSelfId; });
    const size_t bound = m_Folders.size();
    size_t p = 0;
    for (size_t fi = 0; fi < m_Folders.size(); ++fi)
    {
        tagTreeNode* f = m_Folders[fi];
        const tagIdFileNode* fr = Ids(f);
        if (fr->dwParentId == fr->dwSelfId && fr->dwSelfId != 0) continue;
        const size_t start = p;
        for (; p < m_Count; ++p)
        {
            const tagIdFileNode* r = Record(static_cast<uint32_t>(m_Order[p]));
            if (r->dwSelfId != r->dwParentId && r->dwParentId > fr->dwSelfId) break;
            if (IsDroppedInFilePass(r))
            {
                m_Placed[p] = 1;
                continue;
            }
            if (m_Progress.IsCanceled()) return false;
            if (!m_Placed[p]) Step();
            if (r->dwParentId != fr->dwSelfId || ClosesLoop(f->pParent, r->dwSelfId, r->dwParentId, bound)) continue;
            tagTreeNode* node = m_Tree.NewNode();
            if (!node) return false;
            node->pRecord = const_cast<tagIdFileNode*>(r);
            KNodeTree::LinkChild(f, node);
            m_Placed[p] = 1;
        }
        if (p != start && fi + 1 < m_Folders.size() && Ids(m_Folders[fi + 1])->dwSelfId == fr->dwSelfId) p = start;
    }
    return true;
}

tagTreeNode* BuildRun::MadeUpFolder(uint32_t id)
{
    auto found = m_MadeUp.find(id);
    if (found != m_MadeUp.end()) return found->second;
    char name[64];
    std::snprintf(name, sizeof(name), "%s%.5d", EngineString(IDS_DIR_PREFIX), ++m_nDirCounter);
    auto* r = m_Store.Add<tagIdFileNode>(name);
    tagTreeNode* node = r ? m_Tree.NewNode() : nullptr;
    if (!node) return nullptr;
    r->dwSelfId = id;
    r->dwParentId = id;
    r->wValidMask = FN_MASK_LOST_FOLDER;
    r->wAttributes = FN_ATTR_FOLDER;
    r->byKind = FN_KIND_LOST;
    node->pRecord = r;
    KNodeTree::LinkChild(m_pLost, node);
    m_MadeUp.emplace(id, node);
    return node;
}

// Whatever the file pass did not place goes, grouped by parent id, into made-up folders under
// "Lost Files". Records the file pass never reached are held to the same exclusions, so an
// empty file or a folder record never shows up here either.
void BuildRun::OrphanPass()
{
    for (size_t p = 0; p < m_Count; ++p)
    {
        if (m_Placed[p]) continue;
        Step();
        auto* r = const_cast<tagIdFileNode*>(Record(static_cast<uint32_t>(m_Order[p])));
        if (IsDroppedInFilePass(r)) continue;
        tagTreeNode* folder = MadeUpFolder(r->dwParentId);
        tagTreeNode* node = folder ? m_Tree.NewNode() : nullptr;
        if (!node) return;
        node->pRecord = r;
        KNodeTree::LinkChild(folder, node);
    }
}

uint32_t BuildRun::Run()
{
    if (!m_Tree.SetRoot(m_Store.GetNode(0))) return ERROR_NOT_ENOUGH_MEMORY;
    m_Tree.SetStore(&m_Store);
    m_Progress.SetStage(EStage::BuildTree);
    m_Progress.SetMaxValue(static_cast<int64_t>(m_Count));
    m_Progress.BeginProgress();
    try
    {
        if (!CollectFolders())
        {
            m_Progress.EndProgress();
            return ERROR_NOT_ENOUGH_MEMORY;
        }
        if (FolderPass())
        {
            m_Order.resize(m_Count);
            m_Placed.assign(m_Count, 0);
            for (size_t i = 0; i < m_Count; ++i) m_Order[i] = (uint64_t{Record(i)->dwParentId} << 32) | i;
            std::sort(m_Order.begin(), m_Order.end());
            if (FilePass()) OrphanPass();
        }
    }
    catch (const std::bad_alloc&)
    {
        if (m_Order.size() != m_Count || m_Placed.size() != m_Count)
        {
            m_Progress.EndProgress();
            return ERROR_NOT_ENOUGH_MEMORY;
        }
    }
    m_Order = {};
    m_Placed = {};
    m_Progress.EndProgress();
    m_Tree.RemoveCycles();
    // Two copies prune empty folders and together restore every sibling order.
    KNodeTree copy;
    copy.CopyFrom(m_Tree);
    m_Tree.Clear();
    m_Tree.CopyFrom(copy);
    return ERROR_SUCCESS;
}
} // namespace

uint32_t KFileTreeBuilder::Build(KFileNode& store, KNodeTree& tree, IProgress_Server& progress)
{
    tree.Clear();
    if (store.GetCount() == 0 || store.GetExtra() < FN_EXTRA_IDS) return ERROR_INVALID_PARAMETER;
    try
    {
        BuildRun run(store, tree, progress);
        return run.Run();
    }
    catch (const std::bad_alloc&)
    {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}
