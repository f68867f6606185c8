#pragma once
// Builds FILE records byte by byte for the cases no formatter makes: chosen attributes,
// broken sector tails, hostile lengths. Build() returns the record as it lies on disk, with
// the sequence number at the end of each 512-byte stride and the true bytes in the array.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

class RecordBuilder
{
public:
    explicit RecordBuilder(uint16_t flags = 1, uint32_t size = 1024) : m_Size(size), m_Flags(flags) {}

    RecordBuilder& Resident(uint32_t type, const std::vector<uint8_t>& value, uint16_t attrFlags = 0,
                            uint8_t nameLength = 0)
    {
        const uint32_t nameBytes = nameLength * 2u;
        const uint32_t length = (24 + nameBytes + static_cast<uint32_t>(value.size()) + 7) & ~7u;
        std::vector<uint8_t> a(length, 0);
        Put32(a, 0, type);
        Put32(a, 4, length);
        a[9] = nameLength;
        Put16(a, 10, 24);
        Put16(a, 12, attrFlags);
        Put32(a, 16, static_cast<uint32_t>(value.size()));
        Put16(a, 20, static_cast<uint16_t>(24 + nameBytes));
        if (!value.empty()) // an empty vector's data() may be null
            std::memcpy(a.data() + 24 + nameBytes, value.data(), value.size());
        m_Attrs.insert(m_Attrs.end(), a.begin(), a.end());
        return *this;
    }

    // A resident attribute named `name` (ASCII, or raw units through `units`), with `instance`.
    RecordBuilder& NamedResident(uint32_t type, const std::string& name, const std::vector<uint8_t>& value,
                                 uint16_t instance, uint8_t units = 0)
    {
        const uint8_t nameUnits = units ? units : static_cast<uint8_t>(name.size());
        const size_t before = m_Attrs.size();
        Resident(type, value, 0, static_cast<uint8_t>(name.size()));
        std::vector<uint8_t> a(m_Attrs.begin() + static_cast<std::ptrdiff_t>(before), m_Attrs.end());
        a[9] = nameUnits;
        Put16(a, 14, instance);
        for (size_t i = 0; i < name.size(); ++i) a[24 + 2 * i] = static_cast<uint8_t>(name[i]);
        std::copy(a.begin(), a.end(), m_Attrs.begin() + static_cast<std::ptrdiff_t>(before));
        return *this;
    }

    RecordBuilder& NonResident(uint32_t type, const std::vector<uint8_t>& runlist, uint64_t dataSize,
                               uint16_t attrFlags = 0, uint16_t compressionUnit = 0, uint8_t nameLength = 0)
    {
        const uint32_t length = (64 + static_cast<uint32_t>(runlist.size()) + 7) & ~7u;
        std::vector<uint8_t> a(length, 0);
        Put32(a, 0, type);
        Put32(a, 4, length);
        a[8] = 1;
        a[9] = nameLength;
        Put16(a, 10, 64);
        Put16(a, 12, attrFlags);
        Put16(a, 32, 64);
        Put16(a, 34, compressionUnit);
        Put64(a, 40, (dataSize + 4095) & ~4095ull);
        Put64(a, 48, dataSize);
        Put64(a, 56, dataSize);
        if (!runlist.empty()) std::memcpy(a.data() + 64, runlist.data(), runlist.size());
        m_Attrs.insert(m_Attrs.end(), a.begin(), a.end());
        return *this;
    }

    // A non-resident attribute named `name` (ASCII), its runlist behind the name.
    RecordBuilder& NamedNonResident(uint32_t type, const std::string& name, const std::vector<uint8_t>& runlist,
                                    uint64_t dataSize, uint16_t attrFlags = 0, uint16_t compressionUnit = 0)
    {
        const uint32_t pairs = (64 + 2 * static_cast<uint32_t>(name.size()) + 7) & ~7u;
        std::vector<uint8_t> padded(pairs - 64, 0);
        for (size_t i = 0; i < name.size(); ++i) padded[2 * i] = static_cast<uint8_t>(name[i]);
        padded.insert(padded.end(), runlist.begin(), runlist.end());
        const size_t before = m_Attrs.size();
        NonResident(type, padded, dataSize, attrFlags, compressionUnit, static_cast<uint8_t>(name.size()));
        Put16(m_Attrs, before + 32, static_cast<uint16_t>(pairs));
        return *this;
    }

    std::vector<uint8_t> Build(uint16_t usn = 0x0101) const
    {
        std::vector<uint8_t> r(m_Size, 0);
        std::memcpy(r.data(), "FILE", 4);
        const uint16_t count = static_cast<uint16_t>(m_Size / 512 + 1);
        Put16(r, 4, 48);
        Put16(r, 6, count);
        // The attributes start behind the update sequence array (56 in a 1 KiB record).
        const size_t first = (48u + 2u * count + 7u) & ~size_t{7};
        Put16(r, 20, static_cast<uint16_t>(first));
        Put16(r, 22, m_Flags);
        Put32(r, 28, m_Size);
        if (!m_Attrs.empty()) std::memcpy(r.data() + first, m_Attrs.data(), m_Attrs.size());
        const size_t end = first + m_Attrs.size();
        Put32(r, end, 0xFFFFFFFF);
        Put32(r, 24, static_cast<uint32_t>(end + 8));
        Put16(r, 48, usn);
        for (uint16_t i = 1; i < count; ++i)
        {
            std::memcpy(r.data() + 48 + 2 * i, r.data() + i * 512 - 2, 2);
            Put16(r, i * 512 - 2, usn);
        }
        return r;
    }

    static std::vector<uint8_t> FileName(const std::string& name, uint32_t parent, uint8_t nameSpace,
                                         uint32_t flags = 0, uint64_t size = 0)
    {
        std::vector<uint8_t> v(66 + 2 * name.size(), 0);
        Put32(v, 0, parent);
        Put64(v, 8, 0x01D0000000000000ull);
        Put64(v, 16, 0x01D0000000000000ull);
        Put64(v, 48, size);
        Put32(v, 56, flags);
        v[64] = static_cast<uint8_t>(name.size());
        v[65] = nameSpace;
        for (size_t i = 0; i < name.size(); ++i) v[66 + 2 * i] = static_cast<uint8_t>(name[i]);
        return v;
    }

    static void Put16(std::vector<uint8_t>& b, size_t off, uint16_t v) { std::memcpy(b.data() + off, &v, 2); }
    static void Put32(std::vector<uint8_t>& b, size_t off, uint32_t v) { std::memcpy(b.data() + off, &v, 4); }
    static void Put64(std::vector<uint8_t>& b, size_t off, uint64_t v) { std::memcpy(b.data() + off, &v, 8); }

private:
    uint32_t m_Size;
    uint16_t m_Flags;
    std::vector<uint8_t> m_Attrs;
};
