#include "media/MpegAudioFrame.h"

namespace {
// Layer III bitrates in kbit/s by index (0 free format, 15 invalid).
constexpr uint16_t kBitrateV1[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
constexpr uint16_t kBitrateV2[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
constexpr uint32_t kRateV1[3] = {44100, 48000, 32000};
} // namespace

bool ParseMpegFrame(ByteView bytes, tagMpegFrame& frame)
{
    if (bytes.size() < kMpegFrameHeader) return false;
    const uint32_t h = static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16 |
        static_cast<uint32_t>(bytes[2]) << 8 | bytes[3];
    if ((h >> 21) != 0x7FF) return false;
    const uint32_t version = (h >> 19) & 3, layer = (h >> 17) & 3;
    const uint32_t bitrateIndex = (h >> 12) & 15, rateIndex = (h >> 10) & 3;
    const uint32_t padding = (h >> 9) & 1, emphasis = h & 3;
    if (version == 1 || layer != 1 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3 || emphasis == 2)
        return false;
    const bool v1 = version == 3;
    const uint32_t kbps = v1 ? kBitrateV1[bitrateIndex] : kBitrateV2[bitrateIndex];
    uint32_t rate = kRateV1[rateIndex];
    if (version == 2) rate /= 2;
    if (version == 0) rate /= 4;
    frame.version = static_cast<uint8_t>(version);
    frame.layer = static_cast<uint8_t>(layer);
    frame.sampleRate = rate;
    frame.channelMode = static_cast<uint8_t>((h >> 6) & 3);
    // 1152 samples per frame for MPEG-1, 576 for MPEG-2 and 2.5: 144 or 72 bytes per kbit/s.
    frame.length = (v1 ? 144000u : 72000u) * kbps / rate + padding;
    return true;
}
