#include "base/EngineStrings.h"

#include <algorithm>
#include <iterator>

namespace {

struct StringEntry
{
    uint32_t id;
    const char* text;
};

// Sorted by id; EngineString finds entries by binary search.
constexpr StringEntry kStrings[] = {
    {148, "files found via Deep Scan"},
    {199, "SCSI Disk Device"},
    {200, "USB Device"},
    {201, "Fibre Channel Device"},
    {202, "RAID Device"},
    {203, "$Root"},
    {204, "$Dir"},
    {2075, "Floppy Disk"},
    {2076, "Lost Files"},
    {2077, "Unidentified"},
    {2078, "Extra Found Files"},
};

} // namespace

const char* EngineString(uint32_t id)
{
    const auto* it = std::lower_bound(std::begin(kStrings), std::end(kStrings), id,
                                      [](const StringEntry& e, uint32_t v) { return e.id < v; });
    if (it == std::end(kStrings) || it->id != id) return "";
    return it->text;
}
