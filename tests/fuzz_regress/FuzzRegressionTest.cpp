// Every input a fuzzer once crashed or stalled on, replayed through its target: under
// tests/data/fuzz-regressions/<target>/, one file per finding, named after what it broke.
// A replay must finish, and finish quickly: a finding of unbounded work comes back as a slow
// replay before it comes back as a hang.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <string>

#include "FuzzTargets.h"
#include "support/TestFiles.h"

namespace {

namespace fs = std::filesystem;

// Far above any replay's real cost (milliseconds); far below what the findings took.
constexpr double kMaxReplaySeconds = 5.0;

fs::path RegressionFolder() { return SourcePath("tests/data/fuzz-regressions"); }

} // namespace

TEST(FuzzRegression, EverySavedFindingReplaysQuickly)
{
    size_t replayed = 0;
    for (const tagFuzzTarget& target : FuzzTargets())
    {
        const fs::path folder = RegressionFolder() / target.name;
        if (!fs::is_directory(folder)) continue;
        for (const fs::directory_entry& e : fs::directory_iterator(folder))
        {
            if (!e.is_regular_file()) continue;
            const std::vector<uint8_t> input = ReadFileBytes(e.path().string());
            const auto start = std::chrono::steady_clock::now();
            target.run(input.data(), input.size());
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            EXPECT_LT(seconds, kMaxReplaySeconds) << target.name << "/" << e.path().filename().string();
            ++replayed;
        }
    }
    EXPECT_GT(replayed, 0u);
}

TEST(FuzzRegression, EveryFolderNamesATarget)
{
    // A finding filed under a misspelt target would silently never run.
    std::set<std::string> names;
    for (const tagFuzzTarget& target : FuzzTargets()) names.insert(target.name);
    for (const fs::directory_entry& e : fs::directory_iterator(RegressionFolder()))
        EXPECT_TRUE(!e.is_directory() || names.count(e.path().filename().string())) << e.path().filename().string();
}
