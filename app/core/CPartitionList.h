#pragma once
// The partition list shown after a full or deep scan: every candidate of every file system of
// the session, ranked by score so that the most plausible partition comes first.
#include <cstdint>
#include <string>
#include <vector>

#include "core/RecoveryModule.h"
#include "fs/IFileSystem.h"

class CGlobalParamTable;

struct tagCandidateEntry
{
    IFileSystem* pFs = nullptr; // the file system that reported it (owned by the session)
    int nIndex = 0;             // its index within that file system
    FileSystemCandidate Candidate{};
};

struct tagPartitionRow
{
    static constexpr int kColumns = 8;
    // "Partition%d", file system, label, start sector, size, relative score, files match,
    // folder match.
    std::string Columns[kColumns];
    bool bRaw = false; // the deep scan's row (drawn apart, no relative score)
};

class CPartitionList
{
public:
    explicit CPartitionList(CGlobalParamTable& session) : m_Session(session) {}

    /// Collects the candidates of every file system in the session's order and ranks them.
    /// The entries point at the session's file systems: fill again whenever the page is shown.
    void Fill();
    const std::vector<tagCandidateEntry>& Entries() const { return m_Entries; }
    /// One row per entry in rank order; sizes use the selected volume's sector size.
    std::vector<tagPartitionRow> Rows();
    static std::vector<std::string> Headers();

    /// Sorts by score, highest first. In Advanced Recovery with more than five entries, the
    /// deep-scan candidate is then given a score just below the sixth entry's and the list is
    /// sorted again, so that the file systems that matched best stay ahead of it.
    static void Rank(std::vector<tagCandidateEntry>* entries, EModule module);
    /// 100 * score / best, shown as "%d%%" with 100 shown as 99; empty when best is 0.
    static std::string RelativeScore(uint32_t score, uint32_t best);

    /// "&Show Files" for row `row` (-1: none selected). Non-zero when the file list was reached.
    int ShowFiles(int row);
    /// "Save s&can result" to `path`; tells the user when the path is empty or the save failed.
    bool SaveAs(const std::string& path);

private:
    CGlobalParamTable& m_Session;
    std::vector<tagCandidateEntry> m_Entries;
};
