#include "base/FormatSize.h"

#include <cstdio>

std::string FormatSize(int64_t bytes)
{
    char text[64];
    const double value = static_cast<double>(bytes);
    if (bytes >= (int64_t{1} << 30))
        std::snprintf(text, sizeof(text), "%.2fGB", value / static_cast<double>(int64_t{1} << 30));
    else if (bytes >= (int64_t{1} << 20))
        std::snprintf(text, sizeof(text), "%.2fMB", value / static_cast<double>(int64_t{1} << 20));
    else if (bytes >= 1024)
        std::snprintf(text, sizeof(text), "%.2fKB", value / 1024.0);
    else
        std::snprintf(text, sizeof(text), "%dB", static_cast<int>(bytes));
    return text;
}
