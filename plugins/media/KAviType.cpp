#include "media/KAviType.h"

#include <cstring>

#include "media/RiffLayout.h"

namespace {
constexpr tagRawTypeInfo kInfo{"avi", "AVI Video", 256, 64LL * 1024 * 1024 * 1024};
constexpr tagRawSignature kSignatures[] = {{0, 4, "RIFF"}};

// Continuation forms of one file; OpenDML writers start a new one every gigabyte.
constexpr int kMaxForms = 4096;
constexpr int kMaxChunks = 1 << 16;

// The end of the top-level chunks of a form whose own length is not usable: walk them while
// their ids are readable four-character codes.
uint64_t WalkChunks(KRawReader& reader, uint64_t pos)
{
    for (int n = 0; n < kMaxChunks; ++n)
    {
        ByteView h = reader.View(pos, kRiffChunkHeader);
        if (h.empty() || !PlausibleFourCC(PeekU32LE(h.data()))) break;
        const uint32_t len = PeekU32LE(h.data() + 4);
        if (len == kRiffOpenLength) break;
        pos += kRiffChunkHeader + static_cast<uint64_t>(len) + (len & 1);
    }
    return pos;
}
} // namespace

KAviType::KAviType() : KRawTypeBase(kInfo, kSignatures) {}

RawHeader KAviType::CheckHeader(ByteView head, uint64_t&) const
{
    // "RIFF" len "AVI " "LIST" len "hdrl" "avih" len(56): the main header comes first.
    if (head.size() < 32 || std::memcmp(head.data() + 8, "AVI LIST", 8) != 0 ||
        std::memcmp(head.data() + 20, "hdrlavih", 8) != 0)
        return RawHeader::No;
    uint32_t avihLength = 0;
    LoadU32LE(head, 28, avihLength);
    return avihLength >= 56 ? RawHeader::Open : RawHeader::No;
}

tagRawMatch KAviType::FindEnd(KRawReader& reader) const
{
    uint32_t riffLength = 0;
    if (!reader.U32LE(4, riffLength)) return {};
    uint64_t end = 0;
    if (riffLength == 0 || riffLength == kRiffOpenLength)
    {
        // A capture that was never closed: the chunks themselves tell how far it got.
        end = WalkChunks(reader, kRiffHeaderBytes);
        if (end == kRiffHeaderBytes) return {true, 0};
        return {true, end};
    }
    end = kRiffChunkHeader + static_cast<uint64_t>(riffLength) + (riffLength & 1);
    for (int n = 0; n < kMaxForms; ++n)
    {
        ByteView next = reader.View(end, kRiffHeaderBytes);
        if (next.empty() || std::memcmp(next.data(), "RIFF", 4) != 0 || std::memcmp(next.data() + 8, "AVIX", 4) != 0)
            break;
        const uint32_t len = PeekU32LE(next.data() + 4);
        if (len < 4 || len == kRiffOpenLength) break;
        end += kRiffChunkHeader + static_cast<uint64_t>(len) + (len & 1);
    }
    return {true, end};
}
