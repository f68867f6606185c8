#include "format/exfat/ExFatUpcase.h"

namespace {

constexpr uint32_t kUnits = 65536;
constexpr uint16_t kRunMark = 0xFFFF;

} // namespace

uint32_t ExFatUpcaseChecksum(ByteView bytes)
{
    uint32_t sum = 0;
    for (uint8_t b : bytes) sum = ((sum & 1) ? 0x80000000u : 0u) + (sum >> 1) + b;
    return sum;
}

bool ExFatUpcase::Decode(ByteView bytes, uint32_t checksum)
{
    m_Map.clear();
    if (bytes.size() % 2 != 0 || bytes.size() > size_t{kUnits} * 4 || ExFatUpcaseChecksum(bytes) != checksum)
        return false;
    std::vector<char16_t> map(kUnits);
    for (uint32_t i = 0; i < kUnits; ++i) map[i] = static_cast<char16_t>(i);
    uint32_t unit = 0;
    for (size_t off = 0; off + 2 <= bytes.size() && unit < kUnits; off += 2)
    {
        const uint16_t v = PeekU16LE(bytes.data() + off);
        if (v == kRunMark && off + 4 <= bytes.size())
        {
            // A run of units that map to themselves (already so in the map).
            off += 2;
            unit += PeekU16LE(bytes.data() + off);
            continue;
        }
        map[unit++] = static_cast<char16_t>(v);
    }
    m_Map = std::move(map);
    return true;
}

char16_t ExFatUpcase::Upper(char16_t unit) const
{
    if (!m_Map.empty()) return m_Map[unit];
    return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - 32) : unit;
}

uint16_t ExFatNameHash(const char16_t* name, uint32_t count, const ExFatUpcase& upcase)
{
    uint16_t hash = 0;
    for (uint32_t i = 0; i < count; ++i)
    {
        const char16_t u = upcase.Upper(name[i]);
        for (const uint8_t b : {static_cast<uint8_t>(u & 0xFF), static_cast<uint8_t>(u >> 8)})
            hash = static_cast<uint16_t>(((hash & 1) ? 0x8000 : 0) + (hash >> 1) + b);
    }
    return hash;
}
