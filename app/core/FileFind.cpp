#include "core/FileFind.h"

#include "core/WildcardMatch.h"
#include "fs/KNodeTree.h"
#include "fs/tagFileNode.h"

CFileFind::CFileFind(const KNodeTree& tree) : m_Tree(tree)
{
    const tagTreeNode* root = tree.GetRoot();
    if (!root) return;
    // Pre-order with an explicit stack; children are pushed in reverse so that they come out
    // in list order. A tree has no cycles, but the walk is bounded all the same.
    std::vector<const tagTreeNode*> stack{root};
    constexpr size_t kMaxFolders = 1u << 26;
    while (!stack.empty() && m_Folders.size() < kMaxFolders)
    {
        const tagTreeNode* folder = stack.back();
        stack.pop_back();
        m_Folders.push_back(folder);
        std::vector<const tagTreeNode*> children;
        for (const tagTreeNode* c = folder->pFirstChild; c; c = c->pNext)
        {
            if (IsFolderRecord(c->pRecord)) children.push_back(c);
        }
        stack.insert(stack.end(), children.rbegin(), children.rend());
    }
}

std::vector<const tagTreeNode*> CFileFind::FilesOf(int folder) const
{
    std::vector<const tagTreeNode*> files;
    if (folder < 0 || static_cast<size_t>(folder) >= m_Folders.size()) return files;
    for (const tagTreeNode* c = m_Folders[static_cast<size_t>(folder)]->pFirstChild; c; c = c->pNext)
    {
        if (!IsFolderRecord(c->pRecord)) files.push_back(c);
    }
    return files;
}

size_t CFileFind::ForEachMatch(const KNodeTree& tree, const std::string& text, bool matchCase, bool matchWord,
                               const std::function<void(const tagTreeNode*)>& visit)
{
    const tagTreeNode* root = tree.GetRoot();
    if (!root) return 0;
    const std::string pattern = SearchPattern(text, matchWord);
    size_t matches = 0;
    auto searchFiles = [&](const tagTreeNode* folder) {
        for (const tagTreeNode* c = folder->pFirstChild; c; c = c->pNext)
        {
            if (!IsFolderRecord(c->pRecord) && WildcardMatch(tree.GetName(c), pattern, matchCase))
            {
                visit(c);
                ++matches;
            }
        }
    };
    // The same pre-order as the folder list, kept as the next sibling to look at on each
    // level, so that the walk's memory grows with the depth of the tree only.
    constexpr size_t kMaxDepth = 4096;
    searchFiles(root);
    std::vector<const tagTreeNode*> next{root->pFirstChild};
    while (!next.empty())
    {
        const tagTreeNode* folder = next.back();
        while (folder && !IsFolderRecord(folder->pRecord)) folder = folder->pNext;
        if (!folder)
        {
            next.pop_back();
            continue;
        }
        next.back() = folder->pNext;
        searchFiles(folder);
        if (next.size() < kMaxDepth) next.push_back(folder->pFirstChild);
    }
    return matches;
}

std::string CFileFind::SearchPattern(const std::string& text, bool matchWord)
{
    if (!matchWord && text.find('*') == std::string::npos) return "*" + text + "*";
    return text;
}

bool CFileFind::FindNext(const std::string& text, bool matchCase, bool matchWord, const tagFindPosition& from,
                         tagFindPosition* found) const
{
    const std::string pattern = SearchPattern(text, matchWord);
    const int count = static_cast<int>(m_Folders.size());
    if (count == 0) return false;
    const int start = from.nFolder >= 0 && from.nFolder < count ? from.nFolder : 0;
    auto search = [&](int folder, int first, int last) {
        const std::vector<const tagTreeNode*> files = FilesOf(folder);
        for (int i = first < 0 ? 0 : first; i <= last && i < static_cast<int>(files.size()); ++i)
        {
            if (WildcardMatch(m_Tree.GetName(files[static_cast<size_t>(i)]), pattern, matchCase))
            {
                *found = {folder, i};
                return true;
            }
        }
        return false;
    };
    constexpr int kAll = 1 << 30;
    // The starting folder after the selected file, every other folder in order round the
    // list, then the starting folder's files up to and including the selected one.
    if (search(start, from.nFile + 1, kAll)) return true;
    for (int step = 1; step < count; ++step)
    {
        if (search((start + step) % count, 0, kAll)) return true;
    }
    return search(start, 0, from.nFile);
}
