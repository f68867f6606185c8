#include "core/QuickFilter.h"

#include <cstring>
#include <string_view>

#include "core/CGlobalParamTable.h"
#include "core/FileFilter.h"
#include "core/WildcardMatch.h"
#include "fs/KNodeTree.h"
#include "fs/tagFileNode.h"

namespace {

struct tagCategoryList
{
    EFileCategory Category;
    const char* pszExtensions; // lower case, each followed by a blank
};

constexpr tagCategoryList kCategories[] = {
    {EFileCategory::Pictures,
     "jpg jpeg jpe png gif bmp tif tiff psd heic heif webp ico svg cr2 crw nef arw dng orf rw2 raf "},
    {EFileCategory::Documents,
     "doc docx docm xls xlsx xlsm ppt pptx pps ppsx pdf rtf txt odt ods odp odg csv htm html xml pub wpd wps md tex "
     "eml msg "},
    {EFileCategory::Audio, "mp3 wav flac ogg oga opus m4a aac wma mid midi aif aiff amr ape "},
    {EFileCategory::Video, "mp4 m4v avi mov mkv wmv mpg mpeg mpe vob 3gp 3g2 flv webm asf ts mts m2ts "},
    {EFileCategory::Archives, "zip rar 7z gz tgz bz2 tbz2 xz txz zst tar cab arj lzh iso jar "},
};

// The extension of `name` in lower case, with a trailing blank; "" when it has none or one
// too long to be in the lists.
std::string ExtensionKey(const char* name)
{
    const char* dot = name ? std::strrchr(name, '.') : nullptr;
    if (!dot || !dot[1] || std::strlen(dot + 1) > 8) return {};
    std::string key;
    for (const char* c = dot + 1; *c; ++c) key += (*c >= 'A' && *c <= 'Z') ? static_cast<char>(*c + ('a' - 'A')) : *c;
    key += ' ';
    return key;
}

bool InList(std::string_view list, const std::string& key)
{
    for (size_t at = list.find(key); at != std::string_view::npos; at = list.find(key, at + 1))
    {
        if (at == 0 || list[at - 1] == ' ') return true;
    }
    return false;
}

} // namespace

EFileCategory CQuickFilter::CategoryOf(const char* name)
{
    const std::string key = ExtensionKey(name);
    if (!key.empty())
    {
        for (const tagCategoryList& list : kCategories)
        {
            if (InList(list.pszExtensions, key)) return list.Category;
        }
    }
    return EFileCategory::Other;
}

bool CQuickFilter::NamePasses(const char* name, const tagQuickFilter& quick)
{
    if (quick.Category != EFileCategory::All && CategoryOf(name) != quick.Category) return false;
    return quick.strSearch.empty() || WildcardMatch(name ? name : "", "*" + quick.strSearch + "*");
}

void CQuickFilter::Apply(CGlobalParamTable& session, const tagFilterSettings& settings, const tagQuickFilter& quick)
{
    if (!quick.Active())
    {
        CFileFilter::Apply(session, settings);
        return;
    }
    const tagFilterCriteria criteria = CFileFilter::Prepare(settings);
    // "Deleted files only" narrows what the dialog shows; it never brings back what the
    // dialog left out.
    const bool showNormal = settings.bShowNormal && !quick.bDeletedOnly;
    const bool showDeleted = settings.bShowDeleted;
    const KNodeTree& full = session.GetFileTree();
    KNodeTree& target = session.GetFilteredTree();
    session.TreesChanging();
    target.Clear();
    target.CopyFrom(full, [&](const tagTreeNode* node, uint32_t) -> int {
        if (!CFileFilter::PassesState(node, showNormal, showDeleted)) return 0;
        const char* name = full.GetName(node);
        if (criteria.Active() && !CFileFilter::Passes(node->pRecord, name, criteria)) return 0;
        return NamePasses(name, quick) ? 1 : 0;
    });
    session.UseFilteredTree(true);
}
