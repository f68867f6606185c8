#pragma once
// Shared pieces of the file-model tests: a store builder and a canonical rendering of a tree.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fs/KFileNode.h"
#include "fs/KNodeTree.h"
#include "support/MemoryStorage.h"
#include "support/TestTrees.h"

// Builds stores the way the scanners do: root (id 0), "Lost Files" (id 1, parent 0), then
// folders and files.
class StoreBuilder
{
public:
    explicit StoreBuilder(KFileNode& store) : m_Store(store)
    {
        Add("root", 0, 0, 0, FN_MASK_SYSTEM_FOLDER, FN_ATTR_FOLDER);
        Add("Lost Files", 1, 0, 0, FN_MASK_SYSTEM_FOLDER, FN_ATTR_FOLDER);
    }
    tagIdFileNode* Folder(const std::string& name, uint32_t self, uint32_t parent)
    {
        return Add(name, self, parent, 0, FN_MASK_FOUND, FN_ATTR_FOLDER);
    }
    tagIdFileNode* File(const std::string& name, uint32_t self, uint32_t parent, int64_t size)
    {
        return Add(name, self, parent, size, FN_MASK_FOUND, FN_ATTR_ARCHIVE);
    }
    tagIdFileNode* Add(const std::string& name, uint32_t self, uint32_t parent, int64_t size, uint16_t mask,
                       uint16_t attributes)
    {
        auto* r = m_Store.Add<tagIdFileNode>(name);
        r->dwSelfId = self;
        r->dwParentId = parent;
        r->s64Size = size;
        r->wValidMask = mask;
        r->wAttributes = attributes;
        r->byKind = FN_KIND_PRESENT;
        return r;
    }

private:
    KFileNode& m_Store;
};

// "name(child,child,...)" with children sorted by their rendering, so that the sibling order
// (which the tree does not promise) does not matter.
inline std::string Render(const KNodeTree& tree, const tagTreeNode* node)
{
    if (!node) return "";
    std::string out = tree.GetName(node);
    std::vector<std::string> children;
    for (const tagTreeNode* c = KNodeTree::GetFirstChild(node); c; c = KNodeTree::GetNextSibling(c))
        children.push_back(Render(tree, c));
    if (children.empty()) return out;
    std::sort(children.begin(), children.end());
    out += "(";
    for (size_t i = 0; i < children.size(); ++i) out += (i ? "," : "") + children[i];
    return out + ")";
}

inline std::string Render(const KNodeTree& tree) { return Render(tree, tree.GetRoot()); }

// Sibling order as it lies, names only: "a b c / d e" for the root's and first child's lists.
inline std::vector<std::string> ChildNames(const KNodeTree& tree, const tagTreeNode* node)
{
    std::vector<std::string> out;
    for (const tagTreeNode* c = KNodeTree::GetFirstChild(node); c; c = KNodeTree::GetNextSibling(c))
        out.push_back(tree.GetName(c));
    return out;
}
