#include "device/KBuffer.h"

#include <cstddef>
#include <new>

KBuffer::~KBuffer()
{
    // Not virtual dispatch: a destructor reaches only this class's Free.
    delete[] m_pData;
    m_pData = nullptr;
    m_nSize = 0;
}

uint8_t* KBuffer::Allocate(int32_t size)
{
    Free();
    m_nSize = size;
    if (size < 0)
        return nullptr;
    m_pData = new (std::nothrow) uint8_t[static_cast<size_t>(size)];
    return m_pData;
}

void KBuffer::Free()
{
    delete[] m_pData;
    m_pData = nullptr;
    m_nSize = 0;
}

void KBuffer::SetByte(int32_t index, uint8_t value)
{
    if (m_pData && index >= 0 && index < m_nSize)
        m_pData[index] = value;
}
