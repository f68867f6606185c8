#pragma once
// The virtual file tree the user interface shows: small tree nodes, each pointing at one record
// of a record store (KFileNode). A tree never owns records; several trees may point into one
// store. Nodes come from a pool and are released only as a whole (Clear); pruning and
// filtering just unlink them.
//
// Children form a singly linked list; a new child is always put at the head, so a list is in
// the reverse order of insertion, and copying a tree twice restores every order.
#include <cstdint>
#include <functional>

#include "base/KMemoryPool.h"
#include "fs/IDataStorage.h"
#include "base/IProgress.h"
#include "fs/tagFileNode.h"

class KFileNode;

#pragma pack(push, 1)
struct tagTreeNode
{
    uint8_t byCheck;          // 0 not selected, 1 partly selected, 2 selected
    tagFileNode* pRecord;     // the record shown (not owned)
    tagTreeNode* pParent;     // null for the root
    tagTreeNode* pNext;       // next sibling
    tagTreeNode* pFirstChild; // null for a leaf
};
#pragma pack(pop)
static_assert(sizeof(tagTreeNode) == 1 + 4 * sizeof(void*));

inline constexpr uint8_t TN_UNCHECKED = 0;
inline constexpr uint8_t TN_PARTLY = 1;
inline constexpr uint8_t TN_CHECKED = 2;

class KNodeTree : public IDataStorage, public IProgress_Server
{
public:
    static constexpr uint32_t kNodeBlock = 2048;
    /// Keeps a leaf when it returns non-zero; called with the filter context.
    using Filter = std::function<int(const tagTreeNode* node, uint32_t context)>;

    KNodeTree();
    ~KNodeTree() override;
    KNodeTree(const KNodeTree&) = delete;
    KNodeTree& operator=(const KNodeTree&) = delete;

    /// A tree is rebuilt from its records, never stored: both return 0 and transfer nothing.
    int LoadFrom(IStorageManager*) override { return 0; }
    int SaveTo(IStorageManager*) override { return 0; }

    /// Zeroes the totals, forgets the root and the store, releases every node.
    void Clear();
    /// A zero-filled node, or null when memory is exhausted.
    tagTreeNode* NewNode();
    /// Makes a root pointing at `record` unless there is one; returns the root (null on no memory).
    tagTreeNode* SetRoot(tagFileNode* record);
    tagTreeNode* GetRoot() const { return m_pRoot; }
    static tagTreeNode* GetFirstChild(const tagTreeNode* node) { return node ? node->pFirstChild : nullptr; }
    static tagTreeNode* GetNextSibling(const tagTreeNode* node) { return node ? node->pNext : nullptr; }
    /// Puts `child` at the head of `parent`'s child list.
    static void LinkChild(tagTreeNode* parent, tagTreeNode* child);

    void SetFilterContext(uint32_t context) { m_dwFilterContext = context; }
    /// Copies `source` below a root for the same record, asking `filter` (if any) about every
    /// leaf, then drops folders left empty. Each copied child list is reversed. 1, or 0 when
    /// the source has no root.
    int CopyFrom(const KNodeTree& source, const Filter& filter = nullptr);
    /// Cuts every child link that leads back to a node on the path from the root.
    void RemoveCycles();
    /// Unlinks, children first, every folder node without children (never the root).
    void PruneEmptyFolders();

    /// Selects or deselects a node with everything below it, keeping the running totals and the
    /// ancestors' partial marks.
    void SetCheck(tagTreeNode* node, bool selected);
    void GetSelection(uint64_t* bytes, uint32_t* count) const;
    /// Calls `visit` for every node below the root whose record is a file, until it returns
    /// false. False when stopped that way or out of memory.
    bool ForEachFile(const std::function<bool(const tagTreeNode*)>& visit) const;
    /// Sums the file records below the root (a record hung under two folders counts twice).
    void CountFiles(uint64_t* bytes, uint32_t* count) const;

    /// The store whose records the nodes point at; set by the tree builder, kept by CopyFrom.
    void SetStore(const KFileNode* store) { m_pStore = store; }
    const KFileNode* GetStore() const { return m_pStore; }
    /// A further store some nodes point at (a tree that joins the records of two scanners);
    /// kept by CopyFrom, forgotten by Clear. False when kMaxExtraStores are set already.
    bool AddExtraStore(const KFileNode* store);
    /// The name of the node's record, from whichever store owns it ("" without one).
    const char* GetName(const tagTreeNode* node) const;

private:
    uint32_t m_dwFilterContext = 0;
    KMemoryPool m_NodePool;
    tagTreeNode* m_pRoot = nullptr;
    uint64_t m_u64SelectedBytes = 0;
    uint32_t m_dwSelectedCount = 0;
    const KFileNode* m_pStore = nullptr;
    static constexpr int kMaxExtraStores = 2;
    const KFileNode* m_pExtraStores[kMaxExtraStores] = {};
    uint64_t m_u64NodeCount = 0; // bounds every walk, even over a damaged link structure
};
