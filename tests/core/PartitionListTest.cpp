// Ranking of the partition list: the sort by score, the Advanced Recovery re-scoring of the
// deep-scan candidate, and the relative scores shown.
#include <gtest/gtest.h>

#include <cstring>

#include "core/CGlobalParamTable.h"
#include "core/CPartitionList.h"

namespace {

tagCandidateEntry Entry(uint32_t type, uint32_t score, int index)
{
    tagCandidateEntry e;
    e.nIndex = index;
    e.Candidate.dwType = type;
    e.Candidate.dwScore = score;
    return e;
}

std::vector<int> Order(const std::vector<tagCandidateEntry>& entries)
{
    std::vector<int> out;
    for (const tagCandidateEntry& e : entries) out.push_back(e.nIndex);
    return out;
}

TEST(PartitionRanking, DeepScanCandidateMovesBehindTheBestInAdvancedRecoveryOnly)
{
    // Eight FAT/NTFS candidates 100, 90, ..., 30 (indices 1..8) and the deep scan's with the
    // highest score (index 0).
    std::vector<tagCandidateEntry> entries{Entry(0, 1000, 0)};
    for (int i = 1; i <= 8; ++i) entries.push_back(Entry(i % 2 ? 7u : 11u, static_cast<uint32_t>(110 - 10 * i), i));
    std::vector<tagCandidateEntry> advanced = entries;
    CPartitionList::Rank(&advanced, EModule::Advanced);
    // The sixth entry of the first sort scored 60: the deep scan gets 59 and lands behind every
    // entry that scored at least 60.
    EXPECT_EQ(Order(advanced), (std::vector<int>{1, 2, 3, 4, 5, 0, 6, 7, 8}));
    EXPECT_EQ(advanced[5].Candidate.dwScore, 59u);

    for (EModule module : {EModule::Undelete, EModule::DeepScan})
    {
        std::vector<tagCandidateEntry> other = entries;
        CPartitionList::Rank(&other, module);
        EXPECT_EQ(Order(other), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
        EXPECT_EQ(other[0].Candidate.dwScore, 1000u);
    }

    // A deep-scan candidate already low in the list is raised just behind the sixth.
    std::vector<tagCandidateEntry> low = entries;
    low[0].Candidate.dwScore = 1;
    CPartitionList::Rank(&low, EModule::Advanced);
    EXPECT_EQ(Order(low), (std::vector<int>{1, 2, 3, 4, 5, 6, 0, 7, 8}));

    // No re-scoring with five entries, nor when the sixth scored 1 or less.
    std::vector<tagCandidateEntry> six{Entry(0, 500, 0), Entry(7, 40, 1), Entry(7, 30, 2),
                                       Entry(7, 20, 3),  Entry(7, 10, 4), Entry(7, 1, 5)};
    CPartitionList::Rank(&six, EModule::Advanced);
    EXPECT_EQ(Order(six), (std::vector<int>{0, 1, 2, 3, 4, 5}));
    six.pop_back();
    CPartitionList::Rank(&six, EModule::Advanced);
    EXPECT_EQ(Order(six), (std::vector<int>{0, 1, 2, 3, 4}));
}

TEST(PartitionRanking, RelativeScores)
{
    EXPECT_EQ(CPartitionList::RelativeScore(80, 80), "99%"); // the best (or a single) row
    EXPECT_EQ(CPartitionList::RelativeScore(1, 3), "33%");
    EXPECT_EQ(CPartitionList::RelativeScore(0xFFFFFFFF, 0xFFFFFFFF), "99%");
    EXPECT_EQ(CPartitionList::RelativeScore(5, 0), ""); // nothing to compare with
}

} // namespace
