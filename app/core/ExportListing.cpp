#include "core/ExportListing.h"

#include <vector>

#include "base/VlmErrors.h"
#include "core/FileListText.h"
#include "core/TextFormat.h"
#include "fs/KNodeTree.h"
#include "fs/tagFileNode.h"
#include "os/OsFile.h"

namespace {

// A block is written out once this much text has gathered.
constexpr size_t kFlushBytes = 1 << 16;
// More folders than any volume holds; the bound only guards a damaged link structure.
constexpr size_t kMaxFolders = size_t{1} << 28;

void AppendFolder(const KNodeTree& tree, const tagTreeNode* folder, const std::string& path, std::string* out)
{
    *out += FormatText("Directory of %s\n\n", path.c_str());
    int files = 0;
    int64_t bytes = 0;
    for (const tagTreeNode* c = folder->pFirstChild; c; c = c->pNext)
    {
        const tagFileNode* record = c->pRecord;
        const bool isFolder = IsFolderRecord(record);
        const std::string size =
            isFolder ? FormatText("%12s", "<DIR>") : FormatText("%12lld", static_cast<long long>(record->s64Size));
        *out += FormatText("%s  %s  %s\n", CExportListing::DateField(c).c_str(), size.c_str(), tree.GetName(c));
        if (!isFolder) ++files;
        bytes += record->s64Size;
    }
    *out += FormatText("\t\t%d File(s) \t%lld bytes\n\n", files, static_cast<long long>(bytes));
}

} // namespace

std::string CExportListing::DateField(const tagTreeNode* node)
{
    const tagFileNode* record = node ? node->pRecord : nullptr;
    if (!record || !(record->wValidMask & FN_MASK_MODIFIED) || record->ftModified == 0) return std::string(17, ' ');
    const tagCalendarTime t = FileTimeToCalendar(record->ftModified);
    return FormatText("%.2d/%.2d/%.4d  %.2d:%.2d", t.nMonth, t.nDay, t.nYear, t.nHour, t.nMinute);
}

bool CExportListing::Write(const KNodeTree& tree, const Sink& sink)
{
    const tagTreeNode* root = tree.GetRoot();
    if (!root) return true;
    std::string text;
    // Depth first in tree order: each folder's block, then the blocks of its sub-folders. The
    // walk keeps, per level, the next sibling to look at and the length of the path above it,
    // so its memory grows with the depth of the tree, not with its width.
    struct Level
    {
        const tagTreeNode* pNext;
        size_t nPathLength;
    };
    std::string path = tree.GetName(root);
    AppendFolder(tree, root, path, &text);
    std::vector<Level> stack{{root->pFirstChild, path.size()}};
    size_t visited = 1;
    while (!stack.empty() && visited < kMaxFolders)
    {
        Level& level = stack.back();
        const tagTreeNode* folder = level.pNext;
        while (folder && !IsFolderRecord(folder->pRecord)) folder = folder->pNext;
        if (!folder)
        {
            stack.pop_back();
            continue;
        }
        level.pNext = folder->pNext;
        path.resize(level.nPathLength);
        path += '\\';
        path += tree.GetName(folder);
        ++visited;
        AppendFolder(tree, folder, path, &text);
        if (text.size() >= kFlushBytes)
        {
            if (!sink(text)) return false;
            text.clear();
        }
        stack.push_back({folder->pFirstChild, path.size()});
    }
    return text.empty() || sink(text);
}

uint32_t CExportListing::ExportToFile(const KNodeTree& tree, const std::string& path)
{
    OsFile file;
    if (const uint32_t rc = file.CreateAlways(path); rc != ERROR_SUCCESS) return rc;
    uint32_t error = ERROR_SUCCESS;
    const bool written = Write(tree, [&](const std::string& text) {
        error = file.Write(text.data(), text.size());
        return error == ERROR_SUCCESS;
    });
    const uint32_t closed = file.Close();
    if (!written) return error;
    return closed;
}
