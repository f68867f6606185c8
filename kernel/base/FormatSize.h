#pragma once
#include <cstdint>
#include <string>

// A byte count for display: "%.2fGB" from 2^30 bytes, "%.2fMB" from 2^20, "%.2fKB" from 1024,
// else "%dB". Every size column and space figure uses it.
std::string FormatSize(int64_t bytes);
// The size of `sectors` sectors, the product held inside 64 bits (a count read from a stored
// result or a damaged structure may claim anything; a negative count shows as 0).
std::string FormatSectorsSize(int64_t sectors, uint32_t bytesPerSector);
