#pragma once
// The checks before recovered files are written: the target folder must be given and exist,
// and the file system that holds it must have room for the selected bytes plus 4096 bytes per
// file (the cluster slack and folder entries of each new file).
#include <cstdint>
#include <string>

struct tagSpaceFigures
{
    bool bKnown = false;          // the free space could be asked
    uint64_t u64Free = 0;
    uint64_t u64Required = 0;
    std::string strFree;          // FormatSize texts; empty when unknown
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
};
