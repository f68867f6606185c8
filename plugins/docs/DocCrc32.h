#pragma once
// CRC-32 (reflected polynomial 0xEDB88320), as archive headers use it.
#include <cstddef>
#include <cstdint>

uint32_t DocCrc32(const uint8_t* data, size_t size, uint32_t crc = 0);
