#include "res/VlmStrings.h"

#include <algorithm>
#include <iterator>

namespace {

struct StringEntry
{
    uint32_t id;
    const char* text;
};

// Sorted by id; VlmString finds entries by binary search.
constexpr StringEntry kStrings[] = {
    {148, "files found via Deep Scan"},
    {153, "Physical Device"},
    {154, "Basic Volume"},
    {155, "Simple Volume"},
    {156, "Mirrored Volume"},
    {157, "Stripped Volume"},
    {158, "Spanned Volume"},
    {159, "Raid-5 Volume"},
    {184, "Document"},
    {185, "Archive"},
    {186, "Graphics/Picture"},
    {187, "Audio/Video"},
    {188, "E-mail"},
    {189, "Other files"},
    {199, "SCSI Disk Device"},
    {200, "USB Device"},
    {201, "Firbre Device"},
    {202, "RAID Device"},
    {203, "$Root"},
    {204, "$Dir"},
    {214, "Please choose file types you like to recover!"},
    {222, "Deleted Partition"},
    {223, "Database"},
    {2001, "%s\\ResumeRecovery"},
    {2002, "Building virtual file system in memory..."},
    {2019, "Select a directory to store selected files."},
    {2020, "Please select a directory to store selected files."},
    {2021, "The path does not exist.\nPlease choose an existed directory."},
    {2022, "The specified drive does not has enough space to store selected file.\nPlease choose another drive to continue."},
    {2023, "OK! The selected files are saved to '%s'."},
    {2024, "Are you sure you want to cancel saving?"},
    {2025, "%d hours %d minutes"},
    {2026, "about %d minutes"},
    {2027, "less than 1 minute."},
    {2028, "Calculating partition layout..."},
    {2029, "Continue recovery using collected data?"},
    {2046, "Please select files you like to recover."},
    {2075, "Floppy Disk"},
    {2076, "Lost Files"},
    {2077, "Unidentified"},
};

} // namespace

const char* VlmString(uint32_t id)
{
    const auto* it = std::lower_bound(std::begin(kStrings), std::end(kStrings), id,
                                      [](const StringEntry& e, uint32_t v) { return e.id < v; });
    if (it == std::end(kStrings) || it->id != id)
        return "";
    return it->text;
}
