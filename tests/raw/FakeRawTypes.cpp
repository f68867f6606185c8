#include "FakeRawTypes.h"

#include <algorithm>
#include <cstring>

int FakeRawType::Scan(const RawScanArgs* args, IRawFileArray* hits)
{
    ++m_Log->scans;
    for (const auto& [trigger, list] : m_Hits)
        if (trigger >= args->firstSector && trigger < args->firstSector + args->sectorCount)
            for (const RawHit& h : list) hits->Add(&h);
    return 0;
}

int FakeRawType::GetInfo(int id, void* out, uint32_t size)
{
    if (id == RAW_INFO_HIT_NAME)
    {
        auto* q = static_cast<RawHitName*>(out);
        const auto it = size >= sizeof(RawHitName) ? m_Names.find(q->firstSector) : m_Names.end();
        if (it == m_Names.end()) return 1;
        std::memset(q->name, 0, sizeof q->name);
        std::memcpy(q->name, it->second.data(), std::min(it->second.size(), sizeof q->name));
        return 0;
    }
    if (!m_HasLimits || id != RAW_INFO_SIZE_LIMITS || size < 16) return 1;
    const int64_t v[2] = {m_Min, m_Max};
    std::memcpy(out, v, sizeof v);
    return 0;
}

int FakeRawType::Copy(const std::string& s, char* b, uint32_t n)
{
    if (!b || n == 0) return 0;
    const size_t len = std::min<size_t>(s.size(), n - 1);
    std::memcpy(b, s.data(), len);
    b[len] = '\0';
    return static_cast<int>(len);
}
