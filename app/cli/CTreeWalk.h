#pragma once
// The command line's view of a file tree: every node below the root with its path ("/"
// between folders, the root's own name left out), children in name order, and the selection
// by paths and wildcard patterns.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class KNodeTree;
struct tagTreeNode;

class CTreeWalk
{
public:
    /// Calls `visit` for every node below the root, depth first, each folder's children
    /// sorted by name.
    static void Walk(const KNodeTree& tree,
                     const std::function<void(const tagTreeNode* node, const std::string& path, int depth)>& visit);
    /// "present", "deleted", "lost" or "found" (by the deep scan) from the record's state.
    static const char* StateName(const tagTreeNode* node);

    /// Selects the nodes that `patterns` name: a pattern with a "/" is matched against the
    /// whole path, any other against the name; a folder brings everything below it. No
    /// patterns select the whole tree. The number of nodes that matched.
    static size_t Select(KNodeTree& tree, const std::vector<std::string>& patterns);
};
