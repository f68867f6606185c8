#pragma once
// ID3v2 tags, which MP3 files carry in front of their first frame and which some taggers also
// put in front of other audio files (FLAC among them): "ID3", major version 2..4, revision,
// flags, then the tag's size as four 7-bit bytes (28 bits), the 10-byte header not counted; a
// footer of another 10 bytes follows the tag when flag bit 4 is set.
#include <cstdint>

#include "base/ByteView.h"

inline constexpr uint64_t kId3v2Header = 10;

/// The whole tag's length (header, body and footer) when `head` starts with a valid ID3v2
/// header; false for anything else.
bool Id3v2Size(ByteView head, uint64_t& size);
