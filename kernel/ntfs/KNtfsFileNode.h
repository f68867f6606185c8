#pragma once
// The record store of the NTFS scanner: tagNtfsFileNode records (the common head, the two
// identifiers and the FILE record's sector).
#include "fs/KFileNode.h"
#include "fs/tagFileNode.h"

class KNtfsFileNode final : public KFileNode
{
public:
    KNtfsFileNode() : KFileNode(FN_EXTRA_NTFS) {}
    ~KNtfsFileNode() override = default;

    /// A zero-filled record named `name`, or null when memory is exhausted.
    tagNtfsFileNode* AddRecord(std::string_view name) { return Add<tagNtfsFileNode>(name); }
};
