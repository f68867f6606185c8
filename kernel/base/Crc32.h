#pragma once
// CRC-32 with the reflected polynomial 0xEDB88320, initial and final value all ones: the check
// value of GPT headers and partition arrays (and of zip, PNG and gzip).
#include <cstdint>

#include "base/ByteView.h"

// The CRC of `bytes`; pass a previous result as `crc` to continue over a further piece.
uint32_t Crc32(ByteView bytes, uint32_t crc = 0);
