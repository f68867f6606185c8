#include "media/KIsoMediaType.h"

namespace {
constexpr int64_t kMaxVideo = 64LL * 1024 * 1024 * 1024;
constexpr tagRawTypeInfo kMp4{"mp4", "MPEG-4 Video", 64, kMaxVideo};
constexpr tagRawTypeInfo kM4a{"m4a", "MPEG-4 Audio", 64, 4LL * 1024 * 1024 * 1024};
constexpr tagRawTypeInfo k3gp{"3gp", "3GPP Multimedia", 64, 4LL * 1024 * 1024 * 1024};
constexpr tagRawTypeInfo kMov{"mov", "QuickTime Movie", 64, kMaxVideo};
constexpr tagRawTypeInfo k3g2{"3g2", "3GPP2 Multimedia", 64, 4LL * 1024 * 1024 * 1024};
constexpr tagRawTypeInfo kM4v{"m4v", "MPEG-4 Video (iTunes)", 64, kMaxVideo};
constexpr tagRawTypeInfo kCr3{"cr3", "Canon Raw Image (CR3)", 1024, 1024LL * 1024 * 1024};

// Box types sit at offset 4, after the box size.
constexpr tagRawSignature kBranded[] = {{4, 4, "ftyp"}};
constexpr tagRawSignature kMovie[] = {{4, 4, "ftyp"}, {4, 4, "moov"}, {4, 4, "mdat"}, {4, 4, "wide"},
                                      {4, 4, "free"}, {4, 4, "skip"}, {4, 4, "pnot"}};
} // namespace

RawHeader KIsoMediaType::CheckHeader(ByteView head, uint64_t&) const
{
    return IsoFirstBoxPlausible(head) ? RawHeader::Open : RawHeader::No;
}

tagRawMatch KIsoMediaType::FindEnd(KRawReader& reader) const
{
    const tagIsoProbe probe = ProbeIsoMedia(reader);
    if (probe.kind != m_Kind) return {};
    return {true, probe.size};
}

KMp4Type::KMp4Type() : KIsoMediaType(kMp4, kBranded, IsoKind::Mp4) {}
KM4aType::KM4aType() : KIsoMediaType(kM4a, kBranded, IsoKind::M4a) {}
K3gpType::K3gpType() : KIsoMediaType(k3gp, kBranded, IsoKind::Tgp) {}
KMovType::KMovType() : KIsoMediaType(kMov, kMovie, IsoKind::Mov) {}
K3g2Type::K3g2Type() : KIsoMediaType(k3g2, kBranded, IsoKind::Tg2) {}
KM4vType::KM4vType() : KIsoMediaType(kM4v, kBranded, IsoKind::M4v) {}
KCr3Type::KCr3Type() : KIsoMediaType(kCr3, kBranded, IsoKind::Cr3) {}
