#pragma once
#include "common/KRawTypeBase.h"

// Windows registry hives: a 4096-byte base block ("regf", sequence numbers, format fields, the
// length of the hive bins that follow it, and an XOR checksum of its first 508 bytes).
class KHiveType final : public KRawTypeBase
{
public:
    KHiveType();

protected:
    RawHeader CheckHeader(ByteView head, uint64_t& size) const override;
};
