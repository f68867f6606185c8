#pragma once
// Turns the entries of a folder, one at a time, into file records. Long-name parts are
// collected across entries, clusters and folders until their short entry arrives; the
// collection state is part of the scanner's stored state. A long name is given to a short
// entry only when it belongs to it: parts of one name carry the checksum of its short name,
// and a present name runs from the part flagged last down to part 1. Folder fragments read in
// any order (a formatted volume) would otherwise lend one file's name to another.
#include <array>
#include <cstdint>
#include <string>

#include "format/fat/FatDirEntry.h"
#include "format/fat/FatLayout.h"

// What one short entry describes, ready to become a record.
struct FatParsedEntry
{
    std::string Name;
    uint32_t Size = 0;
    int64_t Created = 0; // local file time, 0 when the stamp is not a date
    int64_t Modified = 0;
    uint8_t Attributes = 0;
    bool Deleted = false;
    uint32_t FirstCluster = 0;
};

enum class FatParseOutcome
{
    Skipped,      // not a recordable entry (unused, dot, label, invalid, oversized)
    LongNamePart, // a long-name part was collected
    Record,       // `out` describes a file or folder
};

class KFatEntryParser
{
public:
    KFatEntryParser() { Reset(); }

    /// `limits`: the current geometry.
    FatParseOutcome Parse(FatDirEntryView entry, const FatEntryLimits& limits, FatParsedEntry* out);
    void Reset();

    // Stored form: last part's first byte (1), the 520-byte character buffer, the collected
    // count (u32), the 520-byte name buffer.
    static constexpr size_t kStoredSize = 1 + kFatNameBufferBytes + 4 + kFatNameBufferBytes;
    using Stored = std::array<uint8_t, kStoredSize>;
    Stored Store() const;
    void Restore(const Stored& in);

private:
    void TakeLongNamePart(FatDirEntryView entry);
    std::string AssembleLongName() const;
    bool LongNameBelongsTo(FatDirEntryView shortEntry) const;
    char16_t FirstNameChar() const;

    uint8_t m_LastFirstByte = 0;
    // What the collected parts are known to be; not stored, so a restored collection is
    // taken as it was before the save (m_Checked false).
    bool m_Checked = false;
    uint8_t m_Checksum = 0;    // the checksum of every collected part
    uint8_t m_NextOrdinal = 0; // present parts: the number the next part must carry
    bool m_InOrder = false;    // present parts: started at the flagged last part, none skipped
    uint32_t m_Count = 0;
    std::array<char16_t, kFatMaxLongNameParts * kFatLongNameChars> m_Chars{};
    std::array<char, kFatNameBufferBytes> m_Name{};
};
