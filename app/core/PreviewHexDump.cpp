#include "core/PreviewHexDump.h"

#include <cstdio>

std::string HexDump(ByteView bytes, uint64_t baseOffset)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve((bytes.size() / kHexDumpBytesPerLine + 1) * 80);
    for (size_t line = 0; line < bytes.size(); line += kHexDumpBytesPerLine)
    {
        char offset[24];
        std::snprintf(offset, sizeof offset, "%08llx  ", static_cast<unsigned long long>(baseOffset + line));
        out += offset;
        const size_t count = std::min(kHexDumpBytesPerLine, bytes.size() - line);
        for (size_t k = 0; k < kHexDumpBytesPerLine; ++k)
        {
            if (k < count)
            {
                out.push_back(kDigits[bytes[line + k] >> 4]);
                out.push_back(kDigits[bytes[line + k] & 0x0F]);
                out.push_back(' ');
            }
            else
                out += "   ";
            if (k == 7) out.push_back(' ');
        }
        out += " |";
        for (size_t k = 0; k < count; ++k)
        {
            const uint8_t b = bytes[line + k];
            out.push_back(b >= 0x20 && b < 0x7F ? static_cast<char>(b) : '.');
        }
        out += "|\n";
    }
    return out;
}
