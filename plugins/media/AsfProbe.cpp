#include "media/AsfProbe.h"

#include <cstring>

namespace {
// GUIDs in their on-disk byte order.
constexpr uint8_t kHeaderGuid[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                     0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr uint8_t kDataGuid[16] = {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                   0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr uint8_t kFilePropertiesGuid[16] = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                             0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr uint8_t kStreamPropertiesGuid[16] = {0x91, 0x07, 0xDC, 0xB7, 0xB7, 0xA9, 0xCF, 0x11,
                                               0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr uint8_t kAudioMediaGuid[16] = {0x40, 0x9E, 0x69, 0xF8, 0x4D, 0x5B, 0xCF, 0x11,
                                         0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B};
constexpr uint8_t kVideoMediaGuid[16] = {0xC0, 0xEF, 0x19, 0xBC, 0x4D, 0x5B, 0xCF, 0x11,
                                         0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B};

constexpr uint64_t kObjectHeader = 24;                 // GUID, size
constexpr uint64_t kHeaderObjectBytes = 30;            // + object count, two reserved bytes
constexpr uint64_t kMaxHeaderBytes = 64 * 1024 * 1024; // metadata and cover art live here
constexpr uint32_t kMaxHeaderObjects = 1024;
// File properties: file ID at 24, file size at 40, ..., flags at 88 (bit 0: broadcast, the
// sizes are not valid).
constexpr uint64_t kFileSizeAt = 40, kFlagsAt = 88, kFilePropertiesBytes = 104;
constexpr uint64_t kStreamTypeAt = 24;
constexpr uint64_t kDataObjectMin = 50;

bool Guid(ByteView v, const uint8_t (&guid)[16]) { return v.size() >= 16 && std::memcmp(v.data(), guid, 16) == 0; }
} // namespace

bool AsfHeaderPlausible(ByteView head)
{
    uint64_t size = 0;
    uint32_t count = 0;
    if (!Guid(head, kHeaderGuid) || !LoadU64LE(head, 16, size) || !LoadU32LE(head, 24, count)) return false;
    if (head.size() < kHeaderObjectBytes || head[28] != 0x01 || head[29] != 0x02) return false;
    return size >= kHeaderObjectBytes + kObjectHeader && size <= kMaxHeaderBytes && count >= 1 &&
        count <= kMaxHeaderObjects;
}

tagAsfProbe ProbeAsf(KRawReader& reader)
{
    ByteView head = reader.View(0, kHeaderObjectBytes);
    if (!AsfHeaderPlausible(head)) return {};
    uint64_t headerSize = 0;
    uint32_t count = 0;
    LoadU64LE(head, 16, headerSize);
    LoadU32LE(head, 24, count);

    bool sawProperties = false, video = false, audio = false, sizeValid = false;
    uint64_t fileSize = 0;
    uint64_t pos = kHeaderObjectBytes;
    for (uint32_t i = 0; i < count; ++i)
    {
        ByteView obj = reader.View(pos, kObjectHeader);
        uint64_t size = 0;
        if (obj.empty() || !LoadU64LE(obj, 16, size) || size < kObjectHeader || size > headerSize - pos)
            return {}; // objects must tile the header
        if (Guid(obj, kFilePropertiesGuid) && size >= kFilePropertiesBytes)
        {
            ByteView fp = reader.View(pos, kFilePropertiesBytes);
            uint32_t flags = 0;
            if (fp.empty()) return {};
            LoadU64LE(fp, kFileSizeAt, fileSize);
            LoadU32LE(fp, kFlagsAt, flags);
            sizeValid = !(flags & 1);
            sawProperties = true;
        }
        else if (Guid(obj, kStreamPropertiesGuid))
        {
            ByteView type = reader.View(pos + kStreamTypeAt, 16);
            video = video || Guid(type, kVideoMediaGuid);
            audio = audio || Guid(type, kAudioMediaGuid);
        }
        pos += size;
    }
    if (!sawProperties) return {}; // the file-properties object is mandatory

    tagAsfProbe probe;
    probe.kind = video ? AsfKind::Video : audio ? AsfKind::Audio : AsfKind::Other;
    if (sizeValid && fileSize >= headerSize + kDataObjectMin)
    {
        probe.size = fileSize;
        return probe;
    }
    // A broadcast or unfinished file: the data object's own size is the best there is.
    ByteView data = reader.View(headerSize, kObjectHeader);
    uint64_t dataSize = 0;
    if (Guid(data, kDataGuid) && LoadU64LE(data, 16, dataSize) && dataSize >= kDataObjectMin &&
        dataSize <= reader.Limit() - headerSize)
        probe.size = headerSize + dataSize;
    return probe;
}
