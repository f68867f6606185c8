#pragma once
// The record store of the exFAT scanner. Behind the identifiers each record keeps what reading
// its data needs: the first cluster, the stream flags (contiguous or chained) and the valid
// data length (bytes past it read as zeros). Records are written byte for byte into scan
// results, so the layout is a stored format.
#include <cstddef>
#include <cstdint>

#include "fs/KFileNode.h"
#include "fs/tagFileNode.h"

#pragma pack(push, 1)
struct tagExFatFileNode : tagIdFileNode
{
    uint32_t dwFirstCluster; // 42
    uint8_t byStreamFlags;   // 46 bit 1: contiguous (no FAT chain)
    int64_t s64ValidLength;  // 47
};
#pragma pack(pop)
static_assert(sizeof(tagExFatFileNode) == 55);

inline constexpr uint32_t FN_EXTRA_EXFAT = 21;
static_assert(FN_HEAD_SIZE + FN_EXTRA_EXFAT == sizeof(tagExFatFileNode));

class KExFatFileNode final : public KFileNode
{
public:
    KExFatFileNode() : KFileNode(FN_EXTRA_EXFAT) {}
    ~KExFatFileNode() override = default;
};
