#pragma once
// LZNT1, the compression of NTFS compressed streams. A compression unit holds a sequence of
// chunks; each chunk starts with a u16 header h: (h & 0x0FFF) + 3 is the chunk's length
// including the header, bit 15 set means compressed, h = 0 ends the unit's data.
#include <cstdint>

#include "base/ByteView.h"

// Decompresses the chunk at the start of `chunk` into `out`, which holds kNtfsLznt1UnitBytes
// (65536) bytes, and returns the bytes produced. Whatever the header and tokens claim, nothing
// is read past the end of `chunk` and nothing is written past the end of `out`; output beyond
// 65536 bytes is discarded. A back-reference to before the chunk's output yields zeros.
uint32_t DecompressChunk(ByteView chunk, uint8_t* out);

// The total length of the chunk starting with header `h`, header included.
inline uint32_t Lznt1ChunkLength(uint16_t h) { return (h & 0x0FFFu) + 3; }

// Decodes the chunks of one compression unit into `out` (`outBytes` long, at most the unit's
// size). `data` is the unit's stored sectors back to back; `cut` says it ends at an unreadable
// sector, so a chunk that reaches past its end is not decoded (it would turn zeros into data,
// and the chunks after it cannot be found). Decoding stops at a zero header, at the end of
// `data` or when `outBytes` are produced. Returns the bytes produced; the rest of `out` is
// left as it was.
uint64_t DecodeCompressionUnit(ByteView data, bool cut, uint8_t* out, uint64_t outBytes);
