#include "raw/KRawFileArray.h"

#include <cstddef>
#include <new>

void KRawFileArray::Add(const RawHit* hit)
{
    if (!hit) return;
    try
    {
        m_Hits.push_back(*hit);
    }
    catch (const std::bad_alloc&)
    {
        // Called from a plug-in: nothing may be thrown back across the interface.
    }
}

int KRawFileArray::GetAt(int index, RawHit* out)
{
    if (!out || index < 0 || static_cast<size_t>(index) >= m_Hits.size()) return 0;
    *out = m_Hits[static_cast<size_t>(index)];
    return 1;
}
