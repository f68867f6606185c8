#include "media/KWavType.h"

#include "media/RiffLayout.h"

namespace {
constexpr tagRawTypeInfo kInfo{"wav", "Wave Audio", 44, 4LL * 1024 * 1024 * 1024};
constexpr tagRawSignature kSignatures[] = {{0, 4, "RIFF"}};

constexpr uint32_t kMaxChannels = 64;
constexpr uint32_t kMinRate = 1000;
constexpr uint32_t kMaxRate = 1536000;
} // namespace

KWavType::KWavType() : KRawTypeBase(kInfo, kSignatures) {}

RawHeader KWavType::CheckHeader(ByteView head, uint64_t& size) const
{
    bool needMore = false;
    const RawHeader verdict = Classify(head, size, needMore);
    return needMore ? RawHeader::Open : verdict;
}

tagRawMatch KWavType::FindEnd(KRawReader& reader) const
{
    uint64_t size = 0;
    bool needMore = false;
    const RawHeader verdict = Classify(reader.ViewUpTo(0, kHeadBytes), size, needMore);
    if (verdict == RawHeader::No) return {};
    return {true, verdict == RawHeader::Sized ? size : 0};
}

RawHeader KWavType::Classify(ByteView head, uint64_t& size, bool& needMore)
{
    needMore = false;
    uint32_t riffLength = 0, form = 0;
    if (!LoadU32LE(head, 4, riffLength) || !LoadU32LE(head, 8, form) || form != FourCC("WAVE")) return RawHeader::No;

    // The format chunk: tag, channels, sample rate, byte rate, block align, bits per sample.
    uint64_t fmtOff = 0;
    uint32_t fmtLength = 0;
    if (!FindRiffChunk(head, FourCC("fmt "), fmtOff, fmtLength) || fmtLength < 14)
    {
        needMore = fmtOff >= head.size();
        return RawHeader::No;
    }
    KByteCursor c(head, static_cast<size_t>(fmtOff));
    const uint16_t tag = c.U16LE();
    const uint16_t channels = c.U16LE();
    const uint32_t rate = c.U32LE();
    const uint32_t byteRate = c.U32LE();
    const uint16_t blockAlign = c.U16LE();
    if (!c.Ok() || tag == 0 || channels == 0 || channels > kMaxChannels || rate < kMinRate || rate > kMaxRate ||
        blockAlign == 0 || byteRate == 0)
        return RawHeader::No;

    if (riffLength != kRiffOpenLength && riffLength >= 4 + kRiffChunkHeader + fmtLength)
    {
        size = static_cast<uint64_t>(riffLength) + kRiffChunkHeader + (riffLength & 1);
        return RawHeader::Sized;
    }
    // A recording that was never closed: the data chunk's length, when it was written, tells.
    uint64_t dataOff = 0;
    uint32_t dataLength = 0;
    if (FindRiffChunk(head, FourCC("data"), dataOff, dataLength) && dataLength != 0 && dataLength != kRiffOpenLength)
    {
        size = dataOff + dataLength;
        return RawHeader::Sized;
    }
    return RawHeader::Open;
}
