#pragma once
#include <cstdint>

#include "common/KRawTypeBase.h"

// xz files: stream header, blocks, index, stream footer. The walk crosses every block (by the
// size its header gives, or by the LZMA2 chunk headers when the writer streamed it), then
// checks the index against the blocks it saw and the footer against the header; then the
// next stream, when one follows.
class KXzType final : public KRawTypeBase
{
public:
    KXzType();

protected:
    RawHeader CheckHeader(ByteView head, uint64_t& size) const override;
    tagRawMatch FindEnd(KRawReader& reader) const override;

private:
    struct tagBlocks
    {
        uint64_t count = 0;
        uint64_t unpaddedSum = 0; // sum of header + compressed data + check of every block
    };

    /// The end of the stream at `start` (after its footer), or 0 when it is not whole.
    static uint64_t StreamEnd(KRawReader& reader, uint64_t start);
    /// Crosses the block at `pos`; its end (4-byte aligned, after the check) or 0 when broken.
    static uint64_t BlockEnd(KRawReader& reader, uint64_t pos, uint32_t checkBytes, tagBlocks& blocks);
    /// Offset after the LZMA2 data that starts at `pos`, or 0 when the chunks break off.
    static uint64_t Lzma2End(KRawReader& reader, uint64_t pos);
    /// Checks the index at `pos` against `blocks`; its size in bytes, or 0.
    static uint64_t IndexSize(KRawReader& reader, uint64_t pos, const tagBlocks& blocks);
};
