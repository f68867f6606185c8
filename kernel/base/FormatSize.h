#pragma once
#include <cstdint>
#include <string>

// A byte count for display: "%.2fGB" from 2^30 bytes, "%.2fMB" from 2^20, "%.2fKB" from 1024,
// else "%dB". Every size column and space figure uses it.
std::string FormatSize(int64_t bytes);
