#pragma once
// An arena that hands out runs of fixed-size elements from large blocks and frees them all at
// once: millions of names and records cost one allocation per block. Never thread-safe.
#include <cstddef>
#include <cstdint>
#include <vector>

class KMemoryPool
{
public:
    KMemoryPool(uint32_t elementSize, uint32_t elementsPerBlock);
    KMemoryPool(const KMemoryPool&) = delete;
    KMemoryPool& operator=(const KMemoryPool&) = delete;
    virtual ~KMemoryPool();

    uint32_t GetRemaining() const;
    /// n consecutive elements (not zeroed), or null when a block cannot be had. A request for
    /// more elements than one block holds is refused (null) rather than run past the block.
    void* Alloc(uint32_t n);
    void FreeAll();

private:
    uint32_t m_dwElementSize;
    uint32_t m_dwElementsPerBlock;
    uint32_t m_dwUsed = 0;
    std::vector<uint8_t*> m_Blocks;
};
