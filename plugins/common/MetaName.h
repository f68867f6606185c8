#pragma once
// File names composed from what a found file says about itself. The parts come from untrusted
// bytes: these functions only choose and arrange them (the engine cleans and cuts the result
// before it becomes a file name). An empty result means "no name": the file keeps its
// numbered one.
#include <cstdint>
#include <string>
#include <string_view>

#include "base/ByteView.h"

#include "common/TiffWalk.h"

/// "2021-06-15 09-40-00 Canon EOS 80D": the date and time the picture was taken, then the
/// camera (its model, preceded by the maker's first word unless the model already starts with
/// it). Empty without a valid date: a camera name alone would name every photo alike.
std::string PhotoName(const tagTiffMeta& meta);

/// "Artist - Title", or the title alone; empty without a title.
std::string SongName(std::string_view artist, std::string_view title);

/// Code point `cp` (at most U+10FFFF) appended to `out` in UTF-8.
void AppendCodePoint(std::string& out, uint32_t cp);

/// Leading and trailing blanks (spaces, tabs, line breaks, zero bytes) removed.
std::string_view TrimBlanks(std::string_view text);

/// Text in ISO 8859-1 (one byte a character) as UTF-8, up to the first zero byte.
std::string TextFromLatin1(ByteView bytes);
/// UTF-16 text as UTF-8, up to the first zero unit; a byte order mark, when present, overrides
/// `bigEndian` and is dropped. An unpaired surrogate becomes U+FFFD.
std::string TextFromUtf16(ByteView bytes, bool bigEndian);
/// Text of unknown 8-bit encoding (old tags): UTF-8 when the bytes are well-formed UTF-8,
/// else ISO 8859-1; up to the first zero byte.
std::string TextFromLegacy(ByteView bytes);
