#pragma once
// What the text preview makes of a file's bytes: rich text is shown formatted; anything else is
// plain text in a guessed encoding, converted to UTF-8 for the text view.
#include <cstdint>
#include <string>

#include "base/ByteView.h"

enum class ETextEncoding
{
    Utf8,    // a UTF-8 byte-order mark, or bytes that are valid UTF-8 throughout
    Utf16LE, // byte-order mark FF FE
    Utf16BE, // byte-order mark FE FF
    Latin1,  // everything else: one byte, one character
};

/// Rich text starts with "{\rtf".
bool IsRichText(ByteView bytes);

/// UTF-16 only with a byte-order mark; UTF-8 with a mark or when every sequence is well formed
/// (a sequence cut off by the end of the bytes is allowed: the head of a file may end inside
/// one); else Latin-1.
ETextEncoding GuessTextEncoding(ByteView bytes);

/// The bytes as UTF-8 without a byte-order mark. Malformed UTF-8 or UTF-16 (a lone surrogate,
/// an odd last byte, a cut-off sequence) becomes U+FFFD.
std::string TextToUtf8(ByteView bytes, ETextEncoding encoding);

/// Appends one character (at most U+10FFFF) in UTF-8.
void AppendUtf8(std::string& out, char32_t c);

/// GuessTextEncoding and TextToUtf8 together.
std::string PlainTextToUtf8(ByteView bytes);
