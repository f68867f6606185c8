#include "os/OsRescueMapFile.h"

#include "base/ResourceLimits.h"
#include "base/VlmErrors.h"
#include "format/rescuemap/RescueMap.h"
#include "os/OsFile.h"

namespace {

// A block line is at most about 40 characters.
constexpr uint64_t kMaxMapFileBytes = uint64_t{VlmLimits::kMaxRescueMapBlocks} * 64 + 65536;

} // namespace

uint32_t OsLoadRescueMap(const std::string& path, RescueMap* map, std::string* why)
{
    OsFile file;
    if (const uint32_t err = file.OpenRead(path); err != ERROR_SUCCESS) return err;
    std::string text;
    char buffer[65536];
    for (;;)
    {
        size_t n = 0;
        if (const uint32_t err = file.Read(buffer, sizeof(buffer), &n); err != ERROR_SUCCESS) return err;
        if (n == 0) break;
        if (text.size() + n > kMaxMapFileBytes)
        {
            *why = "the file is too large to be a rescue map";
            return ERROR_INVALID_DATA;
        }
        text.append(buffer, n);
    }
    return RescueMap::Parse(text, map, why) ? ERROR_SUCCESS : ERROR_INVALID_DATA;
}

uint32_t OsSaveRescueMap(const std::string& path, const RescueMap& map, const std::string& commandLine)
{
    const std::string text = map.Format(commandLine);
    const std::string temporary = path + ".tmp" + std::to_string(OsProcessId());
    OsFile file;
    uint32_t err = file.CreateAlways(temporary);
    if (err == ERROR_SUCCESS) err = file.Write(text.data(), text.size());
    if (err == ERROR_SUCCESS) err = file.Sync();
    const uint32_t closed = file.Close();
    if (err == ERROR_SUCCESS) err = closed;
    if (err == ERROR_SUCCESS) err = OsRename(temporary, path);
    if (err != ERROR_SUCCESS) OsDeleteFile(temporary);
    return err;
}
