#pragma once
// Forward search for a byte pattern through a bounded source, in chunks, so that the end marker
// of a large file can be found without holding the file in memory.
#include <cstdint>
#include <string_view>

#include "ole/IDocSource.h"

// Finds the first occurrence of `pattern` that starts at or after `from` and ends at or before
// min(until, src.Limit()). Returns true and writes its offset to `found`.
bool FindForward(IDocSource& src, uint64_t from, uint64_t until, std::string_view pattern, uint64_t* found);

// Reads a little-endian integer; false when out of range.
bool SrcU16(IDocSource& src, uint64_t off, uint16_t& out);
bool SrcU32(IDocSource& src, uint64_t off, uint32_t& out);
bool SrcU64(IDocSource& src, uint64_t off, uint64_t& out);
