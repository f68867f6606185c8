#include "CTreeWalk.h"

#include <algorithm>
#include <cstring>

#include "core/WildcardMatch.h"
#include "fs/KNodeTree.h"
#include "fs/tagFileNode.h"

namespace {

// Deeper than any real folder tree; only guards a damaged one.
constexpr int kMaxDepth = 4096;

void WalkChildren(const KNodeTree& tree, const tagTreeNode* folder, const std::string& prefix, int depth,
                  const std::function<void(const tagTreeNode*, const std::string&, int)>& visit)
{
    if (depth >= kMaxDepth) return;
    std::vector<const tagTreeNode*> children;
    for (const tagTreeNode* c = folder->pFirstChild; c; c = c->pNext) children.push_back(c);
    std::stable_sort(children.begin(), children.end(), [&](const tagTreeNode* a, const tagTreeNode* b) {
        return std::strcmp(tree.GetName(a), tree.GetName(b)) < 0;
    });
    for (const tagTreeNode* c : children)
    {
        const std::string path = prefix + tree.GetName(c);
        visit(c, path, depth);
        if (c->pFirstChild) WalkChildren(tree, c, path + "/", depth + 1, visit);
    }
}

} // namespace

void CTreeWalk::Walk(const KNodeTree& tree,
                     const std::function<void(const tagTreeNode*, const std::string&, int)>& visit)
{
    if (const tagTreeNode* root = tree.GetRoot()) WalkChildren(tree, root, "", 0, visit);
}

const char* CTreeWalk::StateName(const tagTreeNode* node)
{
    const uint8_t kind = node && node->pRecord ? node->pRecord->byKind : 0;
    if (kind & FN_KIND_DELETED) return "deleted";
    if (kind & FN_KIND_DEEP) return "found";
    if (kind & FN_KIND_LOST) return "lost";
    return "present";
}

size_t CTreeWalk::Select(KNodeTree& tree, const std::vector<std::string>& patterns)
{
    tagTreeNode* root = tree.GetRoot();
    if (!root) return 0;
    if (patterns.empty())
    {
        tree.SetCheck(root, true);
        return 1;
    }
    std::vector<const tagTreeNode*> chosen;
    Walk(tree, [&](const tagTreeNode* node, const std::string& path, int) {
        for (std::string pattern : patterns)
        {
            while (!pattern.empty() && pattern.front() == '/') pattern.erase(pattern.begin());
            while (pattern.size() > 1 && pattern.back() == '/') pattern.pop_back();
            const bool whole = pattern.find('/') != std::string::npos;
            if (WildcardMatch(whole ? path : std::string(tree.GetName(node)), pattern))
            {
                chosen.push_back(node);
                return;
            }
        }
    });
    for (const tagTreeNode* node : chosen) tree.SetCheck(const_cast<tagTreeNode*>(node), true);
    return chosen.size();
}
