#pragma once
// The upcase table and the name hash. Every set stores a 16-bit hash of its name taken over
// the upcased UTF-16 units, so that a driver compares names without reading every name entry.
// The table maps each unit to its upper case; on disk it is compressed: 0xFFFF followed by a
// count stands for that many units that map to themselves.
#include <cstdint>
#include <vector>

#include "base/ByteView.h"

class ExFatUpcase
{
public:
    /// Decodes a table's bytes (its declared length) and checks them against the checksum of
    /// its entry. False on a bad checksum, an odd length or a table past 65,536 units; the
    /// table then maps only ASCII letters, as the tables formatters write do at least.
    bool Decode(ByteView bytes, uint32_t checksum);
    char16_t Upper(char16_t unit) const;
    bool Loaded() const { return !m_Map.empty(); }

private:
    std::vector<char16_t> m_Map; // 65,536 units when loaded
};

/// The checksum of an upcase table's bytes (the boot region's rotate-and-add, over all of them).
uint32_t ExFatUpcaseChecksum(ByteView bytes);
/// The hash a set stores for `name` (`count` units) upcased through `upcase`.
uint16_t ExFatNameHash(const char16_t* name, uint32_t count, const ExFatUpcase& upcase);
