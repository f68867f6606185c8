#include "media/Id3Tag.h"

#include <algorithm>
#include <cstring>

#include "common/MetaName.h"

namespace {
// Text frames: an encoding byte, then the text.
std::string FrameText(ByteView body)
{
    if (body.empty()) return {};
    const ByteView text = body.subspan(1);
    switch (body[0])
    {
    case 0: return TextFromLatin1(text);
    case 1: return TextFromUtf16(text, false);
    case 2: return TextFromUtf16(text, true);
    case 3:
    {
        const auto* p = reinterpret_cast<const char*>(text.data());
        return std::string(p, strnlen(p, text.size()));
    }
    default: return {};
    }
}

uint32_t SyncSafe(const uint8_t* p)
{
    return (p[0] & 0x7Fu) << 21 | (p[1] & 0x7Fu) << 14 | (p[2] & 0x7Fu) << 7 | (p[3] & 0x7Fu);
}
uint32_t Be32(const uint8_t* p) { return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3]; }
} // namespace

bool Id3v2Size(ByteView head, uint64_t& size)
{
    if (head.size() < kId3v2Header || std::memcmp(head.data(), "ID3", 3) != 0) return false;
    // Version 0xFF is never valid; the low four flag bits are unused in every version.
    if (head[3] < 2 || head[3] > 4 || head[4] == 0xFF || (head[5] & 0x0F)) return false;
    uint64_t s = 0;
    for (size_t i = 6; i < kId3v2Header; ++i)
    {
        if (head[i] & 0x80) return false;
        s = (s << 7) | head[i];
    }
    size = kId3v2Header + s + ((head[5] & 0x10) ? kId3v2Header : 0);
    return true;
}

bool Id3v2Song(ByteView tag, tagSongTags& out)
{
    uint64_t size = 0;
    if (!Id3v2Size(tag, size)) return false;
    const uint8_t version = tag[3], flags = tag[5];
    // A tag unsynchronised as a whole (before 2.4) would have to be decoded first.
    if (version < 4 && (flags & 0x80)) return false;
    const size_t end = static_cast<size_t>(std::min<uint64_t>(tag.size(), size - ((flags & 0x10) ? kId3v2Header : 0)));
    size_t pos = kId3v2Header;
    if (flags & 0x40)
    { // an extended header
        if (end < pos + 4) return false;
        const uint32_t ext = version == 4 ? SyncSafe(&tag[pos]) : Be32(&tag[pos]) + 4;
        if (ext > end - pos) return false;
        pos += ext;
    }
    const size_t idBytes = version == 2 ? 3 : 4, headBytes = version == 2 ? 6 : 10;
    const char* titleId = version == 2 ? "TT2" : "TIT2";
    const char* artistId = version == 2 ? "TP1" : "TPE1";
    while (end - pos >= headBytes && tag[pos] != 0)
    {
        const uint8_t* h = &tag[pos];
        const uint32_t frame = version == 2 ? (uint32_t{h[3]} << 16 | uint32_t{h[4]} << 8 | h[5])
            : version == 4                  ? SyncSafe(h + 4)
                                            : Be32(h + 4);
        if (frame > end - pos - headBytes) break;
        // Compressed, encrypted or (2.4) unsynchronised frames, and 2.4's data length prefix.
        const bool plain = version == 2 || (version == 3 ? (h[9] & 0xC0) == 0 : (h[9] & 0x0F) == 0);
        const ByteView body = tag.subspan(pos + headBytes, frame);
        if (plain && std::memcmp(h, titleId, idBytes) == 0 && out.title.empty()) out.title = FrameText(body);
        if (plain && std::memcmp(h, artistId, idBytes) == 0 && out.artist.empty()) out.artist = FrameText(body);
        pos += headBytes + frame;
    }
    return !out.title.empty() || !out.artist.empty();
}

bool Id3v1Song(ByteView trailer, tagSongTags& out)
{
    if (trailer.size() < kId3v1Bytes || std::memcmp(trailer.data(), "TAG", 3) != 0) return false;
    // The standard says ISO 8859-1; some writers put UTF-8 there.
    out.title = TextFromLegacy(trailer.subspan(3, 30));
    out.artist = TextFromLegacy(trailer.subspan(33, 30));
    return true;
}
