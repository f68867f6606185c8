#include "media/IsoMediaProbe.h"

#include "common/IsoBoxWalk.h"

namespace {
// Boxes a QuickTime movie without "ftyp" may start with.
bool MovieStart(const uint8_t* t)
{
    return IsoTypeIs(t, "moov") || IsoTypeIs(t, "mdat") || IsoTypeIs(t, "wide") || IsoTypeIs(t, "free") ||
        IsoTypeIs(t, "skip") || IsoTypeIs(t, "pnot");
}

IsoKind KindOfBrand(const uint8_t* b)
{
    if (IsoTypeIs(b, "qt  ")) return IsoKind::Mov;
    if (IsoTypeIs(b, "M4A ") || IsoTypeIs(b, "M4B ") || IsoTypeIs(b, "M4P ") || IsoTypeIs(b, "F4A ") ||
        IsoTypeIs(b, "F4B "))
        return IsoKind::M4a;
    if (IsoTypeIs(b, "M4V ") || IsoTypeIs(b, "M4VH") || IsoTypeIs(b, "M4VP")) return IsoKind::M4v;
    if (b[0] == '3' && b[1] == 'g' && b[2] == '2') return IsoKind::Tg2;
    if (b[0] == '3' && b[1] == 'g') return IsoKind::Tgp;
    if (IsoTypeIs(b, "crx ")) return IsoKind::Cr3;
    // Still pictures and image sequences in the same container are not ours.
    static constexpr const char* kPictures[] = {"heic", "heix", "hevc", "hevx", "heim", "heis", "mif1",
                                                "msf1", "avif", "avis", "jp2 ", "jpx ", "jpm "};
    for (const char* p : kPictures)
        if (IsoTypeIs(b, p)) return IsoKind::None;
    for (int i = 0; i < 4; ++i)
        if (b[i] < 0x20 || b[i] > 0x7E) return IsoKind::None;
    return IsoKind::Mp4;
}
} // namespace

bool IsoFirstBoxPlausible(ByteView head)
{
    uint32_t size = 0;
    if (!LoadU32BE(head, 0, size) || head.size() < 12) return false;
    const uint8_t* type = head.data() + 4;
    if (IsoTypeIs(type, "ftyp")) return size >= 16 && size <= 1024 && size % 4 == 0;
    return MovieStart(type) && (size == 1 || size >= 8);
}

tagIsoProbe ProbeIsoMedia(KRawReader& reader)
{
    ByteView first = reader.View(0, 16);
    if (first.empty() || !IsoFirstBoxPlausible(first)) return {};
    const bool ftyp = IsoTypeIs(first.data() + 4, "ftyp");
    const IsoKind kind = ftyp ? KindOfBrand(first.data() + 8) : IsoKind::Mov;
    if (kind == IsoKind::None) return {};

    const tagIsoBoxes boxes = WalkIsoBoxes(reader);
    const bool media = boxes.moov || boxes.mdat || boxes.moof;
    // The last box runs to the end of the file, wherever that is.
    if (boxes.openEnd) return {media ? kind : IsoKind::None, 0};
    // A file is a type plus at least one box of media; a movie without "ftyp" needs a chain of
    // two boxes, since one box header alone is eight bytes that chance can produce.
    if (!media || (!ftyp && boxes.count < 2)) return {};
    return {kind, boxes.end};
}
