#pragma once
// CRC-32 of the zlib/PNG/zip family (reflected polynomial 0xEDB88320, initial and final
// value all ones).
#include <cstdint>

#include "base/ByteView.h"

uint32_t RawCrc32(ByteView bytes, uint32_t crc = 0);
