#include "FuzzImage.h"

#include <algorithm>
#include <cstring>

void LoadSparseInput(const uint8_t* data, size_t size, MemorySectors& into)
{
    uint32_t declared = 0;
    std::memcpy(&declared, data, std::min<size_t>(size, 4));
    into.SetTotalSectors(std::clamp<uint64_t>(declared, 1, kFuzzMaxSparseSectors));
    for (size_t off = 4; off < size; off += kFuzzSparseRecord)
    {
        uint32_t sector = 0;
        const size_t head = std::min<size_t>(4, size - off);
        std::memcpy(&sector, data + off, head);
        // A later record of the same sector replaces the earlier one, zeros included.
        std::vector<uint8_t>& bytes = into.Sector(sector % into.TotalSectors());
        std::fill(bytes.begin(), bytes.end(), 0);
        if (off + 4 < size)
            std::memcpy(bytes.data(), data + off + 4, std::min<size_t>(kFuzzSectorBytes, size - off - 4));
    }
}

std::vector<uint8_t> EncodeSparseInput(uint64_t sectors, const std::map<uint64_t, std::vector<uint8_t>>& present)
{
    std::vector<uint8_t> out(4);
    const auto declared = static_cast<uint32_t>(std::min<uint64_t>(sectors, UINT32_MAX));
    std::memcpy(out.data(), &declared, 4);
    for (const auto& [sector, bytes] : present)
    {
        const auto number = static_cast<uint32_t>(sector);
        const size_t at = out.size();
        out.resize(at + kFuzzSparseRecord, 0);
        std::memcpy(out.data() + at, &number, 4);
        std::memcpy(out.data() + at + 4, bytes.data(), std::min<size_t>(bytes.size(), kFuzzSectorBytes));
    }
    return out;
}

int KFuzzStorage::Read(void* buffer, int length, int* done)
{
    *done = 0;
    if (length < 0) return 0;
    const size_t n = std::min<size_t>(static_cast<size_t>(length), m_Size - m_Pos);
    if (n) std::memcpy(buffer, m_Data + m_Pos, n);
    m_Pos += n;
    *done = static_cast<int>(n);
    return 1;
}

int KFuzzStorage::Write(const void*, int, int* done)
{
    *done = 0;
    return 0;
}
