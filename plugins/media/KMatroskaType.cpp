#include "media/KMatroskaType.h"

#include <bit>
#include <cstring>

namespace {
constexpr tagRawTypeInfo kMkv{"mkv", "Matroska Video", 64, 64LL * 1024 * 1024 * 1024};
constexpr tagRawTypeInfo kWebm{"webm", "WebM Video", 64, 64LL * 1024 * 1024 * 1024};
constexpr tagRawSignature kSignatures[] = {{0, 4, "\x1A\x45\xDF\xA3"}};

constexpr uint32_t kEbmlHeaderId = 0x1A45DFA3;
constexpr uint32_t kDocTypeId = 0x4282;
constexpr uint32_t kSegmentId = 0x18538067;
constexpr uint32_t kClusterId = 0x1F43B675;
constexpr uint64_t kMaxHeaderBytes = 1024;
constexpr int kMaxElements = 1 << 22;

bool SegmentChild(uint32_t id)
{
    switch (id)
    {
    case 0x114D9B74: // SeekHead
    case 0x1549A966: // Info
    case 0x1654AE6B: // Tracks
    case kClusterId:
    case 0x1C53BB6B: // Cues
    case 0x1941A469: // Attachments
    case 0x1043A770: // Chapters
    case 0x1254C367: // Tags
    case 0xEC:       // Void
    case 0xBF:       // CRC-32
        return true;
    default: return false;
    }
}

bool ClusterChild(uint32_t id)
{
    switch (id)
    {
    case 0xE7:   // Timestamp
    case 0xA3:   // SimpleBlock
    case 0xA0:   // BlockGroup
    case 0xA7:   // Position
    case 0xAB:   // PrevSize
    case 0x5854: // SilentTracks
    case 0xAF:   // EncryptedBlock
    case 0xEC:   // Void
    case 0xBF:   // CRC-32
        return true;
    default: return false;
    }
}

// A variable-length integer: the count of leading zero bits of the first byte is the count of
// bytes that follow. IDs keep that marker (at most 4 bytes), sizes drop it (at most 8), and a
// size of all ones means "unknown".
bool Vint(ByteView v, size_t& at, unsigned maxLen, bool keepMarker, uint64_t& value, bool& allOnes)
{
    if (at >= v.size() || v[at] == 0) return false;
    const unsigned len = static_cast<unsigned>(std::countl_zero(v[at])) + 1;
    if (len > maxLen || !RangeFits(v.size(), at, len)) return false;
    const uint8_t mask = static_cast<uint8_t>(0xFF >> len);
    value = keepMarker ? v[at] : (v[at] & mask);
    allOnes = (v[at] & mask) == mask;
    for (unsigned i = 1; i < len; ++i)
    {
        value = value << 8 | v[at + i];
        allOnes = allOnes && v[at + i] == 0xFF;
    }
    at += len;
    return true;
}
} // namespace

bool KMatroskaType::ParseElement(ByteView v, uint64_t pos, tagElement& e)
{
    size_t at = 0;
    uint64_t id = 0;
    bool ones = false;
    if (!Vint(v, at, 4, true, id, ones) || !Vint(v, at, 8, false, e.size, e.unknownSize)) return false;
    e.id = static_cast<uint32_t>(id);
    e.dataOffset = pos + at;
    return true;
}

bool KMatroskaType::ReadElement(KRawReader& reader, uint64_t pos, tagElement& e)
{
    return ParseElement(reader.ViewUpTo(pos, 12), pos, e);
}

RawHeader KMatroskaType::CheckHeader(ByteView head, uint64_t&) const
{
    tagElement header;
    if (!ParseElement(head, 0, header) || header.id != kEbmlHeaderId || header.unknownSize ||
        header.size > kMaxHeaderBytes || !RangeFits(head.size(), header.dataOffset, header.size))
        return RawHeader::No;
    // The header's children tile its data; the document type tells Matroska from WebM.
    const ByteView body = head.subspan(static_cast<size_t>(header.dataOffset), static_cast<size_t>(header.size));
    for (size_t at = 0; at < body.size();)
    {
        tagElement child;
        if (!ParseElement(body.subspan(at), at, child) || child.unknownSize ||
            !RangeFits(body.size(), child.dataOffset, child.size))
            return RawHeader::No;
        if (child.id == kDocTypeId)
        {
            const ByteView type = body.subspan(static_cast<size_t>(child.dataOffset), static_cast<size_t>(child.size));
            const char* want = m_WebM ? "webm" : "matroska";
            const size_t n = std::strlen(want);
            // The string may be padded with zero bytes.
            if (type.size() < n || std::memcmp(type.data(), want, n) != 0) return RawHeader::No;
            for (size_t i = n; i < type.size(); ++i)
                if (type[i] != 0) return RawHeader::No;
            return RawHeader::Open;
        }
        at = static_cast<size_t>(child.dataOffset + child.size);
    }
    return RawHeader::No;
}

uint64_t KMatroskaType::OpenClusterEnd(KRawReader& reader, uint64_t pos)
{
    for (int n = 0; n < kMaxElements; ++n)
    {
        tagElement e;
        if (!ReadElement(reader, pos, e) || !ClusterChild(e.id) || e.unknownSize ||
            e.size > reader.Limit() - e.dataOffset)
            break;
        pos = e.dataOffset + e.size;
    }
    return pos;
}

tagRawMatch KMatroskaType::FindEnd(KRawReader& reader) const
{
    tagElement header, segment;
    if (!ReadElement(reader, 0, header) || !ReadElement(reader, header.dataOffset + header.size, segment) ||
        segment.id != kSegmentId)
        return {};
    const bool sized = !segment.unknownSize;
    if (sized && segment.size > reader.Limit() - segment.dataOffset) return {};
    const uint64_t end = sized ? segment.dataOffset + segment.size : reader.Limit();

    // Walk the segment's elements; a sized segment must be tiled exactly by them.
    uint64_t pos = segment.dataOffset;
    int n = 0;
    for (; n < kMaxElements && pos < end; ++n)
    {
        tagElement e;
        const ByteView v = reader.ViewUpTo(pos, 12);
        if (v.empty()) return {n > 0, 0}; // unreadable: cut by the volume's end
        if (!ParseElement(v, pos, e) || !SegmentChild(e.id)) break;
        if (e.unknownSize)
        {
            // Only a cluster may be left open (a live recording); it ends where its own
            // children stop.
            if (e.id != kClusterId) break;
            pos = OpenClusterEnd(reader, e.dataOffset);
            continue;
        }
        if (e.dataOffset > end || e.size > end - e.dataOffset) break;
        pos = e.dataOffset + e.size;
    }
    if (n == 0) return {};
    if (sized) return {true, pos == end ? end : 0};
    return {true, pos < reader.Limit() ? pos : 0};
}

KMkvType::KMkvType() : KMatroskaType(kMkv, kSignatures, false) {}
KWebmType::KWebmType() : KMatroskaType(kWebm, kSignatures, true) {}
