#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/TextCodec.h"

namespace {
struct Utf16Case
{
    const char* name;
    std::u16string units;
    size_t count;
    std::string expected;
};

std::vector<uint8_t> LittleEndianBytes(const std::u16string& units)
{
    std::vector<uint8_t> bytes;
    for (char16_t u : units)
    {
        bytes.push_back(static_cast<uint8_t>(u & 0xFF));
        bytes.push_back(static_cast<uint8_t>(u >> 8));
    }
    return bytes;
}

// True when `text` is well-formed UTF-8 (a round trip through UTF-16 replaces nothing).
bool IsCleanUtf8(const std::string& text)
{
    const std::u16string wide = Utf8ToUtf16(text);
    return Utf16ToUtf8(wide.data(), wide.size()) == text;
}
} // namespace

// Names from disk: both entry points must give the same text, including for broken input.
TEST(OsText, Utf16ToUtf8HandlesPairsUnpairedSurrogatesAndZeroUnits)
{
    const std::vector<Utf16Case> cases = {
        {"ascii", u"Photo.JPG", 9, "Photo.JPG"},
        {"two and three bytes", u"\u00e9\u20ac", 2, "\xC3\xA9\xE2\x82\xAC"},
        {"pair", u"a\U0001F600b", 4,
         "a\xF0\x9F\x98\x80"
         "b"},
        {"lone high at end", std::u16string{u'a', char16_t(0xD83D)}, 2, "a_"},
        {"high then letter", std::u16string{char16_t(0xD83D), u'x'}, 2, "_x"},
        {"lone low", std::u16string{u'x', char16_t(0xDE00), u'y'}, 3, "x_y"},
        {"low before high", std::u16string{char16_t(0xDE00), char16_t(0xD83D)}, 2, "__"},
        {"two highs then low", std::u16string{char16_t(0xD83D), char16_t(0xD83D), char16_t(0xDE00)}, 3,
         "_\xF0\x9F\x98\x80"},
        {"count cuts a pair", u"\U0001F600", 1, "_"},
        {"stops at zero", std::u16string{u'a', u'b', 0, u'c'}, 4, "ab"},
        {"leading zero", std::u16string{0, u'a'}, 2, ""},
        {"count shorter than text", u"abcdef", 3, "abc"},
        {"highest code point", u"\U0010FFFF", 2, "\xF4\x8F\xBF\xBF"},
    };
    for (const Utf16Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Utf16ToUtf8(c.units.data(), c.count), c.expected);
        const std::vector<uint8_t> bytes = LittleEndianBytes(c.units);
        EXPECT_EQ(Utf16LEBytesToUtf8(bytes.data(), c.count * 2), c.expected);
    }
}

TEST(OsText, Utf16LEBytesIgnoreAnOddTrailingByte)
{
    const uint8_t bytes[] = {'A', 0, 0xAC, 0x20, 'Z'};
    EXPECT_EQ(Utf16LEBytesToUtf8(bytes, sizeof(bytes)), "A\xE2\x82\xAC");
    EXPECT_EQ(Utf16LEBytesToUtf8(bytes, 1), "");
    EXPECT_EQ(Utf16ToUtf8(nullptr, 5), "");
}

TEST(OsText, Utf8ToUtf16ReplacesEachBadSequenceOnce)
{
    EXPECT_EQ(Utf8ToUtf16("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"), u"a\u00e9\u20ac\U0001F600");
    EXPECT_EQ(Utf8ToUtf16("a\x80"
                          "b"),
              u"a_b");                                // stray continuation byte
    EXPECT_EQ(Utf8ToUtf16("\xC0\x80"), u"__");        // overlong NUL: two invalid bytes
    EXPECT_EQ(Utf8ToUtf16("\xE0\x80\x80"), u"_");     // overlong three-byte form
    EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"_");     // encoded surrogate
    EXPECT_EQ(Utf8ToUtf16("\xF4\x90\x80\x80"), u"_"); // beyond U+10FFFF
    EXPECT_EQ(Utf8ToUtf16("\xF5"
                          "a"),
              u"_a");
    EXPECT_EQ(Utf8ToUtf16("x\xE2\x82"), u"x_"); // truncated at the end
    EXPECT_EQ(Utf8ToUtf16("\xE2\x82z"), u"_z"); // truncated before a letter
}

TEST(OsText, Utf8ToUtf16NeverSplitsASurrogatePair)
{
    const std::string text = "ab\xF0\x9F\x98\x80"
                             "c";
    EXPECT_EQ(Utf8ToUtf16(text, 2), u"ab");
    EXPECT_EQ(Utf8ToUtf16(text, 3), u"ab");
    EXPECT_EQ(Utf8ToUtf16(text, 4), u"ab\U0001F600");
    EXPECT_EQ(Utf8ToUtf16(text, 0), u"");
}

// Every limit over a mixed text: the cut is a prefix, fits, is clean, and is the longest such.
TEST(OsText, CutUtf8IsTheLongestCleanPrefixForEveryLimit)
{
    const std::vector<std::string> pieces = {"a", "\xC3\xA9",         "\xE2\x82\xAC", "\xF0\x9F\x98\x80",
                                             "z", "\xF0\x9F\x98\x80", "\xC3\xA9"};
    std::string text;
    std::vector<size_t> boundaries = {0};
    for (const std::string& p : pieces)
    {
        text += p;
        boundaries.push_back(text.size());
    }
    for (size_t limit = 0; limit <= text.size() + 1; ++limit)
    {
        SCOPED_TRACE(limit);
        const std::string cut = CutUtf8(text, limit);
        size_t expected = 0;
        for (size_t b : boundaries)
            if (b <= limit) expected = b;
        EXPECT_EQ(cut.size(), expected);
        EXPECT_EQ(text.compare(0, cut.size(), cut), 0);
        EXPECT_TRUE(IsCleanUtf8(cut));
    }
}

TEST(OsText, CutUtf8DoesNotEatIntoBytesBeforeAStrayContinuation)
{
    // Malformed input: continuation bytes without a lead. The cut must not wander back.
    const std::string text = "abcd\x80\x80\x80\x80\x80"
                             "e";
    EXPECT_EQ(CutUtf8(text, 7), text.substr(0, 7));
    EXPECT_EQ(CutUtf8(text, 4), "abcd");
}
