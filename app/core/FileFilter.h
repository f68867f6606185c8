#pragma once
// The file list's narrowing of the tree: the restriction by state (Undelete Recovery shows only
// deleted and lost files) and the filter by name patterns, size and date. The result is the
// session's filtered copy of the full tree, which then becomes the tree the list shows; a copy
// keeps a folder only while something remains below it.
#include <cstdint>
#include <string>
#include <vector>

#include "core/RecoveryModule.h"

class CGlobalParamTable;
class KNodeTree;
struct tagFileNode;
struct tagTreeNode;

// The settings of the filter dialog, as the user left them.
struct tagFilterSettings
{
    bool bByName = false;
    std::string strNames; // patterns separated by "," or ";"
    bool bBySize = false;
    uint64_t u64FromKB = 0; // inclusive bounds in KB
    uint64_t u64ToKB = 0;
    bool bByDate = false;
    bool bModified = false; // compare the modification time (else the creation time)
    uint64_t ftFrom = 0;    // local file times; the "to" day counts up to 23:59:59.999
    uint64_t ftTo = 0;
    bool bShowDeleted = true; // deleted, lost and deep-scan files
    bool bShowNormal = true;  // files present on disk
    bool bUseFilter = true;   // "Use filter" (else "Do not use filter")
};

// The criteria a leaf is tested against, prepared from the settings.
struct tagFilterCriteria
{
    bool bByName = false;
    std::vector<std::string> Patterns;
    bool bBySize = false;
    int64_t s64From = 0; // bytes
    int64_t s64To = 0;
    bool bByDate = false;
    bool bModified = false;
    uint64_t ftFrom = 0;
    uint64_t ftTo = 0; // the last 100-ns tick of the "to" day

    bool Active() const { return bByName || bBySize || bByDate; }
};

class CFileFilter
{
public:
    /// The choices the name list offers.
    static const std::vector<std::string>& NameChoices();

    /// The settings in force when the file list is shown in `module`: Undelete Recovery shows
    /// deleted and lost files only, the other modules everything.
    static tagFilterSettings ActivationSettings(EModule module);
    /// The restriction by state of the page's activation: the full tree when both kinds are
    /// shown, else a filtered copy.
    static void ApplyRestriction(CGlobalParamTable& session, const tagFilterSettings& settings);

    /// The OK of the filter dialog: "Do not use filter" switches the criteria off (and, outside
    /// Undelete Recovery, shows both kinds again); a name text without "*", ";" and "," gets a
    /// "*" at both ends.
    static void Normalize(tagFilterSettings* settings, EModule module);
    /// The name text cut at "," and ";", each piece trimmed of blanks, empty pieces dropped.
    static std::vector<std::string> SplitPatterns(const std::string& text);
    static tagFilterCriteria Prepare(const tagFilterSettings& settings);
    /// Applies normalized settings to the session's trees under a waiting window.
    static void Apply(CGlobalParamTable& session, const tagFilterSettings& settings);

    /// The criteria test of one record. Deep-scan records skip the date test (their creation
    /// field holds a sector number, not a time).
    static bool Passes(const tagFileNode* record, const char* name, const tagFilterCriteria& criteria);
    /// The state test of a leaf and its ancestors.
    static bool PassesState(const tagTreeNode* node, bool showNormal, bool showDeleted);
    /// Copies `source` into `target` (emptied first) keeping the leaves that pass both tests.
    static void CopyFiltered(const KNodeTree& source, KNodeTree* target, bool showNormal, bool showDeleted,
                             const tagFilterCriteria& criteria);
};
