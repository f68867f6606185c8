#include "media/IsoMediaProbe.h"

#include <cstring>

namespace {
constexpr uint64_t kBoxHeader = 8;
constexpr uint64_t kLargeBoxHeader = 16;
constexpr uint32_t kMaxFtypBytes = 1024;
constexpr int kMaxBoxes = 1 << 16;

bool Is(const uint8_t* type, const char* name) { return std::memcmp(type, name, 4) == 0; }

bool KnownTopLevel(const uint8_t* t)
{
    static constexpr const char* kTypes[] = {"ftyp", "styp", "moov", "mdat", "free", "skip", "wide",
                                             "pnot", "uuid", "moof", "mfra", "meta", "sidx", "ssix",
                                             "prft", "emsg", "pdin", "bloc"};
    for (const char* k : kTypes)
        if (Is(t, k)) return true;
    return false;
}

// Boxes a QuickTime movie without "ftyp" may start with.
bool MovieStart(const uint8_t* t)
{
    return Is(t, "moov") || Is(t, "mdat") || Is(t, "wide") || Is(t, "free") || Is(t, "skip") || Is(t, "pnot");
}

IsoKind KindOfBrand(const uint8_t* b)
{
    if (Is(b, "qt  ")) return IsoKind::Mov;
    if (Is(b, "M4A ") || Is(b, "M4B ") || Is(b, "M4P ") || Is(b, "F4A ") || Is(b, "F4B ")) return IsoKind::M4a;
    if (b[0] == '3' && b[1] == 'g') return IsoKind::Tgp;
    // Still pictures and image sequences in the same container are not ours.
    static constexpr const char* kPictures[] = {"heic", "heix", "hevc", "hevx", "heim", "heis", "mif1",
                                                "msf1", "avif", "avis", "crx ", "jp2 ", "jpx ", "jpm "};
    for (const char* p : kPictures)
        if (Is(b, p)) return IsoKind::None;
    for (int i = 0; i < 4; ++i)
        if (b[i] < 0x20 || b[i] > 0x7E) return IsoKind::None;
    return IsoKind::Mp4;
}
}

bool IsoFirstBoxPlausible(ByteView head)
{
    uint32_t size = 0;
    if (!LoadU32BE(head, 0, size) || head.size() < 12) return false;
    const uint8_t* type = head.data() + 4;
    if (Is(type, "ftyp")) return size >= 16 && size <= kMaxFtypBytes && size % 4 == 0;
    return MovieStart(type) && (size == 1 || size >= kBoxHeader);
}

tagIsoProbe ProbeIsoMedia(KRawReader& reader)
{
    ByteView first = reader.View(0, 16);
    if (first.empty() || !IsoFirstBoxPlausible(first)) return {};
    const bool ftyp = Is(first.data() + 4, "ftyp");
    const IsoKind kind = ftyp ? KindOfBrand(first.data() + 8) : IsoKind::Mov;
    if (kind == IsoKind::None) return {};

    uint64_t pos = 0;
    int boxes = 0;
    bool media = false;   // a movie box or media data seen
    for (; boxes < kMaxBoxes; ++boxes) {
        ByteView h = reader.View(pos, kBoxHeader);
        if (h.empty() || !KnownTopLevel(h.data() + 4)) break;
        uint32_t size32 = 0;
        LoadU32BE(h, 0, size32);
        uint64_t size = size32;
        if (size == 1) {
            ByteView large = reader.View(pos, kLargeBoxHeader);
            if (large.empty()) break;
            LoadU64BE(large, 8, size);
            if (size < kLargeBoxHeader) break;
        } else if (size == 0) {
            // The last box runs to the end of the file, wherever that is.
            return {media || Is(h.data() + 4, "mdat") ? kind : IsoKind::None, 0};
        } else if (size < kBoxHeader) {
            break;
        }
        if (Is(h.data() + 4, "moov") || Is(h.data() + 4, "mdat") || Is(h.data() + 4, "moof")) media = true;
        if (size > reader.Limit() - pos) return {media ? kind : IsoKind::None, 0};
        pos += size;
    }
    // A file is a type plus at least one box of media; a movie without "ftyp" needs a chain of
    // two boxes, since one box header alone is eight bytes that chance can produce.
    if (!media || (!ftyp && boxes < 2)) return {};
    return {kind, pos};
}
