#include "media/KFlacType.h"

#include <algorithm>
#include <cstring>

#include "media/FlacFrame.h"
#include "common/MetaName.h"
#include "media/Id3Tag.h"
#include "media/VorbisComment.h"

namespace {
constexpr tagRawTypeInfo kInfo{"flac", "FLAC Audio", 42 + 10, 16LL * 1024 * 1024 * 1024};
// Some taggers put an ID3v2 tag in front of "fLaC"; the tag then belongs to the file.
constexpr tagRawSignature kSignatures[] = {{0, 4, "fLaC"}, {0, 3, "ID3"}};

// Metadata block header: bit 7 "last block", bits 0..6 the type, then a 24-bit big-endian
// length. Types 0..6 are defined; 127 is invalid.
constexpr uint64_t kMagicBytes = 4;
constexpr uint64_t kBlockHeader = 4;
constexpr uint32_t kStreamInfoLength = 34;
constexpr uint8_t kMaxBlockType = 6;
constexpr uint8_t kVorbisComment = 4;
constexpr int kMaxBlocks = 1024;
constexpr uint64_t kMaxFrames = 1ull << 32;

constexpr uint64_t kStreamHead = kMagicBytes + kBlockHeader + kStreamInfoLength;

bool StreamInfoIn(ByteView head, tagFlacStreamInfo& info)
{
    if (head.size() < kMagicBytes || std::memcmp(head.data(), "fLaC", kMagicBytes) != 0) return false;
    uint32_t header = 0;
    return LoadU32BE(head, kMagicBytes, header) && (header >> 24 & 0x7F) == 0 &&
        (header & 0xFFFFFF) == kStreamInfoLength &&
        RangeFits(head.size(), kMagicBytes + kBlockHeader, kStreamInfoLength) &&
        ParseFlacStreamInfo(head.subspan(kMagicBytes + kBlockHeader, kStreamInfoLength), info);
}
} // namespace

KFlacType::KFlacType() : KRawTypeBase(kInfo, kSignatures) {}

RawHeader KFlacType::CheckHeader(ByteView head, uint64_t&) const
{
    tagFlacStreamInfo info;
    uint64_t tag = 0;
    if (head[0] != 'I') return StreamInfoIn(head, info) ? RawHeader::Open : RawHeader::No;
    if (!Id3v2Size(head, tag)) return RawHeader::No;
    // Most tagged files are MP3s: when the head holds what follows the tag, decide here.
    if (RangeFits(head.size(), tag, kStreamHead))
        return StreamInfoIn(head.subspan(tag), info) ? RawHeader::Open : RawHeader::No;
    return RawHeader::Open;
}

tagRawMatch KFlacType::FindEnd(KRawReader& reader) const
{
    uint64_t start = 0;
    Id3v2Size(reader.ViewUpTo(0, kId3v2Header), start);
    tagFlacStreamInfo info;
    if (!StreamInfoIn(reader.View(start, kStreamHead), info)) return {};
    uint64_t pos = start + kMagicBytes;
    bool last = false;
    for (int n = 0; n < kMaxBlocks && !last; ++n)
    {
        uint32_t header = 0;
        if (!reader.U32BE(pos, header)) return {true, 0};
        last = (header >> 31) != 0;
        if ((header >> 24 & 0x7F) > kMaxBlockType) return {};
        pos += kBlockHeader + (header & 0xFFFFFF);
    }
    if (!last) return {};

    uint64_t samples = 0;
    for (uint64_t n = 0; n < kMaxFrames; ++n)
    {
        if (info.totalSamples != 0 && samples >= info.totalSamples) return {true, pos};
        tagFlacFrame frame;
        const FlacFrameResult r = ParseFlacFrame(reader.ViewUpTo(pos, KRawReader::kMaxView), info, frame);
        // Metadata followed by no frame at all is not a recording.
        if (n == 0 && r == FlacFrameResult::NoFrame) return {};
        // Without a sample count, the file ends where no further frame starts. Otherwise the
        // stream broke off: damage, a frame larger than one view, or the volume's end.
        if (r == FlacFrameResult::NoFrame && info.totalSamples == 0) return {true, pos};
        if (r != FlacFrameResult::Frame) return {true, 0};
        samples += frame.blockSize;
        pos += frame.length;
    }
    return {true, 0};
}

std::string KFlacType::NameOf(KRawReader& reader, const tagRawMatch&) const
{
    tagSongTags tags;
    uint64_t start = 0;
    if (Id3v2Size(reader.ViewUpTo(0, kId3v2Header), start))
        Id3v2Song(reader.ViewUpTo(0, static_cast<size_t>(std::min<uint64_t>(start, KRawReader::kMaxView))), tags);
    uint64_t pos = start + kMagicBytes;
    for (int n = 0; n < kMaxBlocks; ++n)
    {
        uint32_t header = 0;
        if (!reader.U32BE(pos, header)) break;
        const uint32_t length = header & 0xFFFFFF;
        if ((header >> 24 & 0x7F) == kVorbisComment)
        {
            tagSongTags comments;
            const size_t view = std::min<size_t>(length, KRawReader::kMaxView);
            if (VorbisCommentSong(reader.ViewUpTo(pos + kBlockHeader, view), comments) && !comments.title.empty())
                tags = comments;
            break;
        }
        if (header >> 31) break;
        pos += kBlockHeader + length;
    }
    return SongName(tags.artist, tags.title);
}
