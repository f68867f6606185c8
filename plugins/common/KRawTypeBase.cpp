#include "common/KRawTypeBase.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {
int CopyText(const char* text, char* buffer, uint32_t size)
{
    if (!buffer || size == 0) return 0;
    const size_t len = std::strlen(text);
    const size_t n = len < size - 1 ? len : size - 1;
    std::memcpy(buffer, text, n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}
} // namespace

KRawTypeBase::KRawTypeBase(const tagRawTypeInfo& info, std::span<const tagRawSignature> signatures)
    : m_Info(info), m_Signatures(signatures)
{
    if (!m_Signatures.empty()) m_KeyOffset = m_Signatures[0].offset;
    for (const tagRawSignature& sig : m_Signatures)
    {
        // A table with mixed offsets would silently miss starts; such a type matches nothing.
        if (sig.offset != m_KeyOffset || sig.length == 0 || sig.length > 16)
        {
            m_KeyTable.fill(false);
            m_Signatures = {};
            return;
        }
        m_KeyTable[static_cast<uint8_t>(sig.bytes[0])] = true;
    }
}

KRawTypeBase::KRawTypeBase(const tagRawTypeInfo& info, const std::array<bool, 256>& firstBytes)
    : m_Info(info), m_KeyTable(firstBytes), m_KeyOnly(true)
{}

int KRawTypeBase::Initiate()
{
    return (m_KeyOnly || !m_Signatures.empty()) && m_Info.minSize >= 0 && m_Info.maxSize >= m_Info.minSize ? 1 : 0;
}

int KRawTypeBase::GetDescription(char* buffer, uint32_t size) { return CopyText(m_Info.description, buffer, size); }
int KRawTypeBase::GetExtension(char* buffer, uint32_t size) { return CopyText(m_Info.extension, buffer, size); }

int KRawTypeBase::BeginScan()
{
    m_SkipUntil = 0;
    m_Names.clear();
    return 1;
}

int KRawTypeBase::EndScan()
{
    m_SkipUntil = 0;
    return 1;
}

void KRawTypeBase::Release() { delete this; }

int KRawTypeBase::GetInfo(int id, void* out, uint32_t size)
{
    if (id == RAW_INFO_CONCURRENT && out && size >= 4)
    {
        // Every type's state is its own object's skip position; the walks read through the
        // scan's arguments only.
        const int32_t yes = 1;
        std::memcpy(out, &yes, sizeof yes);
        return 0;
    }
    if (id == RAW_INFO_HIT_NAME)
    {
        if (!out || size < sizeof(RawHitName)) return 1;
        auto* query = static_cast<RawHitName*>(out);
        for (const auto& [first, name] : m_Names)
        {
            if (first != query->firstSector) continue;
            CopyText(name.c_str(), query->name, sizeof query->name);
            return 0;
        }
        return 1;
    }
    if (id != RAW_INFO_SIZE_LIMITS || !out || size < 16) return 1;
    const int64_t limits[2] = {m_Info.minSize, m_Info.maxSize};
    std::memcpy(out, limits, sizeof(limits));
    return 0;
}

tagRawMatch KRawTypeBase::FindEnd(KRawReader&) const { return {true, 0}; }

bool KRawTypeBase::Plausible(const uint8_t*, const uint8_t*, uint32_t) const { return true; }

std::string KRawTypeBase::NameOf(KRawReader&, const tagRawMatch&) const { return {}; }

bool KRawTypeBase::SignatureAt(const uint8_t* sector, uint32_t bytesPerSector) const
{
    for (const tagRawSignature& sig : m_Signatures)
    {
        if (sig.length > bytesPerSector - sig.offset) continue;
        if (std::memcmp(sector + sig.offset, sig.bytes, sig.length) == 0) return true;
    }
    return false;
}

tagRawMatch KRawTypeBase::Examine(KRawReader& reader) const
{
    ByteView head = reader.ViewUpTo(0, static_cast<size_t>(std::min<uint64_t>(kHeadBytes, reader.BufferedBytes())));
    if (head.empty()) return {};
    uint64_t size = 0;
    const RawHeader verdict = CheckHeader(head, size);
    if (verdict == RawHeader::No) return {};
    tagRawMatch m;
    if (verdict == RawHeader::Sized)
    {
        m = {true, size};
    }
    else
    {
        m = FindEnd(reader);
        if (!m.found) return {};
    }
    // A length outside the type's limits comes from a damaged or foreign header.
    const uint64_t minSize = static_cast<uint64_t>(m_Info.minSize);
    const uint64_t maxSize = static_cast<uint64_t>(m_Info.maxSize);
    if (m.size != 0 && (m.size < minSize || m.size > maxSize)) return {};
    return m;
}

int KRawTypeBase::Scan(const RawScanArgs* args, IRawFileArray* hits)
{
    if (!args || !hits || !args->buffer || args->bytesPerSector == 0 || args->firstSector < 0) return 0;
    const uint32_t bps = args->bytesPerSector;
    if ((!m_KeyOnly && m_Signatures.empty()) || m_KeyOffset >= bps) return 0;
    m_Names.clear();
    try
    {
        const uint8_t* sector = args->buffer;
        for (uint32_t i = 0; i < args->sectorCount; ++i, sector += bps)
        {
            if (!m_KeyTable[sector[m_KeyOffset]]) continue;
            const int64_t first = args->firstSector + i;
            if (first < m_SkipUntil) continue;
            if (m_KeyOnly ? !Plausible(sector, i ? sector - bps : nullptr, bps) : !SignatureAt(sector, bps)) continue;
            KRawReader reader(*args, i, static_cast<uint64_t>(m_Info.maxSize));
            const tagRawMatch m = Examine(reader);
            if (!m.found) continue;
            const RawHit hit{first, static_cast<int64_t>(m.size)};
            hits->Add(&hit);
            if (std::string name = NameOf(reader, m); !name.empty()) m_Names.emplace_back(first, std::move(name));
            const uint64_t extent = m.size ? m.size : std::min(m.covered, static_cast<uint64_t>(m_Info.maxSize));
            if (extent) m_SkipUntil = first + static_cast<int64_t>((extent + bps - 1) / bps);
        }
    }
    catch (const std::bad_alloc&)
    {
        // Out of memory for a read window: this buffer's remaining starts are lost, the scan goes on.
    }
    return 0;
}
