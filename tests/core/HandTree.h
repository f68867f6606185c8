#pragma once
// A small file tree built by hand for the file-list tests: records in a store, nodes linked
// in the order they are added.
#include <cstdint>
#include <string>

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
};

// The file time of a calendar moment (local wall clock, as records keep it).
uint64_t FileTimeOf(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
