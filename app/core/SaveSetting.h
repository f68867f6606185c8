#pragma once
// The checks before recovered files are written: the target folder must be given and exist,
// and the file system that holds it must have room for the selected bytes plus 4096 bytes per
// file (the cluster slack and folder entries of each new file).
#include <cstdint>
#include <string>

class CGlobalParamTable;

struct tagSpaceFigures
{
    bool bKnown = false; // the free space could be asked
    uint64_t u64Free = 0;
    uint64_t u64Required = 0;
    std::string strFree; // FormatSize texts; empty when unknown
    std::string strRequired;
};

class CSaveSetting
{
public:
    static constexpr uint64_t kBytesPerFile = 8 * 512;

    /// The free and required space for saving `selectedCount` files of `selectedBytes` in all
    /// to `path`; zero and empty texts when the free space cannot be asked.
    static tagSpaceFigures SpaceFigures(const std::string& path, uint64_t selectedBytes, uint32_t selectedCount);
    /// The OK of the target choice: 0 when the target is accepted, else the number of the
    /// message that refuses it (no path, no such folder, not enough space).
    static uint32_t Check(const std::string& path, uint64_t selectedBytes, uint32_t selectedCount);
    /// Every check of a save target, as both front ends make it before a byte is written:
    /// first that the target does not lie on what is being recovered (IDS_OUTPUT_ON_SOURCE,
    /// with `text` naming both), then Check. 0 when the target is accepted; `text` (optional)
    /// receives the message to show.
    /// True when nothing at all is at `path` (it could be made as a folder).
    static bool TargetMissing(const std::string& path);
    /// Makes the target folder with its missing parents: 0 or the system's error. Call only
    /// after CheckTarget has found that the path does not lie on the source.
    static uint32_t CreateTarget(const std::string& path);
    static uint32_t CheckTarget(CGlobalParamTable& session, const std::string& path, uint64_t selectedBytes,
                                uint32_t selectedCount, std::string* text);
};
