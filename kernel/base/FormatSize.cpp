#include "base/FormatSize.h"

#include <algorithm>
#include <cstdio>
#include <limits>

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

std::string FormatSectorsSize(int64_t sectors, uint32_t bytesPerSector)
{
    const int64_t unit = bytesPerSector == 0 ? 1 : static_cast<int64_t>(bytesPerSector);
    const int64_t count = sectors < 0 ? 0 : std::min(sectors, std::numeric_limits<int64_t>::max() / unit);
    return FormatSize(count * unit);
}
