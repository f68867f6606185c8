#pragma once
// Names of found files taken from what the files carry (a photo's date and camera, a song's
// artist and title, a document's title). The text comes from a plug-in that read it from
// untrusted bytes, so before it becomes a file name it is cleaned, cut and made unique within
// its type's folder. Files without such a name keep their numbered name.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

class IRawFileType;

/// The metadata text `type` gives for a hit of its last Scan call, asked on the thread that
/// made the call (the type keeps the names of one call only); empty when it knows none. The
/// text is still untrusted: Claim makes a name of it.
std::string HitMetadataText(IRawFileType* type, int64_t firstSector);

class KRawNames
{
public:
    /// Longest name given (bytes of UTF-8, extension and " (n)" included).
    static constexpr size_t kMaxNameBytes = 120;

    /// The file-name form of a metadata text: valid UTF-8 (each byte of a broken sequence
    /// becomes "_"), control characters as spaces, the characters that no common target file
    /// system takes in a name ("/ \ : * ? " < > |") as "_", runs of spaces as one, no leading
    /// or trailing space or dot, cut on a character boundary to `maxBytes`. Empty when nothing
    /// is left.
    static std::string Clean(std::string_view text, size_t maxBytes);

    /// Forgets the names given so far (a new scan).
    void Clear();
    /// The name for a file of type `typeIndex` whose metadata text is `text` and whose
    /// extension is `ext`: the cleaned text with ".ext", followed by " (2)", " (3)", ... before
    /// the extension when the type's folder already has that name. Empty when the text leaves
    /// nothing usable (the caller then gives the numbered name).
    std::string Claim(int typeIndex, std::string_view text, std::string_view ext);

private:
    std::unordered_set<std::string> m_Taken; // type index, a zero byte, the name
    // Per cleaned name (keyed as above, without a suffix): the suffix number to try next, so
    // that a thousand files of one name cost a thousand look-ups, not half a million.
    std::unordered_map<std::string, uint32_t> m_NextSuffix;
};
