#pragma once
// Random access to the bytes of one candidate file, counted from its first byte. The source is
// bounded: nothing at or beyond Limit() can be read (Limit is the type's largest plausible size
// or what remains of the volume, whichever is smaller), so a parser that follows a hostile
// offset simply fails its read instead of wandering over the whole disk.
#include <cstddef>
#include <cstdint>

#include "base/ByteView.h"

class IDocSource
{
public:
    virtual ~IDocSource() = default;
    /// No byte at or beyond this offset can be read (fewer may be readable when the volume
    /// ends sooner or a sector is unreadable).
    virtual uint64_t Limit() const = 0;
    /// Reads exactly `len` bytes at `off`; false when any of them cannot be read (the buffer
    /// content is then undefined).
    virtual bool Read(uint64_t off, void* out, size_t len) = 0;
    /// Reads up to `len` bytes at `off` and returns how many, stopping at the first byte that
    /// cannot be read.
    virtual size_t ReadSome(uint64_t off, void* out, size_t len) = 0;
};

// True when the byte just before `end` can be read: a length taken from a header is only
// reported when the file really reaches that far.
inline bool Reaches(IDocSource& src, uint64_t end)
{
    uint8_t b = 0;
    return end > 0 && end <= src.Limit() && src.ReadSome(end - 1, &b, 1) == 1;
}
