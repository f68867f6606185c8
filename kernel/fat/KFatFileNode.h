#pragma once
// The record store of the FAT scanner: tagFatFileNode records (12 bytes behind the head).
#include "fs/KFileNode.h"
#include "fs/tagFileNode.h"

class KFatFileNode final : public KFileNode
{
public:
    KFatFileNode() : KFileNode(FN_EXTRA_FAT) {}
    ~KFatFileNode() override = default;
};
