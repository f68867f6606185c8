#pragma once
// A file tree built by hand for the file-list tests: records in a store, nodes linked in the
// order they are added.
#include <cstdint>
#include <string>
#include <unordered_map>

#include "fs/KFileNode.h"
#include "fs/KNodeTree.h"

class HandTree
{
public:
    HandTree();
    tagTreeNode* Root() { return Tree.GetRoot(); }
    tagTreeNode* Folder(tagTreeNode* parent, const std::string& name, uint8_t kind = FN_KIND_PRESENT);
    tagTreeNode* File(tagTreeNode* parent, const std::string& name, int64_t size, uint8_t kind = FN_KIND_PRESENT,
                      uint64_t modified = 0, uint16_t attributes = FN_ATTR_ARCHIVE);

    KFileNode Store{FN_EXTRA_IDS};
    KNodeTree Tree;

private:
    tagTreeNode* Add(tagTreeNode* parent, tagFileNode* record);
    std::unordered_map<tagTreeNode*, tagTreeNode*> m_LastChild; // appends in constant time
};
