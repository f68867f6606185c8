#include "core/FileFilter.h"

#include <algorithm>
#include <cstdint>

#include "core/CGlobalParamTable.h"
#include "core/WildcardMatch.h"
#include "fs/KNodeTree.h"
#include "fs/tagFileNode.h"
#include "core/VlmStrings.h"

namespace {

constexpr uint64_t kTicksPerDay = 864000000000ULL;
// Folders nest far less deeply than this; the bound only guards a damaged parent chain.
constexpr int kMaxDepth = 1 << 16;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

} // namespace

const std::vector<std::string>& CFileFilter::NameChoices()
{
    static const std::vector<std::string> kChoices = {"*.doc,*.xls,*.ppt,*.pub", "*.zip,*.rar,*.cab",
                                                      "*.mp3,*.wav,*.avi,*.mpg", "*.jpg,*.gif,*.png,*.psd,*.tif",
                                                      "*.pdf,*.swf"};
    return kChoices;
}

tagFilterSettings CFileFilter::ActivationSettings(EModule module)
{
    tagFilterSettings settings;
    if (module == EModule::Undelete) settings.bShowNormal = false;
    return settings;
}

void CFileFilter::ApplyRestriction(CGlobalParamTable& session, const tagFilterSettings& settings)
{
    if (settings.bShowNormal && settings.bShowDeleted)
    {
        session.UseFilteredTree(false);
        return;
    }
    session.TreesChanging();
    CopyFiltered(session.GetFileTree(), &session.GetFilteredTree(), settings.bShowNormal, settings.bShowDeleted,
                 tagFilterCriteria{});
    session.UseFilteredTree(true);
}

void CFileFilter::Normalize(tagFilterSettings* settings, EModule module)
{
    if (!settings->bUseFilter)
    {
        settings->bByName = false;
        settings->bBySize = false;
        settings->bByDate = false;
        settings->strNames.clear();
        if (module != EModule::Undelete)
        {
            settings->bShowDeleted = true;
            settings->bShowNormal = true;
        }
        return;
    }
    const std::string& names = settings->strNames;
    if (!names.empty() && names.find_first_of("*;,") == std::string::npos) settings->strNames = "*" + names + "*";
}

std::vector<std::string> CFileFilter::SplitPatterns(const std::string& text)
{
    std::vector<std::string> patterns;
    size_t start = 0;
    while (start <= text.size())
    {
        size_t end = text.find_first_of(",;", start);
        if (end == std::string::npos) end = text.size();
        size_t first = start;
        size_t last = end;
        while (first < last && IsBlank(text[first])) ++first;
        while (last > first && IsBlank(text[last - 1])) --last;
        if (last > first) patterns.push_back(text.substr(first, last - first));
        start = end + 1;
    }
    return patterns;
}

tagFilterCriteria CFileFilter::Prepare(const tagFilterSettings& settings)
{
    tagFilterCriteria criteria;
    criteria.bByName = settings.bByName;
    if (criteria.bByName) criteria.Patterns = SplitPatterns(settings.strNames);
    criteria.bBySize = settings.bBySize;
    // KB to bytes; a bound too large for the size field stands for "no upper bound".
    constexpr uint64_t kMaxKB = static_cast<uint64_t>(INT64_MAX) / 1024;
    criteria.s64From = static_cast<int64_t>(std::min(settings.u64FromKB, kMaxKB) * 1024);
    criteria.s64To = static_cast<int64_t>(std::min(settings.u64ToKB, kMaxKB) * 1024);
    criteria.bByDate = settings.bByDate;
    criteria.bModified = settings.bModified;
    criteria.ftFrom = settings.ftFrom;
    criteria.ftTo = settings.ftTo - settings.ftTo % kTicksPerDay + kTicksPerDay - 10000;
    return criteria;
}

bool CFileFilter::Passes(const tagFileNode* record, const char* name, const tagFilterCriteria& criteria)
{
    if (!record) return false;
    if (criteria.bByName)
    {
        bool matched = false;
        for (const std::string& pattern : criteria.Patterns)
        {
            if (WildcardMatch(name ? name : "", pattern))
            {
                matched = true;
                break;
            }
        }
        if (!matched) return false;
    }
    if (criteria.bBySize && (record->s64Size < criteria.s64From || record->s64Size > criteria.s64To)) return false;
    if (criteria.bByDate && !(record->byKind & FN_KIND_DEEP))
    {
        const uint64_t time = criteria.bModified ? record->ftModified : record->ftCreated;
        if (time < criteria.ftFrom || time > criteria.ftTo) return false;
    }
    return true;
}

bool CFileFilter::PassesState(const tagTreeNode* node, bool showNormal, bool showDeleted)
{
    if (showNormal && showDeleted) return true;
    if (!showNormal && !showDeleted) return false;
    // Normal files: neither the record nor any ancestor is deleted or found by the deep scan.
    // Deleted files: the record or some ancestor is deleted, lost or found by the deep scan.
    const uint8_t bits =
        showNormal ? (FN_KIND_DELETED | FN_KIND_DEEP) : (FN_KIND_DELETED | FN_KIND_LOST | FN_KIND_DEEP);
    bool found = false;
    int depth = 0;
    for (const tagTreeNode* n = node; n && depth < kMaxDepth; n = n->pParent, ++depth)
    {
        if (n->pRecord && (n->pRecord->byKind & bits))
        {
            found = true;
            break;
        }
    }
    return showNormal ? !found : found;
}

void CFileFilter::CopyFiltered(const KNodeTree& source, KNodeTree* target, bool showNormal, bool showDeleted,
                               const tagFilterCriteria& criteria)
{
    target->Clear();
    target->CopyFrom(source, [&](const tagTreeNode* node, uint32_t) -> int {
        if (!PassesState(node, showNormal, showDeleted)) return 0;
        return !criteria.Active() || Passes(node->pRecord, source.GetName(node), criteria);
    });
}

void CFileFilter::Apply(CGlobalParamTable& session, const tagFilterSettings& settings)
{
    const tagFilterCriteria criteria = Prepare(settings);
    const bool bothShown = settings.bShowNormal && settings.bShowDeleted;
    if (bothShown && !criteria.Active())
    {
        session.UseFilteredTree(false);
        return;
    }
    session.TreesChanging();
    session.Port().RunProgress(VlmString(IDS_FILTERING), true, [&](IProgress_Client*) {
        if (bothShown || !criteria.Active())
        {
            CopyFiltered(session.GetFileTree(), &session.GetFilteredTree(), settings.bShowNormal, settings.bShowDeleted,
                         criteria);
            return;
        }
        // The state restriction first, the criteria on that copy; two copies also keep every
        // folder's order as the full tree has it.
        KNodeTree restricted;
        CopyFiltered(session.GetFileTree(), &restricted, settings.bShowNormal, settings.bShowDeleted,
                     tagFilterCriteria{});
        CopyFiltered(restricted, &session.GetFilteredTree(), true, true, criteria);
    });
    session.UseFilteredTree(true);
}
