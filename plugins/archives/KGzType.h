#pragma once
#include "common/KRawTypeBase.h"

// gzip files: one or more members, each a header, a deflate stream and a trailer. The end is
// found by walking every deflate stream to its last block; the trailer's length of the
// inflated data must agree with what the walk counted.
class KGzType final : public KRawTypeBase
{
public:
    KGzType();

protected:
    RawHeader CheckHeader(ByteView head, uint64_t& size) const override;
    tagRawMatch FindEnd(KRawReader& reader) const override;

private:
    /// Offset of the member's deflate stream (after the optional fields), or 0 when the header
    /// at `offset` is not a member's.
    static uint64_t StreamStart(KRawReader& reader, uint64_t offset);
};
