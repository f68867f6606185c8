#pragma once
// Text conversion. The 8-bit code page of this platform is UTF-8: names read from disk as
// UTF-16 become UTF-8, and a unit that cannot be converted (an unpaired surrogate) becomes "_".
#include <cstddef>
#include <cstdint>
#include <string>

// Converts `count` UTF-16 units (stopping early at a zero unit) to UTF-8. Unpaired
// surrogates become '_'. Never fails.
std::string Utf16ToUtf8(const char16_t* units, size_t count);

// Converts little-endian UTF-16 bytes as they lie on disk (`byteCount` / 2 units, an odd last
// byte ignored), stopping early at a zero unit like Utf16ToUtf8.
std::string Utf16LEBytesToUtf8(const uint8_t* bytes, size_t byteCount);

// Converts UTF-8 to UTF-16. Invalid sequences become '_'. At most `maxUnits` units are
// produced (a surrogate pair is never split).
std::u16string Utf8ToUtf16(const std::string& text, size_t maxUnits = SIZE_MAX);

// Cuts `text` to at most `maxBytes` bytes without splitting a UTF-8 sequence.
std::string CutUtf8(const std::string& text, size_t maxBytes);

// Appends code point `cp` as UTF-8.
void AppendUtf8(std::string& out, uint32_t cp);

// A byte of the DOS code page that 8.3 names and FAT labels are stored in (437), as Unicode.
char32_t OemCharToUnicode(uint8_t byte);

// `count` code-page bytes as UTF-8 (no byte stops it early).
std::string OemToUtf8(const uint8_t* bytes, size_t count);
