#include "media/VorbisComment.h"

#include <string_view>

namespace {
constexpr uint32_t kMaxComments = 1024;

bool NameIs(std::string_view comment, std::string_view name)
{
    if (comment.size() <= name.size() || comment[name.size()] != '=') return false;
    for (size_t i = 0; i < name.size(); ++i)
    {
        char c = comment[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != name[i]) return false;
    }
    return true;
}
} // namespace

bool VorbisCommentSong(ByteView body, tagSongTags& out)
{
    uint32_t vendor = 0, count = 0;
    if (!LoadU32LE(body, 0, vendor) || !RangeFits(body.size(), 4, vendor)) return false;
    size_t pos = 4 + static_cast<size_t>(vendor);
    if (!LoadU32LE(body, pos, count)) return false;
    pos += 4;
    for (uint32_t i = 0; i < count && i < kMaxComments; ++i)
    {
        uint32_t length = 0;
        if (!LoadU32LE(body, pos, length) || !RangeFits(body.size(), pos + 4, length)) break;
        const std::string_view comment(reinterpret_cast<const char*>(body.data() + pos + 4), length);
        if (out.artist.empty() && NameIs(comment, "ARTIST")) out.artist = comment.substr(7);
        if (out.title.empty() && NameIs(comment, "TITLE")) out.title = comment.substr(6);
        pos += 4 + static_cast<size_t>(length);
    }
    return !out.title.empty() || !out.artist.empty();
}
