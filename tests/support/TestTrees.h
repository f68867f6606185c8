#pragma once
// Finding things in a built file tree by name or path.
#include <map>
#include <string>

#include "fs/KNodeTree.h"

/// The child of `node` named exactly `name`, or null.
const tagTreeNode* FindChild(const KNodeTree& tree, const tagTreeNode* node, const std::string& name);
/// The node at `path` (names separated by '/', compared exactly) below `from` (the root when
/// null), or null.
const tagTreeNode* WalkTree(const KNodeTree& tree, const std::string& path, const tagTreeNode* from = nullptr);
/// "Folder/Sub/file.txt" -> record, for every leaf and folder below the root (64 levels deep
/// at most).
std::map<std::string, const tagFileNode*> TreePaths(const KNodeTree& tree);
