#include "base/KMemoryPool.h"

#include <new>

KMemoryPool::KMemoryPool(uint32_t elementSize, uint32_t elementsPerBlock)
    : m_dwElementSize(elementSize), m_dwElementsPerBlock(elementsPerBlock)
{}

KMemoryPool::~KMemoryPool() { FreeAll(); }

uint32_t KMemoryPool::GetRemaining() const { return m_Blocks.empty() ? 0 : m_dwElementsPerBlock - m_dwUsed; }

void* KMemoryPool::Alloc(uint32_t n)
{
    if (n > m_dwElementsPerBlock || m_dwElementSize == 0) return nullptr;
    if (GetRemaining() < n)
    {
        const size_t bytes = size_t{m_dwElementSize} * m_dwElementsPerBlock;
        auto* block = new (std::nothrow) uint8_t[bytes];
        if (!block) return nullptr;
        try
        {
            m_Blocks.push_back(block);
        }
        catch (const std::bad_alloc&)
        {
            delete[] block;
            return nullptr;
        }
        m_dwUsed = 0;
    }
    void* out = m_Blocks.back() + size_t{m_dwUsed} * m_dwElementSize;
    m_dwUsed += n;
    return out;
}

void KMemoryPool::FreeAll()
{
    for (uint8_t* block : m_Blocks) delete[] block;
    m_Blocks.clear();
    m_dwUsed = 0;
}
