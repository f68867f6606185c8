#include "images/KTiffType.h"

#include <cstring>
#include <string_view>

#include "common/MetaName.h"
#include "common/TiffWalk.h"

namespace {
constexpr int64_t MiB = 1024 * 1024;
constexpr uint16_t kTiffMagic = 42;
constexpr uint16_t kOrfMagic = 0x4F52, kOrfMagicS = 0x5352, kRw2Magic = 0x55;

constexpr tagRawSignature kTiffSigs[] = {{0, 4, "II*\0"}, {0, 4, "MM\0*"}};
constexpr tagRawSignature kCr2Sigs[] = {{0, 4, "II*\0"}};
constexpr tagRawSignature kOrfSigs[] = {{0, 4, "IIRO"}, {0, 4, "IIRS"}, {0, 4, "MMOR"}};
constexpr tagRawSignature kRw2Sigs[] = {{0, 4, "IIU\0"}};

const tagTiffTypeDesc kTif{{"tif", "TIFF Image", 64, 1024 * MiB}, kTiffSigs, TiffKind::Tiff};
const tagTiffTypeDesc kCr2{{"cr2", "Canon Raw Image", 1024, 512 * MiB}, kCr2Sigs, TiffKind::Cr2};
const tagTiffTypeDesc kNef{{"nef", "Nikon Raw Image", 1024, 512 * MiB}, kTiffSigs, TiffKind::Nef};
const tagTiffTypeDesc kArw{{"arw", "Sony Raw Image", 1024, 512 * MiB}, kTiffSigs, TiffKind::Arw};
const tagTiffTypeDesc kDng{{"dng", "Digital Negative", 1024, 1024 * MiB}, kTiffSigs, TiffKind::Dng};
const tagTiffTypeDesc kPef{{"pef", "Pentax Raw Image", 1024, 512 * MiB}, kTiffSigs, TiffKind::Pef};
const tagTiffTypeDesc kOrf{{"orf", "Olympus Raw Image", 1024, 512 * MiB}, kOrfSigs, TiffKind::Orf};
const tagTiffTypeDesc kRw2{{"rw2", "Panasonic Raw Image", 1024, 512 * MiB}, kRw2Sigs, TiffKind::Rw2};

bool MakeIs(const std::string& make, std::string_view prefix) { return make.compare(0, prefix.size(), prefix) == 0; }

// Which format a sound tree is, from the header and what the walk saw.
TiffKind KindOf(const tagTiffHeader& h, ByteView head, const tagTiffTree& tree)
{
    if (h.magic == kOrfMagic || h.magic == kOrfMagicS) return TiffKind::Orf;
    if (h.magic == kRw2Magic) return TiffKind::Rw2;
    if (head.size() >= 10 && h.littleEndian && head[8] == 'C' && head[9] == 'R') return TiffKind::Cr2;
    if (tree.dng) return TiffKind::Dng;
    if (MakeIs(tree.make, "NIKON")) return TiffKind::Nef;
    if (MakeIs(tree.make, "SONY")) return TiffKind::Arw;
    if (MakeIs(tree.make, "PENTAX") || MakeIs(tree.make, "RICOH IMAGING")) return TiffKind::Pef;
    return TiffKind::Tiff;
}

template <const tagTiffTypeDesc& Desc> KRawTypeBase* Create() { return new (std::nothrow) KTiffType(Desc); }
} // namespace

KTiffType::KTiffType(const tagTiffTypeDesc& desc) : KRawTypeBase(desc.info, desc.signatures), m_Kind(desc.kind) {}

RawHeader KTiffType::CheckHeader(ByteView head, uint64_t&) const
{
    tagTiffHeader h;
    if (!ReadTiffHeader(head, h)) return RawHeader::No;
    const bool ownMagic = m_Kind == TiffKind::Orf ? (h.magic == kOrfMagic || h.magic == kOrfMagicS)
        : m_Kind == TiffKind::Rw2                 ? h.magic == kRw2Magic
                                                  : h.magic == kTiffMagic;
    return ownMagic ? RawHeader::Open : RawHeader::No;
}

tagRawMatch KTiffType::FindEnd(KRawReader& reader) const
{
    const ByteView head = reader.ViewUpTo(0, 16);
    tagTiffHeader h;
    if (!ReadTiffHeader(head, h)) return {};
    const tagTiffTree tree = WalkTiff(reader, h);
    if (!tree.found || KindOf(h, head, tree) != m_Kind) return {};
    // The raw data of a Panasonic file is located by an offset without a length: it runs to
    // the end of the file, which the tree does not tell.
    if (m_Kind == TiffKind::Rw2) return {true, 0, tree.end};
    return {true, tree.end};
}

std::string KTiffType::NameOf(KRawReader& reader, const tagRawMatch& match) const
{
    tagTiffMeta meta;
    const uint64_t span = match.size ? match.size : reader.Limit();
    return ReadTiffMeta(reader, 0, span, meta) ? PhotoName(meta) : std::string();
}

std::span<const RawTypeCreate> TiffFamilyTypes()
{
    static constexpr RawTypeCreate kTypes[] = {&Create<kTif>, &Create<kCr2>, &Create<kNef>, &Create<kArw>,
                                               &Create<kDng>, &Create<kPef>, &Create<kOrf>, &Create<kRw2>};
    return kTypes;
}
