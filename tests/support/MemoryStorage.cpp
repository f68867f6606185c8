#include "support/MemoryStorage.h"

#include <algorithm>
#include <cstring>

int MemoryStorage::Read(void* buffer, int length, int* done)
{
    const size_t left = Pos < Bytes.size() ? Bytes.size() - Pos : 0;
    const size_t n = std::min(static_cast<size_t>(std::max(length, 0)), left);
    if (n != 0) // an empty vector has no data pointer to copy from
        std::memcpy(buffer, Bytes.data() + Pos, n);
    Pos += n;
    *done = static_cast<int>(n);
    return 1;
}

int MemoryStorage::Write(const void* buffer, int length, int* done)
{
    const size_t n = std::min(static_cast<size_t>(std::max(length, 0)), WriteBudget);
    WriteBudget -= n;
    const auto* p = static_cast<const uint8_t*>(buffer);
    Bytes.insert(Bytes.end(), p, p + n);
    *done = static_cast<int>(n);
    return 1;
}
