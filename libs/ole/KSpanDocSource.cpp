#include "ole/KSpanDocSource.h"

#include <algorithm>
#include <cstring>

bool KSpanDocSource::Read(uint64_t off, void* out, size_t len)
{
    if (!RangeFits(m_Bytes.size(), off, len)) return false;
    if (len) std::memcpy(out, m_Bytes.data() + off, len);
    return true;
}

size_t KSpanDocSource::ReadSome(uint64_t off, void* out, size_t len)
{
    if (off >= m_Bytes.size()) return 0;
    const size_t n = static_cast<size_t>(std::min<uint64_t>(len, m_Bytes.size() - off));
    std::memcpy(out, m_Bytes.data() + off, n);
    return n;
}
