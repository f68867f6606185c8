#include "media/KMp3Type.h"

#include <algorithm>
#include <cstring>

#include "common/MetaName.h"
#include "media/Id3Tag.h"
#include "media/MpegAudioFrame.h"

namespace {
constexpr tagRawTypeInfo kInfo{"mp3", "MP3 Audio", 256, 1LL * 1024 * 1024 * 1024};
constexpr tagRawSignature kSignatures[] = {{0, 3, "ID3"}, {0, 1, "\xFF"}};

// Frames in a row before a start is believed: a tag makes the start certain enough for a
// short run; bare frame data needs a longer one, since 0xFFF sync patterns occur by chance.
constexpr uint32_t kMinFramesTagged = 4;
constexpr uint32_t kMinFramesBare = 12;
// Zero padding some taggers leave between the tag and the first frame.
constexpr uint64_t kMaxPadding = 64 * 1024;
} // namespace

KMp3Type::KMp3Type() : KRawTypeBase(kInfo, kSignatures) {}

RawHeader KMp3Type::CheckHeader(ByteView head, uint64_t&) const
{
    uint64_t tag = 0;
    if (head[0] == 'I') return Id3v2Size(head, tag) ? RawHeader::Open : RawHeader::No;
    tagMpegFrame f;
    return ParseMpegFrame(head, f) ? RawHeader::Open : RawHeader::No;
}

tagRawMatch KMp3Type::FindEnd(KRawReader& reader) const
{
    uint64_t pos = 0;
    const bool tagged = Id3v2Size(reader.ViewUpTo(0, kId3v2Header), pos);
    if (tagged)
    {
        uint8_t b = 0;
        const uint64_t padEnd = pos + kMaxPadding;
        while (pos < padEnd && reader.U8(pos, b) && b == 0) ++pos;
    }
    tagMpegFrame first;
    if (!ParseMpegFrame(reader.View(pos, kMpegFrameHeader), first)) return {};
    uint64_t frames = 0;
    for (;;)
    {
        tagMpegFrame f;
        if (!ParseMpegFrame(reader.View(pos, kMpegFrameHeader), f) || !SameStream(first, f)) break;
        if (pos + f.length > reader.Limit()) break;
        pos += f.length;
        ++frames;
    }
    ByteView trailer = reader.View(pos, 3);
    const bool id3v1 =
        !trailer.empty() && std::memcmp(trailer.data(), "TAG", 3) == 0 && !reader.View(pos, kId3v1Bytes).empty();
    // A short run is still a whole file when the ID3v1 trailer follows it.
    if (frames < (tagged || id3v1 ? kMinFramesTagged : kMinFramesBare)) return {};
    if (id3v1) pos += kId3v1Bytes;
    return {true, pos};
}

std::string KMp3Type::NameOf(KRawReader& reader, const tagRawMatch& match) const
{
    tagSongTags tags;
    uint64_t tagSize = 0;
    if (Id3v2Size(reader.ViewUpTo(0, kId3v2Header), tagSize))
        Id3v2Song(reader.ViewUpTo(0, static_cast<size_t>(std::min<uint64_t>(tagSize, KRawReader::kMaxView))), tags);
    if (tags.title.empty() && match.size >= kId3v1Bytes)
    {
        tagSongTags old;
        if (Id3v1Song(reader.View(match.size - kId3v1Bytes, kId3v1Bytes), old)) tags = old;
    }
    return SongName(tags.artist, tags.title);
}
