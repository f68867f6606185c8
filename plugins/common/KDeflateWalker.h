#pragma once
// Follows a deflate stream (RFC 1951) to its end without inflating it: every block header and
// every Huffman code is decoded and checked, literal and match lengths are only counted. What
// the walk learns is where the stream ends and how many bytes it inflates to, which the gzip
// trailer repeats; a match that reaches before the start of the output is corruption, as is
// every malformed code table. No window is kept, so the walk costs no memory per file and
// stops at the reader's limit.
#include <cstdint>

#include "common/DeflateDecode.h"
#include "common/KRawReader.h"

struct tagDeflateWalk
{
    enum class Outcome
    {
        End,       // the final block ended; `end` is the byte after the stream
        Truncated, // the bytes ran out (limit, volume end or unreadable sector) first
        Invalid    // the bits broke the format at `reached`
    };
    Outcome outcome = Outcome::Invalid;
    uint64_t end = 0;     // file offset of the first byte after the stream
    uint64_t reached = 0; // file offset where the walk stopped
    uint64_t output = 0;  // bytes the stream inflates to
    uint32_t blocks = 0;  // blocks completed
};

class KDeflateWalker
{
public:
    /// Walks the stream that starts at byte `offset` of the reader's file.
    tagDeflateWalk Walk(KRawReader& reader, uint64_t offset);

private:
    KDeflateBlocks m_Blocks;
};
