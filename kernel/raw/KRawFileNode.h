#pragma once
// The record store of the deep scan: records of 42 bytes (head and identifiers only).
#include "fs/KFileNode.h"
#include "fs/tagFileNode.h"

class KRawFileNode final : public KFileNode
{
public:
    KRawFileNode() : KFileNode(FN_EXTRA_RAW) {}
    ~KRawFileNode() override = default;
};
