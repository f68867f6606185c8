#include "core/TreeFileWalk.h"

#include "fs/KNodeTree.h"

CTreeFileWalk::CTreeFileWalk(tagTreeNode* root) : m_pRoot(root), m_pNext(root ? root->pFirstChild : nullptr) {}

bool CTreeFileWalk::IsFile(const tagTreeNode* node)
{
    return node && !node->pFirstChild && !IsFolderRecord(node->pRecord);
}

bool CTreeFileWalk::Next(size_t budget, std::vector<tagTreeNode*>* files)
{
    for (; m_pNext && budget > 0; --budget)
    {
        tagTreeNode* node = m_pNext;
        if (IsFile(node)) files->push_back(node);
        // Pre-order: down to the first child, else on to the next sibling of the node or of
        // the nearest ancestor that has one, never above the root.
        if (node->pFirstChild)
        {
            m_pNext = node->pFirstChild;
            continue;
        }
        while (node && node != m_pRoot && !node->pNext) node = node->pParent;
        m_pNext = (!node || node == m_pRoot) ? nullptr : node->pNext;
    }
    return m_pNext != nullptr;
}
