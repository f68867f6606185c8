#pragma once
// Every file below a folder of a node tree, depth first in the tree's order, handed out a
// batch at a time so that a front end can list a tree of a million files without stopping:
// the walk keeps only the node it stopped at (the tree's parent and sibling links lead on).
#include <cstddef>
#include <vector>

struct tagTreeNode;

class CTreeFileWalk
{
public:
    CTreeFileWalk() = default;
    explicit CTreeFileWalk(tagTreeNode* root);

    /// Visits up to `budget` nodes (files and folders), appending the files to `files`.
    /// False when the walk has ended.
    bool Next(size_t budget, std::vector<tagTreeNode*>* files);
    bool Done() const { return m_pNext == nullptr; }

    /// A file is a node without children whose record is not a folder.
    static bool IsFile(const tagTreeNode* node);

private:
    tagTreeNode* m_pRoot = nullptr;
    tagTreeNode* m_pNext = nullptr; // the next node to visit; null at the end
};
