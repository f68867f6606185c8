#include "fs/KNodeTree.h"

#include <cstring>
#include <new>
#include <vector>

#include "fs/KFileNode.h"

KNodeTree::KNodeTree() : m_NodePool(sizeof(tagTreeNode), kNodeBlock) {}

KNodeTree::~KNodeTree() = default;

void KNodeTree::Clear()
{
    m_u64SelectedBytes = 0;
    m_dwSelectedCount = 0;
    m_pRoot = nullptr;
    m_pStore = nullptr;
    for (const KFileNode*& extra : m_pExtraStores) extra = nullptr;
    m_u64NodeCount = 0;
    m_NodePool.FreeAll();
}

tagTreeNode* KNodeTree::NewNode()
{
    auto* node = static_cast<tagTreeNode*>(m_NodePool.Alloc(1));
    if (!node) return nullptr;
    std::memset(static_cast<void*>(node), 0, sizeof(tagTreeNode));
    ++m_u64NodeCount;
    return node;
}

tagTreeNode* KNodeTree::SetRoot(tagFileNode* record)
{
    if (m_pRoot) return m_pRoot;
    m_pRoot = NewNode();
    if (m_pRoot) m_pRoot->pRecord = record;
    return m_pRoot;
}

void KNodeTree::LinkChild(tagTreeNode* parent, tagTreeNode* child)
{
    child->pParent = parent;
    child->pNext = parent->pFirstChild;
    parent->pFirstChild = child;
}

bool KNodeTree::AddExtraStore(const KFileNode* store)
{
    for (const KFileNode*& extra : m_pExtraStores)
    {
        if (extra == store) return true;
        if (!extra)
        {
            extra = store;
            return true;
        }
    }
    return false;
}

const char* KNodeTree::GetName(const tagTreeNode* node) const
{
    if (!node) return "";
    if (m_pStore && m_pStore->Owns(node->pRecord)) return m_pStore->GetName(node->pRecord);
    for (const KFileNode* extra : m_pExtraStores)
        if (extra && extra->Owns(node->pRecord)) return extra->GetName(node->pRecord);
    return "";
}

namespace {
// True when `a` is `b` or one of its ancestors. The walk is bounded by the node count so a
// damaged parent chain cannot hold it.
bool IsSelfOrAncestor(const tagTreeNode* a, const tagTreeNode* b, uint64_t bound)
{
    for (uint64_t steps = 0; b && steps <= bound; b = b->pParent, ++steps)
        if (b == a) return true;
    return false;
}
} // namespace

int KNodeTree::CopyFrom(const KNodeTree& source, const Filter& filter)
{
    const tagTreeNode* sourceRoot = source.m_pRoot;
    if (!sourceRoot) return 0;
    if (!SetRoot(sourceRoot->pRecord)) return 0;
    if (source.m_pStore) m_pStore = source.m_pStore;
    for (const KFileNode* extra : source.m_pExtraStores)
        if (extra) AddExtraStore(extra);

    struct Frame
    {
        const tagTreeNode* from; // source parent B
        tagTreeNode* to;         // its copy
        const tagTreeNode* next; // next source child A to copy
    };
    std::vector<Frame> stack;
    const uint64_t bound = source.m_u64NodeCount;
    try
    {
        stack.push_back({sourceRoot, m_pRoot, sourceRoot->pFirstChild});
        while (!stack.empty())
        {
            Frame& frame = stack.back();
            const tagTreeNode* a = frame.next;
            if (!a)
            {
                stack.pop_back();
                continue;
            }
            frame.next = a->pNext;
            if (filter && !a->pFirstChild && !filter(a, m_dwFilterContext)) continue;
            tagTreeNode* copy = NewNode();
            if (!copy)
            {
                frame.next = nullptr; // out of nodes: this list ends here
                continue;
            }
            copy->pRecord = a->pRecord;
            LinkChild(frame.to, copy);
            if (a->pFirstChild && !IsSelfOrAncestor(a, frame.from, bound) && stack.size() <= bound)
                stack.push_back({a, copy, a->pFirstChild});
        }
    }
    catch (const std::bad_alloc&)
    {
        // Keep what was copied; the prune below still runs.
    }
    PruneEmptyFolders();
    return 1;
}

void KNodeTree::PruneEmptyFolders()
{
    if (!m_pRoot) return;
    struct Item
    {
        tagTreeNode* node;
        bool expanded;
    };
    std::vector<Item> stack;
    uint64_t budget = 2 * m_u64NodeCount + 2;
    try
    {
        stack.push_back({m_pRoot, false});
        while (!stack.empty() && budget-- > 0)
        {
            Item& item = stack.back();
            tagTreeNode* node = item.node;
            if (!item.expanded)
            {
                item.expanded = true;
                for (tagTreeNode* c = node->pFirstChild; c; c = c->pNext) stack.push_back({c, false});
                continue;
            }
            stack.pop_back();
            // Children were handled before their parent: drop those left as empty folders.
            tagTreeNode* prev = nullptr;
            for (tagTreeNode* c = node->pFirstChild; c; c = c->pNext)
            {
                if (IsFolderRecord(c->pRecord) && !c->pFirstChild)
                {
                    if (prev)
                        prev->pNext = c->pNext;
                    else
                        node->pFirstChild = c->pNext;
                }
                else
                    prev = c;
            }
        }
    }
    catch (const std::bad_alloc&)
    {}
}

