#pragma once
// "Find file" over the tree the file list shows: the folders in pre-order (a folder, then its
// sub-folders depth first), the files of each folder in list order. A search starts after the
// selected file of the selected folder, goes on through the following folders and wraps round
// to the first, ending with the starting folder's files up to the starting point.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class KNodeTree;
struct tagTreeNode;

struct tagFindPosition
{
    int nFolder = 0; // index into Folders()
    int nFile = -1;  // index into that folder's files; -1: before the first
};

class CFileFind
{
public:
    /// Collects the folders of `tree` (its root first).
    explicit CFileFind(const KNodeTree& tree);

    const std::vector<const tagTreeNode*>& Folders() const { return m_Folders; }
    /// The files (children without the folder attribute) of folder `folder`, in list order.
    std::vector<const tagTreeNode*> FilesOf(int folder) const;

    /// The pattern "&Find Next" searches with: without "Match Word" and without any "*", the
    /// text gets a "*" at both ends.
    static std::string SearchPattern(const std::string& text, bool matchWord);
    /// The next file after `from` whose name matches `text`; false when none does anywhere.
    bool FindNext(const std::string& text, bool matchCase, bool matchWord, const tagFindPosition& from,
                  tagFindPosition* found) const;

    /// Calls `visit` for every file whose name matches `text`, in the order "Find Next" meets
    /// them from the first folder (every match once), without collecting the folders first;
    /// the number of matches.
    static size_t ForEachMatch(const KNodeTree& tree, const std::string& text, bool matchCase, bool matchWord,
                               const std::function<void(const tagTreeNode* file)>& visit);

private:
    const KNodeTree& m_Tree;
    std::vector<const tagTreeNode*> m_Folders;
};
