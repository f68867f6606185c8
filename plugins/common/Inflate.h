#pragma once
// Inflates a raw deflate stream (RFC 1951, no zlib or gzip wrapping) held in memory, into at
// most `cap` bytes. For the small compressed parts a type reads a name from (an office
// document's properties); the cap keeps a hostile stream from making it allocate more, and a
// stream that would inflate to more than the cap is refused rather than cut.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/ByteView.h"

enum class InflateOutcome
{
    Done,      // the final block ended
    Truncated, // the bytes ran out first
    Invalid,   // the bits break the format
    TooLarge   // the output would exceed the cap
};

struct tagInflated
{
    InflateOutcome outcome = InflateOutcome::Invalid;
    std::vector<uint8_t> bytes; // the whole output when Done; what was inflated before otherwise
    size_t used = 0;            // bytes of input the stream took (when Done)
};

tagInflated Inflate(ByteView deflated, size_t cap);
