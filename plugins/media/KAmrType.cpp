#include "media/KAmrType.h"

#include <cstring>

namespace {
constexpr tagRawTypeInfo kInfo{"amr", "AMR Speech", 32, 256LL * 1024 * 1024};
constexpr tagRawSignature kSignatures[] = {{0, 6, "#!AMR\n"}, {0, 9, "#!AMR-WB\n"}};

constexpr uint64_t kNarrowMagic = 6, kWideMagic = 9;
constexpr int kMinFrames = 4;
constexpr uint64_t kMaxFrames = 1ull << 26;
// Speech bytes per frame type; -1 marks a reserved type.
constexpr int kNarrow[16] = {12, 13, 15, 17, 19, 20, 26, 31, 5, -1, -1, -1, -1, -1, -1, 0};
constexpr int kWide[16] = {17, 23, 32, 36, 40, 46, 50, 58, 60, 5, -1, -1, -1, -1, 0, 0};
} // namespace

KAmrType::KAmrType() : KRawTypeBase(kInfo, kSignatures) {}

RawHeader KAmrType::CheckHeader(ByteView, uint64_t&) const
{
    // The magic line is the whole header; the frames after it decide.
    return RawHeader::Open;
}

tagRawMatch KAmrType::FindEnd(KRawReader& reader) const
{
    const ByteView magic = reader.View(0, kWideMagic);
    if (magic.empty()) return {};
    const bool wide = std::memcmp(magic.data(), "#!AMR-WB\n", kWideMagic) == 0;
    const int* sizes = wide ? kWide : kNarrow;
    uint64_t pos = wide ? kWideMagic : kNarrowMagic;
    uint64_t frames = 0;
    for (; frames < kMaxFrames; ++frames)
    {
        uint8_t h = 0;
        if (!reader.U8(pos, h)) return frames >= kMinFrames ? tagRawMatch{true, 0, pos} : tagRawMatch{};
        const int bytes = sizes[(h >> 3) & 0x0F];
        // Padding bits clear and the quality bit set: a zero byte (padding after the file) is
        // no frame.
        if ((h & 0x87) != 0x04 || bytes < 0) break;
        pos += 1 + static_cast<uint64_t>(bytes);
    }
    if (frames < kMinFrames) return {};
    return {true, pos};
}
