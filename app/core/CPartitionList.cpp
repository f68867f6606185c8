#include "core/CPartitionList.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <limits>

#include "base/FormatSize.h"
#include "base/VlmErrors.h"
#include "core/CGlobalParamTable.h"
#include "core/SourceGuard.h"
#include "core/CRecoveryLauncher.h"
#include "core/CScanResultStore.h"
#include "core/TextFormat.h"
#include "core/VlmStrings.h"
#include "format/FileSystemType.h"
#include "volume/IVolumeIO.h"
#include "volume/VolumeTypes.h"

namespace {

void SortByScore(std::vector<tagCandidateEntry>* entries)
{
    std::stable_sort(entries->begin(), entries->end(), [](const tagCandidateEntry& a, const tagCandidateEntry& b) {
        return a.Candidate.dwScore > b.Candidate.dwScore;
    });
}

bool IsRaw(const FileSystemCandidate& c) { return c.dwType == static_cast<uint32_t>(FS_TYPE_RAW); }

} // namespace

std::vector<std::string> CPartitionList::Headers()
{
    return {VlmString(IDS_COL_PARTITION),    VlmString(IDS_COL_FILE_SYSTEM), VlmString(IDS_COL_LABEL),
            VlmString(IDS_COL_START_SECTOR), VlmString(IDS_COL_SIZE),        VlmString(IDS_COL_SUGGESTED),
            VlmString(IDS_COL_FILES_MATCH),  VlmString(IDS_COL_FOLDER_MATCH)};
}

void CPartitionList::Fill()
{
    m_Entries.clear();
    KFileSystemMgr& manager = m_Session.FileSystemMgr();
    for (int f = 0; f < manager.GetCount(); ++f)
    {
        IFileSystem* fs = manager.GetAt(f);
        uint32_t count = 0;
        fs->GetCandidateCount(&count);
        for (uint32_t i = 0; i < count && i <= static_cast<uint32_t>(std::numeric_limits<int>::max()); ++i)
        {
            tagCandidateEntry entry;
            entry.pFs = fs;
            entry.nIndex = static_cast<int>(i);
            if (fs->GetCandidate(entry.nIndex, &entry.Candidate)) m_Entries.push_back(entry);
        }
    }
    Rank(&m_Entries, m_Session.GetModule());
}

void CPartitionList::Rank(std::vector<tagCandidateEntry>* entries, EModule module)
{
    SortByScore(entries);
    if (module != EModule::Advanced || entries->size() <= 5) return;
    const int64_t t = static_cast<int64_t>((*entries)[5].Candidate.dwScore) - 1;
    if (t <= 0) return;
    for (tagCandidateEntry& e : *entries)
    {
        if (!IsRaw(e.Candidate)) continue;
        e.Candidate.dwScore = static_cast<uint32_t>(t);
        SortByScore(entries);
        return;
    }
}

std::string CPartitionList::RelativeScore(uint32_t score, uint32_t best)
{
    if (best == 0) return {};
    uint64_t relative = uint64_t(score) * 100 / best;
    if (relative == 100) relative = 99;
    char text[32];
    std::snprintf(text, sizeof(text), "%d%%", static_cast<int>(std::min<uint64_t>(relative, 1000000)));
    return text;
}

std::vector<tagPartitionRow> CPartitionList::Rows()
{
    uint32_t bytesPerSector = 512;
    tagDiskGeometry geometry{};
    IVolumeIO* volume = m_Session.GetSelectedVolume();
    if (volume && volume->GetGeometry(&geometry) == ERROR_SUCCESS && geometry.BytesPerSector > 0)
        bytesPerSector = geometry.BytesPerSector;
    std::vector<tagPartitionRow> rows;
    const uint32_t best = m_Entries.empty() ? 0 : m_Entries.front().Candidate.dwScore;
    char text[64];
    for (size_t i = 0; i < m_Entries.size(); ++i)
    {
        const FileSystemCandidate& c = m_Entries[i].Candidate;
        tagPartitionRow row;
        row.bRaw = IsRaw(c);
        std::snprintf(text, sizeof(text), VlmString(IDS_PARTITION_ROW), static_cast<int>(i + 1));
        row.Columns[0] = text;
        if (row.bRaw)
            row.Columns[1] = VlmString(IDS_RAW);
        else
            FileSystemTypeName(static_cast<int>(c.dwType), &row.Columns[1]);
        row.Columns[2].assign(c.szLabel, strnlen(c.szLabel, sizeof(c.szLabel)));
        std::snprintf(text, sizeof(text), "%" PRId64, c.s64FirstSector);
        row.Columns[3] = text;
        row.Columns[4] = FormatSectorsSize(c.s64SectorCount, bytesPerSector);
        if (!row.bRaw) row.Columns[5] = RelativeScore(c.dwScore, best);
        row.Columns[6] = std::to_string(static_cast<int32_t>(c.dwFilesMatch));
        row.Columns[7] = std::to_string(static_cast<int32_t>(c.dwFolderMatch));
        rows.push_back(std::move(row));
    }
    return rows;
}

int CPartitionList::ShowFiles(int row)
{
    if (row < 0 || static_cast<size_t>(row) >= m_Entries.size())
    {
        m_Session.Port().ShowInformation(VlmString(IDS_SELECT_PARTITION));
        return 0;
    }
    const tagCandidateEntry& entry = m_Entries[static_cast<size_t>(row)];
    m_Session.SetCurrentFileSystem(entry.pFs);
    entry.pFs->SetVolume(m_Session.GetSelectedVolume());
    CRecoveryLauncher::RunLoadPhases(m_Session, entry.pFs, static_cast<uint32_t>(entry.nIndex));
    m_Session.SetView(EView::Files);
    CScanResultStore(m_Session).AutoSave();
    return 1;
}

bool CPartitionList::SaveAs(const std::string& path)
{
    if (path.empty())
    {
        m_Session.Port().ShowError(VlmString(IDS_PATH_EMPTY));
        return false;
    }
    if (const std::string source = CSourceGuard::SourceUnder(m_Session, path); !source.empty())
    {
        m_Session.Port().ShowError(CSourceGuard::RefusalText(path, source));
        return false;
    }
    if (CScanResultStore(m_Session).Save(path)) return true;
    m_Session.Port().ShowError(FormatText(VlmString(IDS_SAVE_RESULT_FAILED), path.c_str()));
    return false;
}
