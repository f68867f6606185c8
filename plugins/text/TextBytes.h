#pragma once
// What counts as text in a deep scan: ASCII printable characters, tab, line feed, vertical tab,
// form feed, carriage return and escape (terminal colours in logs), and well-formed UTF-8
// sequences (no overlong forms, no surrogates, nothing past U+10FFFF). Every other byte, the
// zero byte first of all, ends a run of text. Random or compressed data passes this for a few
// bytes at a time, and machine code and binary structures are full of zero bytes.
#include <cstddef>
#include <cstdint>

#include "base/ByteView.h"

/// Validates text across the pieces of one run, a UTF-8 sequence may be split between pieces.
class KTextValidator
{
public:
    /// Offset in `piece` of the first byte that is not text, or piece.size() when all of it
    /// continues the run. A sequence cut off by the end of the piece stays pending.
    size_t Feed(ByteView piece);
    /// After Feed stopped early: bytes of a broken UTF-8 sequence just before the stop, which
    /// belong to no character (the text ends where that sequence began).
    size_t Broken() const { return m_Broken; }
    /// A sequence is unfinished at the end of what was fed.
    bool InSequence() const { return m_Pending != 0; }

private:
    bool Byte(uint8_t b);

    int m_Pending = 0; // continuation bytes still expected
    size_t m_Broken = 0;
    size_t m_SeqBytes = 0;            // bytes of the current sequence seen so far
    uint8_t m_Lo = 0x80, m_Hi = 0xBF; // bounds of the next continuation byte
};

/// True when every byte of `bytes` is text, allowing up to three continuation bytes at the
/// start (the rest of a sequence begun before them) and, when `openEnd`, an unfinished
/// sequence at the end.
bool IsTextSpan(ByteView bytes, bool openEnd = true);
/// True for a byte that may begin a text file: printable ASCII, whitespace, a UTF-8 lead byte
/// or the first byte of a byte-order mark.
bool CanStartText(uint8_t b);
