#include "media/KAsfMediaType.h"

namespace {
constexpr tagRawTypeInfo kWmv{"wmv", "Windows Media Video", 256, 64LL * 1024 * 1024 * 1024};
constexpr tagRawTypeInfo kWma{"wma", "Windows Media Audio", 256, 4LL * 1024 * 1024 * 1024};
constexpr tagRawTypeInfo kAsf{"asf", "Advanced Systems Format", 256, 64LL * 1024 * 1024 * 1024};
// The first eight bytes of the header object's GUID.
constexpr tagRawSignature kSignatures[] = {{0, 8, "\x30\x26\xB2\x75\x8E\x66\xCF\x11"}};
} // namespace

KAsfMediaType::KAsfMediaType(const tagRawTypeInfo& info, AsfKind kind) : KRawTypeBase(info, kSignatures), m_Kind(kind)
{}

RawHeader KAsfMediaType::CheckHeader(ByteView head, uint64_t&) const
{
    return AsfHeaderPlausible(head) ? RawHeader::Open : RawHeader::No;
}

tagRawMatch KAsfMediaType::FindEnd(KRawReader& reader) const
{
    const tagAsfProbe probe = ProbeAsf(reader);
    if (probe.kind != m_Kind) return {};
    return {true, probe.size};
}

KWmvType::KWmvType() : KAsfMediaType(kWmv, AsfKind::Video) {}
KWmaType::KWmaType() : KAsfMediaType(kWma, AsfKind::Audio) {}
KAsfType::KAsfType() : KAsfMediaType(kAsf, AsfKind::Other) {}
