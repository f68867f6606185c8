#pragma once
// FLAC audio frames. A frame is a header (sync code, block size, sample rate, channel layout,
// sample size, frame number, CRC-8), one subframe per channel, zero bits to a byte boundary and
// a CRC-16 of all of it. Subframes are not length-prefixed, so a frame's length is only known
// by parsing them: constant, verbatim, fixed and LPC predictors with Rice-coded residuals. No
// sample is computed; the parse only moves over the bits.
#include <cstdint>

#include "base/ByteView.h"

struct tagFlacStreamInfo
{
    uint32_t sampleRate = 0;
    uint32_t channels = 0;
    uint32_t bitsPerSample = 0;
    uint32_t maxBlockSize = 0;
    uint64_t totalSamples = 0; // 0: unknown
};

/// Parses the STREAMINFO block body (34 bytes); false when its values are impossible.
bool ParseFlacStreamInfo(ByteView body, tagFlacStreamInfo& info);

struct tagFlacFrame
{
    uint32_t length = 0;    // bytes, CRC-16 included
    uint32_t blockSize = 0; // samples per channel
};

enum class FlacFrameResult
{
    Frame,   // a whole, intact frame of this stream
    NoFrame, // no frame header of this stream starts here
    Broken   // a valid header, but the body runs past `bytes` or its CRC fails
};

/// Parses the frame at the start of `bytes` (pure).
FlacFrameResult ParseFlacFrame(ByteView bytes, const tagFlacStreamInfo& info, tagFlacFrame& frame);
