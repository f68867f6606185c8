// A full scan that ran with a deep scan shows one tree for the suggested file system: its own
// files, plus the deep scan's finds that none of its files holds, under "Extra Found Files".
// On a quick-formatted card whose two old folders were overwritten, recovering that one
// partition gives back every intact file whose entry survived and every file of a type the
// deep scan knows, each exactly once.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>

#include <nlohmann/json.hpp>

#include "CliRunner.h"

using nlohmann::json;

namespace {

// Pictures and PDF documents; plain text too when the text plug-in is built.
bool KnownToTheDeepScan(const std::string& path, bool text)
{
    const std::string ext = std::filesystem::path(path).extension().string();
    return ext == ".JPG" || ext == ".jpg" || ext == ".pdf" || (text && ext == ".txt");
}

} // namespace

TEST(JoinedTreeCli, SuggestedPartitionOfAFullAndDeepScanGivesEveryFileOnce)
{
    CliFixture f;
    const std::filesystem::path bin = std::filesystem::path(VLM_CLI_PATH).parent_path();
    if (!std::filesystem::exists(bin / "vlm_images.api") || !std::filesystem::exists(bin / "vlm_docs.api"))
        GTEST_SKIP() << "picture and document plug-ins not built";
    const bool text = std::filesystem::exists(bin / "vlm_text.api");
    const std::string image = f.Image("fat32-quick-formatted");
    const std::string before = Sha256OfFile(image);
    const std::string result = f.Dir.File("card.rrs");
    CliResult r = f.Run({image}, {"scan", "0", "--deep", "--save", result, "--json"});
    ASSERT_EQ(r.Exit, 0) << r.Err;
    const json partitions = json::parse(r.Out);
    ASSERT_GE(partitions.size(), 2u) << r.Out;
    EXPECT_EQ(partitions[0]["file_system"], "FAT32") << r.Out;
    EXPECT_EQ(partitions[0]["start_sector"], 0) << r.Out;

    const std::string target = f.NewFolder("card");
    r = f.Run({image}, {"recover", result, "--candidate", "1", "--to", target});
    ASSERT_EQ(r.Exit, 0) << r.Err;
    const std::map<std::string, std::string> tree = HashTree(target);
    std::map<std::string, int> copies;
    std::map<std::string, std::string> where;
    for (const auto& [path, sha] : tree)
    {
        ++copies[sha];
        where[sha] = path;
    }
    int expected = 0;
    int extra = 0;
    for (const ManifestFile& e : LoadManifest("fat32-quick-formatted").Files)
    {
        const bool entryKept = e.State == "formatted";
        if (!entryKept && !KnownToTheDeepScan(e.Path, text)) continue;
        ++expected;
        EXPECT_EQ(copies[e.Sha256], 1) << e.Path << " (" << e.State << ")";
        if (!entryKept && copies[e.Sha256] == 1)
        {
            EXPECT_EQ(where[e.Sha256].rfind("Extra Found Files/", 0), 0u) << where[e.Sha256];
            ++extra;
        }
    }
    EXPECT_EQ(expected, text ? 20 : 17);
    EXPECT_EQ(extra, text ? 6 : 3);
    // Nothing else: every deep-scan find of a file the partition lists was left out.
    EXPECT_EQ(tree.size(), static_cast<size_t>(expected));

    // The deep scan's own partition still lists every find, the extra ones included.
    const std::string raw = f.NewFolder("raw");
    r = f.Run({image}, {"recover", result, "--candidate", "2", "--to", raw});
    ASSERT_EQ(r.Exit, 0) << r.Err;
    std::set<std::string> found;
    for (const auto& [path, sha] : HashTree(raw)) found.insert(sha);
    for (const auto& [path, sha] : tree)
    {
        if (path.rfind("Extra Found Files/", 0) == 0)
        {
            EXPECT_EQ(found.count(sha), 1u) << path;
        }
    }
    EXPECT_EQ(Sha256OfFile(image), before);
}
