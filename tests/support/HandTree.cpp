#include "support/HandTree.h"

HandTree::HandTree()
{
    tagFileNode* root = Store.AddNode("ROOT");
    root->wValidMask = FN_MASK_SYSTEM_FOLDER;
    root->wAttributes = FN_ATTR_FOLDER;
    root->byKind = FN_KIND_PRESENT;
    Tree.SetStore(&Store);
    Tree.SetRoot(root);
}

tagTreeNode* HandTree::Add(tagTreeNode* parent, tagFileNode* record)
{
    tagTreeNode* node = Tree.NewNode();
    node->pRecord = record;
    node->pParent = parent;
    // Appended at the end, so that list order is the order of the calls.
    tagTreeNode*& last = m_LastChild[parent];
    (last ? last->pNext : parent->pFirstChild) = node;
    last = node;
    return node;
}

tagTreeNode* HandTree::Folder(tagTreeNode* parent, const std::string& name, uint8_t kind)
{
    tagFileNode* record = Store.AddNode(name);
    record->wValidMask = FN_MASK_FOUND;
    record->wAttributes = FN_ATTR_FOLDER;
    record->byKind = kind;
    return Add(parent, record);
}

tagTreeNode* HandTree::File(tagTreeNode* parent, const std::string& name, int64_t size, uint8_t kind, uint64_t modified,
                            uint16_t attributes)
{
    tagFileNode* record = Store.AddNode(name);
    record->wValidMask = FN_MASK_FOUND;
    record->wAttributes = attributes;
    record->byKind = kind;
    record->s64Size = size;
    record->ftModified = modified;
    record->ftCreated = modified;
    return Add(parent, record);
}
