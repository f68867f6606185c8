#pragma once
// The file list's quick narrowing, on top of the filter dialog's settings: deleted files only,
// one kind of file (pictures, documents, audio, video, archives, or anything else), and a
// search text that a name must contain. A file's kind is told by its extension.
#include <string>

class CGlobalParamTable;
struct tagFilterSettings;

enum class EFileCategory
{
    All,
    Pictures,
    Documents,
    Audio,
    Video,
    Archives,
    Other, // a file whose extension is none of the above
};

struct tagQuickFilter
{
    bool bDeletedOnly = false;
    EFileCategory Category = EFileCategory::All;
    std::string strSearch; // case-insensitive; "*" and "?" work as in the filter dialog

    bool Active() const { return bDeletedOnly || Category != EFileCategory::All || !strSearch.empty(); }
};

class CQuickFilter
{
public:
    /// The kind of a file named `name` (never All).
    static EFileCategory CategoryOf(const char* name);
    /// True when a file named `name` passes the category and search parts.
    static bool NamePasses(const char* name, const tagQuickFilter& quick);
    /// Makes the session's current tree the full tree narrowed by the dialog's (normalized)
    /// `settings` and by `quick`. Without a quick part this is the dialog's filter alone.
    static void Apply(CGlobalParamTable& session, const tagFilterSettings& settings, const tagQuickFilter& quick);
};
