#include "device/KBitmap.h"

#include <cstring>
#include <new>

KBitmap::~KBitmap()
{
    Destroy();
}

int KBitmap::Create(int64_t bitCount)
{
    if (bitCount <= 0)
        return 0;
    Destroy();
    const int64_t bytes = bitCount / 8 + (bitCount % 8 ? 1 : 0);
    if (bytes > int64_t{UINT32_MAX})
        return 0;
    m_pBits = new (std::nothrow) uint8_t[static_cast<size_t>(bytes)];
    if (!m_pBits)
    {
        m_dwByteCount = 0;
        m_s64LastIndex = 0;
        return 0;
    }
    std::memset(m_pBits, 0, static_cast<size_t>(bytes));
    m_dwByteCount = static_cast<uint32_t>(bytes);
    m_s64LastIndex = bitCount - 1;
    return 1;
}

int KBitmap::SetBit(int64_t index, int on)
{
    if (!m_pBits || index < 0 || index > m_s64LastIndex)
        return 0;
    const auto mask = static_cast<uint8_t>(1u << (index % 8));
    if (on)
        m_pBits[index / 8] = static_cast<uint8_t>(m_pBits[index / 8] | mask);
    else
        m_pBits[index / 8] = static_cast<uint8_t>(m_pBits[index / 8] & ~mask);
    return 1;
}

uint32_t KBitmap::GetBit(int64_t index) const
{
    if (!m_pBits || index < 0 || index > m_s64LastIndex)
        return 0;
    return m_pBits[index / 8] & (1u << (index % 8));
}

int KBitmap::Destroy()
{
    delete[] m_pBits;
    m_pBits = nullptr;
    m_dwByteCount = 0;
    m_s64LastIndex = 0;
    return 1;
}
