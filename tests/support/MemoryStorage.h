#pragma once
// A byte vector behind the storage interface, for saving and loading state in memory. Reads
// start at Pos; writes append and can be made to fall short after a byte budget.
#include <cstdint>
#include <vector>

#include "storage/IStorageManager.h"

class MemoryStorage final : public IStorageManager
{
public:
    int Read(void* buffer, int length, int* done) override;
    int Write(const void* buffer, int length, int* done) override;

    std::vector<uint8_t> Bytes;
    size_t Pos = 0;
    size_t WriteBudget = SIZE_MAX;
};
