#include "archives/K7zType.h"

#include "archives/ArchivesLayout.h"
#include "common/RawCrc32.h"

namespace {
constexpr tagRawTypeInfo kInfo{"7z", "7z Archive", 32, 64LL * 1024 * 1024 * 1024};
constexpr tagRawSignature kSignatures[] = {{0, 6, k7zMagic}};

constexpr uint32_t kCrcFrom = 12; // the start header's CRC covers bytes 12..31
// Every released writer uses minor versions up to 4; a much larger one is damage.
constexpr uint8_t kMaxMinorVersion = 16;
} // namespace

K7zType::K7zType() : KRawTypeBase(kInfo, kSignatures) {}

RawHeader K7zType::CheckHeader(ByteView head, uint64_t& size) const
{
    tag7zSignatureHeader h;
    if (!LoadRecord(head, 0, h) || h.MajorVersion != 0 || h.MinorVersion > kMaxMinorVersion) return RawHeader::No;
    if (RawCrc32(head.subspan(kCrcFrom, sizeof(h) - kCrcFrom)) != h.StartHeaderCrc) return RawHeader::No;
    // An archive cut while being written has a zeroed start header (CRC of zeros is not zero,
    // so it fails above); a finished one always has a directory.
    const uint64_t limit = static_cast<uint64_t>(kInfo.maxSize);
    if (h.NextHeaderSize == 0 || h.NextHeaderOffset > limit || h.NextHeaderSize > limit - h.NextHeaderOffset ||
        sizeof(h) > limit - h.NextHeaderOffset - h.NextHeaderSize)
        return RawHeader::No;
    size = sizeof(h) + h.NextHeaderOffset + h.NextHeaderSize;
    return RawHeader::Sized;
}
