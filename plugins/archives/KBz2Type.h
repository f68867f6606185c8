#pragma once
#include "common/KRawTypeBase.h"

// bzip2 files: "BZh", the block size, then blocks at any bit offset up to the end-of-stream
// magic and the combined CRC. The walk searches the bits for the two 48-bit magics, folds the
// CRC of every block it passes and accepts the end only where the combined CRC agrees.
class KBz2Type final : public KRawTypeBase
{
public:
    KBz2Type();

protected:
    RawHeader CheckHeader(ByteView head, uint64_t& size) const override;
    tagRawMatch FindEnd(KRawReader& reader) const override;

private:
    /// Walks one stream from `offset`; the stream's end, or 0 when none was found.
    static uint64_t StreamEnd(KRawReader& reader, uint64_t offset);
};
