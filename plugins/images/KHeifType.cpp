#include "images/KHeifType.h"

namespace {
constexpr tagRawTypeInfo kHeic{"heic", "HEIF Image", 64, 1LL * 1024 * 1024 * 1024};
constexpr tagRawTypeInfo kAvif{"avif", "AVIF Image", 64, 1LL * 1024 * 1024 * 1024};
constexpr tagRawSignature kSignatures[] = {{4, 4, "ftyp"}};
}

KHeifType::Flavour KHeifType::FlavourOf(ByteView head, uint32_t ftypSize)
{
    // The major brand decides; the generic HEIF brands ("mif1" for items, "msf1" for
    // sequences) leave it to the compatible brands, which name the codec.
    const uint8_t* major = head.data() + 8;
    if (IsoTypeIs(major, "avif") || IsoTypeIs(major, "avis")) return Flavour::Avif;
    for (const char* b : {"heic", "heix", "heim", "heis", "hevc", "hevx"})
        if (IsoTypeIs(major, b)) return Flavour::Heic;
    if (!IsoTypeIs(major, "mif1") && !IsoTypeIs(major, "msf1")) return Flavour::None;
    if (IsoHasBrand(head, ftypSize, "avif") || IsoHasBrand(head, ftypSize, "avis")) return Flavour::Avif;
    return Flavour::Heic;
}

RawHeader KHeifType::CheckHeader(ByteView head, uint64_t&) const
{
    uint32_t ftypSize = 0;
    if (!IsoFtypInHead(head, ftypSize)) return RawHeader::No;
    return FlavourOf(head, ftypSize) == m_Flavour ? RawHeader::Open : RawHeader::No;
}

tagRawMatch KHeifType::FindEnd(KRawReader& reader) const
{
    const tagIsoBoxes boxes = WalkIsoBoxes(reader);
    // A still picture keeps its item tree in "meta"; a picture sequence is a movie.
    if (!boxes.meta && !boxes.moov) return {};
    if (boxes.openEnd) return {true, 0};
    if (!boxes.mdat && boxes.count < 3) return {};
    return {true, boxes.end};
}

KHeicType::KHeicType() : KHeifType(kHeic, kSignatures, Flavour::Heic) {}
KAvifType::KAvifType() : KHeifType(kAvif, kSignatures, Flavour::Avif) {}
