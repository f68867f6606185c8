#pragma once
#include <cstdint>

#include "common/KRawTypeBase.h"

// tar archives (POSIX ustar, pax and GNU): member headers, each guarded by its checksum and
// giving its data's size, walked to the two zero blocks that end the archive, then over the
// zero padding of the last record.
class KTarType final : public KRawTypeBase
{
public:
    KTarType();

protected:
    RawHeader CheckHeader(ByteView head, uint64_t& size) const override;
    tagRawMatch FindEnd(KRawReader& reader) const override;

private:
    enum class Block
    {
        Header,
        Zero,
        Other
    };
    /// Classifies a 512-byte block; for a header, `dataBytes` is what follows it.
    static Block Classify(ByteView block, uint64_t& dataBytes);
};
