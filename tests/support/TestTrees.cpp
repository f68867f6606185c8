#include "support/TestTrees.h"

#include <functional>
#include <sstream>

const tagTreeNode* FindChild(const KNodeTree& tree, const tagTreeNode* node, const std::string& name)
{
    for (const tagTreeNode* c = KNodeTree::GetFirstChild(node); c; c = KNodeTree::GetNextSibling(c))
    {
        if (name == tree.GetName(c)) return c;
    }
    return nullptr;
}

const tagTreeNode* WalkTree(const KNodeTree& tree, const std::string& path, const tagTreeNode* from)
{
    const tagTreeNode* node = from ? from : tree.GetRoot();
    std::istringstream parts(path);
    std::string part;
    while (node && std::getline(parts, part, '/')) node = FindChild(tree, node, part);
    return node;
}

std::map<std::string, const tagFileNode*> TreePaths(const KNodeTree& tree)
{
    std::map<std::string, const tagFileNode*> out;
    std::function<void(const tagTreeNode*, const std::string&, int)> walk = [&](const tagTreeNode* n,
                                                                                const std::string& prefix, int depth) {
        for (const tagTreeNode* c = KNodeTree::GetFirstChild(n); c; c = KNodeTree::GetNextSibling(c))
        {
            const std::string path = prefix + tree.GetName(c);
            out.emplace(path, c->pRecord);
            if (depth < 64) walk(c, path + "/", depth + 1);
        }
    };
    walk(tree.GetRoot(), "", 0);
    return out;
}
