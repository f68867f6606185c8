#include "core/CResumeList.h"

#include <algorithm>

#include "core/CGlobalParamTable.h"
#include "core/CScanResultStore.h"
#include "core/TextFormat.h"
#include "os/OsFile.h"
#include "core/VlmStrings.h"

namespace {

// A folder name taken literally inside a shell pattern.
std::string EscapePattern(const std::string& text)
{
    std::string out;
    for (char c : text)
    {
        if (c == '*' || c == '?' || c == '[' || c == ']' || c == '\\') out += '\\';
        out += c;
    }
    return out;
}

} // namespace

std::vector<std::string> CResumeList::ResultFiles(const std::string& folder)
{
    return OsFindFiles(EscapePattern(folder) + "/*.rrs");
}

std::vector<std::string> CResumeList::Headers()
{
    return {VlmString(IDS_COL_VOLUME), VlmString(IDS_COL_MODULE), VlmString(IDS_COL_DATE), VlmString(IDS_COL_DEVICE),
            VlmString(IDS_COL_STATE)};
}

void CResumeList::Refresh() { Refresh(CScanResultStore::ResumeFolder()); }

void CResumeList::Refresh(const std::string& folder)
{
    m_Entries.clear();
    for (const std::string& path : ResultFiles(folder))
    {
        tagHistoryEntry entry;
        entry.strPath = path;
        if (!CScanResultStore::ReadHeader(path, &entry.strVolume, &entry.Time, &entry.dwModule, &entry.dwVolumeType))
            continue;
        entry.Status = CScanResultFile::ReadStatus(path);
        m_Entries.push_back(std::move(entry));
    }
    std::stable_sort(m_Entries.begin(), m_Entries.end(), [](const tagHistoryEntry& a, const tagHistoryEntry& b) {
        return CScanResultFile::TimeKey(a.Time) < CScanResultFile::TimeKey(b.Time);
    });
}

std::vector<std::string> CResumeList::Row(size_t row) const
{
    if (row >= m_Entries.size()) return {};
    const tagHistoryEntry& e = m_Entries[row];
    return {e.strVolume, CGlobalParamTable::ModuleName(static_cast<EModule>(e.dwModule)), DateText(e.Time),
            e.Status.strDevice, VlmString(e.Status.IsPartial() ? IDS_RESULT_PARTIAL : IDS_RESULT_COMPLETE)};
}

std::string CResumeList::DateText(const tagSaveTime& t)
{
    return FormatText("%d-%d-%d %d:%d:%d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
}

int CResumeList::Continue(int row)
{
    if (row < 0 || static_cast<size_t>(row) >= m_Entries.size())
    {
        m_Session.Port().ShowInformation(VlmString(IDS_SELECT_HISTORY));
        return 0;
    }
    return LoadFile(m_Entries[static_cast<size_t>(row)].strPath);
}

int CResumeList::LoadFile(const std::string& path)
{
    if (CScanResultStore(m_Session).Load(path)) return 1;
    m_Session.Port().ShowWarning(VlmString(IDS_RESUME_FAILED));
    return 0;
}
