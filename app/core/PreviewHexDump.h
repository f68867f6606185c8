#pragma once
// The hex and text dump of the head of a file: 16 bytes a line, the offset, the bytes in hex
// (a wider gap after the eighth) and the printable ASCII characters ('.' for the others):
//   00000000  50 4b 03 04 14 00 00 00  08 00 00 00 21 00 b2 6c  |PK..........!..l|
#include <cstdint>
#include <string>

#include "base/ByteView.h"

inline constexpr size_t kHexDumpBytesPerLine = 16;

/// One line per 16 bytes (the last line may be shorter), each ending in '\n'; `baseOffset` is
/// the file offset of bytes[0]. No bytes, no lines.
std::string HexDump(ByteView bytes, uint64_t baseOffset = 0);
