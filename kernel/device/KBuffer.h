#pragma once
// An owned byte block that remembers its size.
#include <cstdint>

class KBuffer
{
public:
    KBuffer() = default;
    KBuffer(const KBuffer&) = delete;
    KBuffer& operator=(const KBuffer&) = delete;
    virtual ~KBuffer();

    /// Frees the old block and allocates `size` bytes (contents undefined). Returns the block,
    /// or null on failure (the size field then already holds the request: test the pointer).
    virtual uint8_t* Allocate(int32_t size);
    virtual void Free();
    virtual uint8_t* GetBuffer() { return m_pData; }
    virtual uint8_t* GetAt(int32_t offset) { return m_pData + offset; } // unchecked
    /// Stores the byte only when 0 <= index < size.
    virtual void SetByte(int32_t index, uint8_t value);
    virtual int32_t GetSize() { return m_nSize; }

private:
    uint8_t* m_pData = nullptr;
    int32_t m_nSize = 0;
};
