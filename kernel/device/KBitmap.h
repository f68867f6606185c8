#pragma once
// A bit array addressed by a 64-bit index; bit i lives in byte i / 8 at bit i % 8 (LSB first).
#include <cstdint>

class KBitmap
{
public:
    KBitmap() = default;
    KBitmap(const KBitmap&) = delete;
    KBitmap& operator=(const KBitmap&) = delete;
    virtual ~KBitmap();

    /// 0 for a count <= 0 (old storage kept). Otherwise replaces the storage with a zeroed one
    /// of bitCount bits; 1 on success, 0 when the allocation fails.
    int Create(int64_t bitCount);
    int SetBit(int64_t index, int on);
    /// The masked bit (non-zero when set), 0 outside 0..lastIndex.
    uint32_t GetBit(int64_t index) const;
    int Destroy();
    int64_t GetLastIndex() const { return m_s64LastIndex; }
    uint32_t GetByteCount() const { return m_dwByteCount; }

private:
    uint8_t* m_pBits = nullptr;
    uint32_t m_dwByteCount = 0;
    int64_t m_s64LastIndex = 0;
};