void KNodeTree::RemoveCycles()
{
    if (!m_pRoot) return;
    struct Frame
    {
        tagTreeNode* node;
        tagTreeNode* prev; // last child kept before `next`
        tagTreeNode* next; // next child to examine
    };
    std::vector<Frame> path;
    try
    {
        path.push_back({m_pRoot, nullptr, m_pRoot->pFirstChild});
        while (!path.empty())
        {
            Frame& frame = path.back();
            tagTreeNode* a = frame.next;
            if (!a)
            {
                path.pop_back();
                continue;
            }
            frame.next = a->pNext;
            tagTreeNode* before = frame.prev;
            frame.prev = a;
            if (!a->pFirstChild) continue;
            // The first path entry (from the root down) that is A or A's first child decides.
            bool cut = false;
            for (const Frame& entry : path)
            {
                if (entry.node == a)
                {
                    cut = true;
                    break;
                }
                if (entry.node == a->pFirstChild)
                {
                    a->pFirstChild = nullptr;
                    break;
                }
            }
            if (cut)
            {
                if (before)
                    before->pNext = nullptr;
                else
                    frame.node->pFirstChild = nullptr;
                frame.next = nullptr;
                continue;
            }
            if (a->pFirstChild) path.push_back({a, nullptr, a->pFirstChild});
        }
    }
    catch (const std::bad_alloc&)
    {}
}

void KNodeTree::SetCheck(tagTreeNode* node, bool selected)
{
    if (!node) return;
    const uint8_t value = selected ? TN_CHECKED : TN_UNCHECKED;
    std::vector<tagTreeNode*> stack;
    uint64_t budget = m_u64NodeCount + 1;
    try
    {
        stack.push_back(node);
        while (!stack.empty() && budget-- > 0)
        {
            tagTreeNode* n = stack.back();
            stack.pop_back();
            const tagFileNode* r = n->pRecord;
            if (!n->pFirstChild && r && (r->wValidMask & FN_MASK_SIZE) && IsFileRecord(r))
            {
                const uint64_t size = r->s64Size > 0 ? static_cast<uint64_t>(r->s64Size) : 0;
                if (n->byCheck == TN_UNCHECKED && value == TN_CHECKED)
                {
                    m_u64SelectedBytes += size;
                    ++m_dwSelectedCount;
                }
                else if (n->byCheck == TN_CHECKED && value == TN_UNCHECKED)
                {
                    m_u64SelectedBytes -= size <= m_u64SelectedBytes ? size : m_u64SelectedBytes;
                    m_dwSelectedCount -= m_dwSelectedCount ? 1 : 0;
                }
            }
            n->byCheck = value;
            for (tagTreeNode* c = n->pFirstChild; c; c = c->pNext) stack.push_back(c);
        }
    }
    catch (const std::bad_alloc&)
    {}
    uint64_t steps = 0;
    for (tagTreeNode* p = node->pParent; p && steps <= m_u64NodeCount; p = p->pParent, ++steps)
    {
        const tagTreeNode* c = p->pFirstChild;
        uint8_t state = c ? c->byCheck : TN_UNCHECKED;
        for (; c; c = c->pNext)
            if (c->byCheck != state)
            {
                state = TN_PARTLY;
                break;
            }
        p->byCheck = state;
    }
}

void KNodeTree::GetSelection(uint64_t* bytes, uint32_t* count) const
{
    if (bytes) *bytes = m_u64SelectedBytes;
    if (count) *count = m_dwSelectedCount;
}

bool KNodeTree::ForEachFile(const std::function<bool(const tagTreeNode*)>& visit) const
{
    if (!m_pRoot) return true;
    std::vector<const tagTreeNode*> stack;
    // Every node is visited at most once in a sound tree; the budget stops a damaged one.
    uint64_t budget = m_u64NodeCount + 1;
    try
    {
        for (const tagTreeNode* c = m_pRoot->pFirstChild; c && budget > 0; c = c->pNext, --budget) stack.push_back(c);
        while (!stack.empty())
        {
            const tagTreeNode* n = stack.back();
            stack.pop_back();
            if (IsFileRecord(n->pRecord) && !visit(n)) return false;
            for (const tagTreeNode* c = n->pFirstChild; c && budget > 0; c = c->pNext, --budget) stack.push_back(c);
        }
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    return true;
}

void KNodeTree::CountFiles(uint64_t* bytes, uint32_t* count) const
{
    uint64_t total = 0;
    uint32_t files = 0;
    ForEachFile([&](const tagTreeNode* n) {
        total += n->pRecord->s64Size > 0 ? static_cast<uint64_t>(n->pRecord->s64Size) : 0;
        ++files;
        return true;
    });
    if (bytes) *bytes = total;
    if (count) *count = files;
}
