#pragma once
// Vorbis comments, the tags of FLAC (metadata block type 4) and of Ogg Vorbis and Opus: a
// vendor string, then a count of "NAME=value" strings in UTF-8, every length a 32-bit
// little-endian number.
#include "base/ByteView.h"
#include "media/Id3Tag.h"

/// The ARTIST and TITLE comments (names compared without case; the first of each counts) of
/// the comment block `body` (it may be cut short: comments beyond it are not seen). False when
/// neither was found.
bool VorbisCommentSong(ByteView body, tagSongTags& out);
