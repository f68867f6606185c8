#pragma once
// ASF files (WMV video, WMA audio, other ASF streams): a header object that holds the file
// properties and one stream-properties object per stream, then the data object and optional
// index objects. Every object is { 16-byte GUID, u64 little-endian size, data }.
#include <cstdint>

#include "base/ByteView.h"
#include "common/KRawReader.h"

enum class AsfKind
{
    None,
    Video, // at least one video stream
    Audio, // audio streams only
    Other  // neither (script, command or image streams)
};

struct tagAsfProbe
{
    AsfKind kind = AsfKind::None;
    uint64_t size = 0; // 0 when no size field can be trusted
};

/// Header object GUID and its fixed fields (pure).
bool AsfHeaderPlausible(ByteView head);
/// Reads the header objects of a candidate.
tagAsfProbe ProbeAsf(KRawReader& reader);
