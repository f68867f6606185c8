#pragma once
// The record store of the NTFS scanner: tagNtfsFileNode records (the common head, the two
// identifiers and the FILE record's sector), plus a byte pool for the scanner's own data.
#include "base/KMemoryPool.h"
#include "fs/KFileNode.h"
#include "fs/tagFileNode.h"

class KNtfsFileNode final : public KFileNode
{
public:
    static constexpr uint32_t kDataBlock = 0x10000;

    KNtfsFileNode() : KFileNode(FN_EXTRA_NTFS), m_DataPool(1, kDataBlock) {}
    ~KNtfsFileNode() override = default;

    /// A zero-filled record named `name`, or null when memory is exhausted.
    tagNtfsFileNode* AddRecord(std::string_view name) { return Add<tagNtfsFileNode>(name); }

private:
    KMemoryPool m_DataPool;
};
