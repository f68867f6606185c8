#include "media/KMidiType.h"

#include <cstring>

namespace {
constexpr tagRawTypeInfo kInfo{"mid", "MIDI Music", 22, 64LL * 1024 * 1024};
constexpr tagRawSignature kSignatures[] = {{0, 8, "MThd\0\0\0\x06"}};

constexpr uint64_t kHeaderChunk = 14;
constexpr uint32_t kMaxChunk = 64u * 1024 * 1024;
constexpr uint16_t kMaxTracks = 4096;
constexpr int kMaxForeignChunks = 64; // chunks of other kinds between tracks, skipped
} // namespace

KMidiType::KMidiType() : KRawTypeBase(kInfo, kSignatures) {}

RawHeader KMidiType::CheckHeader(ByteView head, uint64_t&) const
{
    uint16_t format = 0, tracks = 0, division = 0;
    if (!LoadU16BE(head, 8, format) || !LoadU16BE(head, 10, tracks) || !LoadU16BE(head, 12, division))
        return RawHeader::No;
    if (format > 2 || tracks == 0 || tracks > kMaxTracks || (format == 0 && tracks != 1) || division == 0)
        return RawHeader::No;
    return RawHeader::Open;
}

tagRawMatch KMidiType::FindEnd(KRawReader& reader) const
{
    uint16_t tracks = 0;
    reader.U16BE(10, tracks);
    uint64_t pos = kHeaderChunk;
    int foreign = 0;
    for (uint16_t t = 0; t < tracks;)
    {
        const ByteView h = reader.View(pos, 8);
        uint32_t length = 0;
        if (h.empty() || !LoadU32BE(h, 4, length) || length > kMaxChunk)
            return t ? tagRawMatch{true, 0, pos} : tagRawMatch{};
        if (std::memcmp(h.data(), "MTrk", 4) == 0)
        {
            ++t;
        }
        else
        {
            for (int i = 0; i < 4; ++i)
                if (h[static_cast<size_t>(i)] < 0x20 || h[static_cast<size_t>(i)] > 0x7E)
                    return t ? tagRawMatch{true, 0, pos} : tagRawMatch{};
            if (++foreign > kMaxForeignChunks) return {true, 0, pos};
        }
        pos += 8 + static_cast<uint64_t>(length);
    }
    return {true, pos};
}
