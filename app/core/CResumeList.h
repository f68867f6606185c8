#pragma once
// The list of saved scan results (the resume page): every readable "*.rrs" file of the resume
// folder, oldest first, and loading one of them back into the session.
#include <cstdint>
#include <string>
#include <vector>

#include "core/CScanResultFile.h"

class CGlobalParamTable;

struct tagHistoryEntry
{
    std::string strPath;
    std::string strVolume; // the volume's display name
    uint32_t dwModule = 0;
    uint32_t dwVolumeType = 0; // 256: a physical device
    tagSaveTime Time{};
    tagScanResultStatus Status; // device, partial, kept automatically
};

class CResumeList
{
public:
    explicit CResumeList(CGlobalParamTable& session) : m_Session(session) {}

    /// Lists the resume folder again.
    void Refresh();
    /// Lists the results in `folder` (files without a readable header are left out).
    void Refresh(const std::string& folder);
    const std::vector<tagHistoryEntry>& Entries() const { return m_Entries; }
    /// The "*.rrs" files of `folder`, in no particular order.
    static std::vector<std::string> ResultFiles(const std::string& folder);
    static std::vector<std::string> Headers();
    /// Volume, module name, date, device and "complete" or "partial" of entry `row`.
    std::vector<std::string> Row(size_t row) const;
    /// "%d-%d-%d %d:%d:%d": year, month, day, hour, minute, second.
    static std::string DateText(const tagSaveTime& time);

    /// "&Continue..." with row `row` (-1: none selected). Non-zero when the result was loaded.
    int Continue(int row);
    /// Loads a result file; on failure warns that the device may not be attached.
    int LoadFile(const std::string& path);

private:
    CGlobalParamTable& m_Session;
    std::vector<tagHistoryEntry> m_Entries;
};
