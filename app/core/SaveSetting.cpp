#include "core/SaveSetting.h"

#include "base/FormatSize.h"
#include "base/VlmErrors.h"
#include "os/OsFile.h"
#include "core/VlmStrings.h"

tagSpaceFigures CSaveSetting::SpaceFigures(const std::string& path, uint64_t selectedBytes, uint32_t selectedCount)
{
    tagSpaceFigures figures;
    uint64_t freeBytes = 0;
    if (path.empty() || OsFreeSpace(path, &freeBytes) != ERROR_SUCCESS)
        return figures;
    figures.bKnown = true;
    figures.u64Free = freeBytes;
    figures.u64Required = selectedBytes + uint64_t{selectedCount} * kBytesPerFile;
    figures.strFree = FormatSize(static_cast<int64_t>(figures.u64Free));
    figures.strRequired = FormatSize(static_cast<int64_t>(figures.u64Required));
    return figures;
}

uint32_t CSaveSetting::Check(const std::string& path, uint64_t selectedBytes, uint32_t selectedCount)
{
    if (path.empty())
        return IDS_PLEASE_SELECT_TARGET_DIR;
    // Every target must be an existing folder: a plain file of that name would make every
    // single file fail to save.
    if (!OsIsFolder(path))
        return IDS_PATH_NOT_EXIST;
    const tagSpaceFigures figures = SpaceFigures(path, selectedBytes, selectedCount);
    if (figures.u64Free < figures.u64Required)
        return IDS_NOT_ENOUGH_SPACE;
    return 0;
}
