#include "ntfs/NtfsEfsExport.h"

namespace {

void PutU16(std::vector<uint8_t>& b, size_t off, uint16_t v)
{
    b[off] = static_cast<uint8_t>(v);
    b[off + 1] = static_cast<uint8_t>(v >> 8);
}

void PutU32(std::vector<uint8_t>& b, size_t off, uint32_t v)
{
    for (int i = 0; i < 4; ++i) b[off + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

void PutText(std::vector<uint8_t>& b, size_t off, const char* text)
{
    for (size_t i = 0; text[i]; ++i) PutU16(b, off + 2 * i, static_cast<uint8_t>(text[i]));
}

} // namespace

std::vector<uint8_t> EfsStreamHeader(uint32_t efsLength)
{
    std::vector<uint8_t> b(kEfsStreamHeaderBytes, 0);
    PutU32(b, 0, 256);
    PutText(b, 4, "ROBS");
    PutU32(b, 20, 30);
    PutText(b, 24, "NTFS");
    PutU32(b, 40, 0);
    PutU32(b, 44, 2);
    PutU16(b, 48, 0x1910);
    PutU32(b, 50, efsLength + 16);
    PutText(b, 54, "GURE");
    return b;
}

std::vector<uint8_t> EfsDataHeader()
{
    std::vector<uint8_t> b(kEfsDataHeaderBytes, 0);
    PutU32(b, 0, 42);
    PutText(b, 4, "NTFS");
    PutU32(b, 24, 14);
    PutText(b, 28, "::$DATA");
    return b;
}

std::vector<uint8_t> EfsBlockHeader(uint16_t index, uint32_t dataLength, uint32_t storedLength)
{
    std::vector<uint8_t> b(kEfsBlockHeaderBytes, 0);
    PutU32(b, 0, kEfsBlockHeaderBytes + storedLength);
    PutText(b, 4, "GURE");
    PutU16(b, 18, index);
    PutU32(b, 24, 496);
    PutU32(b, 28, dataLength);
    PutU32(b, 32, dataLength);
    PutU32(b, 36, 0x10100000);
    PutU32(b, 40, 0x0001010B);
    PutU32(b, 44, storedLength);
    return b;
}
