#pragma once
// MPEG-1/2/2.5 audio frame headers (4 bytes, big-endian bit fields):
// 11 bits sync (all ones), 2 version (00 2.5, 01 reserved, 10 MPEG-2, 11 MPEG-1), 2 layer
// (01 III, 10 II, 11 I), 1 no-CRC, 4 bitrate index, 2 sample-rate index, 1 padding, 1 private,
// 2 channel mode, 2 mode extension, 1 copyright, 1 original, 2 emphasis.
#include <cstdint>

#include "base/ByteView.h"

inline constexpr size_t kMpegFrameHeader = 4;

struct tagMpegFrame
{
    uint8_t version = 0; // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
    uint8_t layer = 0;   // 1 = layer III
    uint32_t sampleRate = 0;
    uint8_t channelMode = 0;
    uint32_t length = 0; // bytes of the whole frame, header included
};

/// A layer III frame header with a usable bitrate (free format is refused: its length cannot
/// be told from the header).
bool ParseMpegFrame(ByteView bytes, tagMpegFrame& frame);

/// Frames of one stream share version, layer and sample rate.
inline bool SameStream(const tagMpegFrame& a, const tagMpegFrame& b)
{
    return a.version == b.version && a.layer == b.layer && a.sampleRate == b.sampleRate;
}
