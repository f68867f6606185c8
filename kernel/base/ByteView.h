#pragma once
// One vocabulary for reading untrusted bytes. A view is bytes plus length; every load is
// checked against it. A load past the end yields false and zero. KByteCursor keeps a sticky
// overrun flag so that a run of reads is checked once at the end.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <type_traits>

static_assert(std::endian::native == std::endian::little, "the engine assumes a little-endian host");

using ByteView = std::span<const uint8_t>;
// Bytes a repair writes into (the update-sequence fixups), with the same length checks.
using MutableByteView = std::span<uint8_t>;

// True when [off, off + len) lies inside a buffer of `size` bytes (no overflow in the sum).
constexpr bool RangeFits(uint64_t size, uint64_t off, uint64_t len) { return off <= size && len <= size - off; }

inline bool LoadU8(ByteView v, size_t off, uint8_t& out)
{
    if (!RangeFits(v.size(), off, 1))
    {
        out = 0;
        return false;
    }
    out = v[off];
    return true;
}

inline bool LoadU16LE(ByteView v, size_t off, uint16_t& out)
{
    if (!RangeFits(v.size(), off, 2))
    {
        out = 0;
        return false;
    }
    out = static_cast<uint16_t>(v[off] | (v[off + 1] << 8));
    return true;
}

inline bool LoadU32LE(ByteView v, size_t off, uint32_t& out)
{
    if (!RangeFits(v.size(), off, 4))
    {
        out = 0;
        return false;
    }
    out = static_cast<uint32_t>(v[off]) | (static_cast<uint32_t>(v[off + 1]) << 8) |
        (static_cast<uint32_t>(v[off + 2]) << 16) | (static_cast<uint32_t>(v[off + 3]) << 24);
    return true;
}

inline bool LoadU64LE(ByteView v, size_t off, uint64_t& out)
{
    uint32_t lo = 0, hi = 0;
    if (!RangeFits(v.size(), off, 8))
    {
        out = 0;
        return false;
    }
    LoadU32LE(v, off, lo);
    LoadU32LE(v, off + 4, hi);
    out = (static_cast<uint64_t>(hi) << 32) | lo;
    return true;
}

inline bool LoadU16BE(ByteView v, size_t off, uint16_t& out)
{
    if (!RangeFits(v.size(), off, 2))
    {
        out = 0;
        return false;
    }
    out = static_cast<uint16_t>((v[off] << 8) | v[off + 1]);
    return true;
}

inline bool LoadU32BE(ByteView v, size_t off, uint32_t& out)
{
    if (!RangeFits(v.size(), off, 4))
    {
        out = 0;
        return false;
    }
    out = (static_cast<uint32_t>(v[off]) << 24) | (static_cast<uint32_t>(v[off + 1]) << 16) |
        (static_cast<uint32_t>(v[off + 2]) << 8) | static_cast<uint32_t>(v[off + 3]);
    return true;
}

inline bool LoadU64BE(ByteView v, size_t off, uint64_t& out)
{
    uint32_t hi = 0, lo = 0;
    if (!RangeFits(v.size(), off, 8))
    {
        out = 0;
        return false;
    }
    LoadU32BE(v, off, hi);
    LoadU32BE(v, off + 4, lo);
    out = (static_cast<uint64_t>(hi) << 32) | lo;
    return true;
}

// Fills a packed record from the view by a checked copy (never by casting a pointer into a
// sector buffer). On a short view the record is zeroed and false is returned.
template <typename T> bool LoadRecord(ByteView v, size_t off, T& out)
{
    static_assert(std::is_trivially_copyable_v<T>);
    if (!RangeFits(v.size(), off, sizeof(T)))
    {
        std::memset(&out, 0, sizeof(T));
        return false;
    }
    std::memcpy(&out, v.data() + off, sizeof(T));
    return true;
}

// Unchecked little-endian loads for hot loops that have already bounded the offset.
inline uint16_t PeekU16LE(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t PeekU32LE(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
inline uint64_t PeekU64LE(const uint8_t* p)
{
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

// Sequential reader with a sticky overrun flag.
class KByteCursor
{
public:
    explicit KByteCursor(ByteView view, size_t pos = 0) : m_View(view), m_Pos(pos) {}

    uint8_t U8()
    {
        uint8_t v = 0;
        Advance(LoadU8(m_View, m_Pos, v), 1);
        return v;
    }
    uint16_t U16LE()
    {
        uint16_t v = 0;
        Advance(LoadU16LE(m_View, m_Pos, v), 2);
        return v;
    }
    uint32_t U32LE()
    {
        uint32_t v = 0;
        Advance(LoadU32LE(m_View, m_Pos, v), 4);
        return v;
    }
    uint64_t U64LE()
    {
        uint64_t v = 0;
        Advance(LoadU64LE(m_View, m_Pos, v), 8);
        return v;
    }
    uint16_t U16BE()
    {
        uint16_t v = 0;
        Advance(LoadU16BE(m_View, m_Pos, v), 2);
        return v;
    }
    uint32_t U32BE()
    {
        uint32_t v = 0;
        Advance(LoadU32BE(m_View, m_Pos, v), 4);
        return v;
    }
    uint64_t U64BE()
    {
        uint64_t v = 0;
        Advance(LoadU64BE(m_View, m_Pos, v), 8);
        return v;
    }

    // A view of the next n bytes (empty and overrun when they are not there).
    ByteView Bytes(size_t n)
    {
        if (!RangeFits(m_View.size(), m_Pos, n))
        {
            m_Overrun = true;
            return {};
        }
        ByteView out = m_View.subspan(m_Pos, n);
        m_Pos += n;
        return out;
    }
    void Skip(size_t n)
    {
        if (!RangeFits(m_View.size(), m_Pos, n))
        {
            m_Overrun = true;
            m_Pos = m_View.size();
            return;
        }
        m_Pos += n;
    }
    void Seek(size_t pos)
    {
        if (pos > m_View.size())
        {
            m_Overrun = true;
            m_Pos = m_View.size();
            return;
        }
        m_Pos = pos;
    }

    size_t Pos() const { return m_Pos; }
    size_t Remaining() const { return m_View.size() - m_Pos; }
    bool Overrun() const { return m_Overrun; }
    bool Ok() const { return !m_Overrun; }

private:
    void Advance(bool ok, size_t n)
    {
        if (ok)
            m_Pos += n;
        else
            m_Overrun = true;
    }

    ByteView m_View;
    size_t m_Pos;
    bool m_Overrun = false;
};
