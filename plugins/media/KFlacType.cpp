#include "media/KFlacType.h"

#include "media/FlacFrame.h"

namespace {
constexpr tagRawTypeInfo kInfo{"flac", "FLAC Audio", 42 + 10, 16LL * 1024 * 1024 * 1024};
constexpr tagRawSignature kSignatures[] = {{0, 4, "fLaC"}};

// Metadata block header: bit 7 "last block", bits 0..6 the type, then a 24-bit big-endian
// length. Types 0..6 are defined; 127 is invalid.
constexpr uint64_t kMagicBytes = 4;
constexpr uint64_t kBlockHeader = 4;
constexpr uint32_t kStreamInfoLength = 34;
constexpr uint8_t kMaxBlockType = 6;
constexpr int kMaxBlocks = 1024;
constexpr uint64_t kMaxFrames = 1ull << 32;

bool StreamInfoIn(ByteView head, tagFlacStreamInfo& info)
{
    uint32_t header = 0;
    return LoadU32BE(head, kMagicBytes, header) && (header >> 24 & 0x7F) == 0 &&
           (header & 0xFFFFFF) == kStreamInfoLength &&
           RangeFits(head.size(), kMagicBytes + kBlockHeader, kStreamInfoLength) &&
           ParseFlacStreamInfo(head.subspan(kMagicBytes + kBlockHeader, kStreamInfoLength), info);
}
}

KFlacType::KFlacType() : KRawTypeBase(kInfo, kSignatures) {}

RawHeader KFlacType::CheckHeader(ByteView head, uint64_t&) const
{
    tagFlacStreamInfo info;
    return StreamInfoIn(head, info) ? RawHeader::Open : RawHeader::No;
}

tagRawMatch KFlacType::FindEnd(KRawReader& reader) const
{
    tagFlacStreamInfo info;
    if (!StreamInfoIn(reader.View(0, kMagicBytes + kBlockHeader + kStreamInfoLength), info)) return {};
    uint64_t pos = kMagicBytes;
    bool last = false;
    for (int n = 0; n < kMaxBlocks && !last; ++n) {
        uint32_t header = 0;
        if (!reader.U32BE(pos, header)) return {true, 0};
        last = (header >> 31) != 0;
        if ((header >> 24 & 0x7F) > kMaxBlockType) return {};
        pos += kBlockHeader + (header & 0xFFFFFF);
    }
    if (!last) return {};

    uint64_t samples = 0;
    for (uint64_t n = 0; n < kMaxFrames; ++n) {
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
