#pragma once
// ID3v2 tags, which MP3 files carry in front of their first frame and which some taggers also
// put in front of other audio files (FLAC among them): "ID3", major version 2..4, revision,
// flags, then the tag's size as four 7-bit bytes (28 bits), the 10-byte header not counted; a
// footer of another 10 bytes follows the tag when flag bit 4 is set.
#include <cstdint>
#include <string>

#include "base/ByteView.h"

inline constexpr uint64_t kId3v2Header = 10;

/// The whole tag's length (header, body and footer) when `head` starts with a valid ID3v2
/// header; false for anything else.
bool Id3v2Size(ByteView head, uint64_t& size);

inline constexpr uint64_t kId3v1Bytes = 128;

struct tagSongTags
{
    std::string artist; // UTF-8
    std::string title;
};

/// The lead artist and title frames of an ID3v2 tag (versions 2.2 to 2.4) whose first bytes
/// are `tag` (it may be cut short: frames beyond it are not seen). Compressed, encrypted and
/// unsynchronised frames are passed over. False when neither frame was found.
bool Id3v2Song(ByteView tag, tagSongTags& out);
/// The title and artist fields of a 128-byte ID3v1 trailer ("TAG"); false when it is not one.
bool Id3v1Song(ByteView trailer, tagSongTags& out);
