#include "archives/KGzType.h"

#include <memory>

#include "archives/ArchivesLayout.h"
#include "common/KDeflateWalker.h"

namespace {
constexpr tagRawTypeInfo kInfo{"gz", "gzip Compressed File", 18, 16LL * 1024 * 1024 * 1024};
constexpr tagRawSignature kSignatures[] = {{0, 3, "\x1F\x8B\x08"}};

// Names and comments longer than this are damage, not text someone typed.
constexpr uint64_t kMaxTextField = 4096;
constexpr uint8_t kMaxOs = 13;
constexpr uint8_t kOsUnknown = 255;
constexpr int kMaxMembers = 4096;
// A member cut by the end of the readable bytes is offered (without a length) once the walk
// got this far or finished a block; a shorter run is what chance produces after a signature.
constexpr uint64_t kTruncatedMemberMin = 1024;
// A member whose deflate data breaks is offered (without a length) once the walk got this far:
// random bytes behind a gzip header stop within 128 bytes in all but about 1 of 8,000 walks
// and passed 4 KiB in 1 of 200,000 (a chance stored block), while a real file broken by damage
// or by a fragment boundary is usually far past it. After complete members it is always
// offered: those members are whole either way.
constexpr uint64_t kBrokenMemberMin = 4096;

bool PlausibleHeader(const tagGzHeader& h)
{
    return h.Id1 == 0x1F && h.Id2 == 0x8B && h.Method == 8 && (h.Flags & kGzReservedFlags) == 0 &&
        (h.ExtraFlags == 0 || h.ExtraFlags == 2 || h.ExtraFlags == 4) && (h.Os <= kMaxOs || h.Os == kOsUnknown);
}
} // namespace

KGzType::KGzType() : KRawTypeBase(kInfo, kSignatures) {}

RawHeader KGzType::CheckHeader(ByteView head, uint64_t&) const
{
    tagGzHeader h;
    return LoadRecord(head, 0, h) && PlausibleHeader(h) ? RawHeader::Open : RawHeader::No;
}

uint64_t KGzType::StreamStart(KRawReader& reader, uint64_t offset)
{
    tagGzHeader h;
    if (!LoadRecord(reader.View(offset, sizeof(h)), 0, h) || !PlausibleHeader(h)) return 0;
    uint64_t pos = offset + sizeof(h);
    if (h.Flags & kGzFlagExtra)
    {
        uint16_t extra = 0;
        if (!reader.U16LE(pos, extra)) return 0;
        pos += 2 + static_cast<uint64_t>(extra);
    }
    for (uint8_t field : {kGzFlagName, kGzFlagComment})
    {
        if (!(h.Flags & field)) continue;
        const uint64_t nul = reader.FindByte(pos, pos + kMaxTextField, 0);
        if (nul == pos + kMaxTextField || nul >= reader.Limit()) return 0;
        pos = nul + 1;
    }
    if (h.Flags & kGzFlagHeaderCrc) pos += 2;
    return pos < reader.Limit() ? pos : 0;
}

tagRawMatch KGzType::FindEnd(KRawReader& reader) const
{
    // The walker's code tables are a few kilobytes: on the heap, not on the scan's stack.
    auto walker = std::make_unique<KDeflateWalker>();
    uint64_t member = 0;
    for (int n = 0; n < kMaxMembers; ++n)
    {
        const uint64_t stream = StreamStart(reader, member);
        if (stream == 0) return n == 0 ? tagRawMatch{} : tagRawMatch{true, member};
        const tagDeflateWalk w = walker->Walk(reader, stream);
        if (w.outcome != tagDeflateWalk::Outcome::End)
        {
            // A stream that runs into the end of what can be read is a cut file, one that
            // breaks a damaged or fragmented one; either way its end is unknown. Only a long
            // enough walk tells such a file from a header followed by chance bytes.
            const uint64_t walked = w.reached - stream;
            const bool offer = w.outcome == tagDeflateWalk::Outcome::Truncated
                ? n > 0 || walked >= kTruncatedMemberMin || w.blocks > 0
                : n > 0 || walked >= kBrokenMemberMin;
            return {offer, 0, offer ? w.reached : 0};
        }
        // The trailer repeats the inflated length. Random bytes reach a final block often
        // enough (within a few dozen bytes) that a short walk to the end proves nothing
        // without it. A long one that disagrees is a damaged member: damage inside the data
        // decodes on as other symbols and may well reach a final block. Its end is not trusted.
        uint32_t isize = 0;
        if (!reader.U32LE(w.end + 4, isize) || isize != static_cast<uint32_t>(w.output))
        {
            const bool offer = n > 0 || w.end - stream >= kBrokenMemberMin;
            return {offer, 0, offer ? w.end : 0};
        }
        member = w.end + kGzTrailer;
        // Another member may follow directly (files joined with cat, parallel compressors).
        uint8_t next[3] = {};
        if (!reader.U8(member, next[0]) || next[0] != 0x1F || !reader.U8(member + 1, next[1]) || next[1] != 0x8B ||
            !reader.U8(member + 2, next[2]) || next[2] != 8)
            return {true, member};
    }
    return {true, member};
}
