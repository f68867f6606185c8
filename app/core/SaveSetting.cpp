#include "core/SaveSetting.h"

#include "base/FormatSize.h"
#include "base/VlmErrors.h"
#include "core/SourceGuard.h"
#include "os/OsFile.h"
#include "core/VlmStrings.h"

tagSpaceFigures CSaveSetting::SpaceFigures(const std::string& path, uint64_t selectedBytes, uint32_t selectedCount)
{
    tagSpaceFigures figures;
    uint64_t freeBytes = 0;
    if (path.empty() || OsFreeSpace(path, &freeBytes) != ERROR_SUCCESS) return figures;
    figures.bKnown = true;
    figures.u64Free = freeBytes;
    figures.u64Required = selectedBytes + uint64_t{selectedCount} * kBytesPerFile;
    figures.strFree = FormatSize(static_cast<int64_t>(figures.u64Free));
    figures.strRequired = FormatSize(static_cast<int64_t>(figures.u64Required));
    return figures;
}

uint32_t CSaveSetting::Check(const std::string& path, uint64_t selectedBytes, uint32_t selectedCount)
{
    if (path.empty()) return IDS_PLEASE_SELECT_TARGET_DIR;
    // Every target must be an existing folder: a plain file of that name would make every
    // single file fail to save.
    if (!OsIsFolder(path)) return IDS_PATH_NOT_EXIST;
    const tagSpaceFigures figures = SpaceFigures(path, selectedBytes, selectedCount);
    if (figures.u64Free < figures.u64Required) return IDS_NOT_ENOUGH_SPACE;
    return 0;
}

uint32_t CSaveSetting::CheckTarget(CGlobalParamTable& session, const std::string& path, uint64_t selectedBytes,
                                   uint32_t selectedCount, std::string* text)
{
    uint32_t message = 0;
    std::string said;
    if (const std::string source = path.empty() ? std::string() : CSourceGuard::SourceUnder(session, path);
        !source.empty())
    {
        message = IDS_OUTPUT_ON_SOURCE;
        said = CSourceGuard::RefusalText(path, source);
    }
    else if ((message = Check(path, selectedBytes, selectedCount)) != 0)
        said = VlmString(message);
    if (text) *text = said;
    return message;
}

bool CSaveSetting::TargetMissing(const std::string& path) { return !path.empty() && !OsPathExists(path); }

uint32_t CSaveSetting::CreateTarget(const std::string& path) { return OsCreateFolders(path); }
