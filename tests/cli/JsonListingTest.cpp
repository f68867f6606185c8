// The JSON listings of `vlm ls --json` and `vlm find --json` on images whose names need
// escaping (quotes, backslashes, '|', '*', '?') or are not ASCII: valid JSON to an outside
// parser, every file of the manifest with its size, and find's entries the same as ls's.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <nlohmann/json.hpp>

#include "cli/CliRunner.h"
#include "support/TestFiles.h"
#include "support/TestImages.h"

using nlohmann::json;

TEST(CliJson, ListingsAreValidJsonAndNameEveryFile)
{
    CliFixture f;
    for (const std::string name : {"ntfs-names", "ntfs-basic"})
    {
        SCOPED_TRACE(name);
        const std::string image = f.Image(name);
        CliResult r = f.Run({image}, {"ls", "1", "--json"});
        ASSERT_EQ(r.Exit, 0) << r.Err;
        const std::string saved = f.Dir.File(name + ".json");
        WriteFileBytes(saved, std::vector<uint8_t>(r.Out.begin(), r.Out.end()));
        EXPECT_EQ(std::system(("python3 -m json.tool " + ShellQuote(saved) + " >/dev/null").c_str()), 0);

        const json listing = json::parse(r.Out);
        std::map<std::string, json> byPath;
        int files = 0;
        for (const json& e : listing["files"])
        {
            byPath[e["path"].get<std::string>()] = e;
            files += e["folder"].get<bool>() ? 0 : 1;
        }
        int checked = 0;
        for (const ManifestFile& m : LoadManifest(name).Files)
        {
            if (m.State != "present" && m.State != "deleted") continue;
            ASSERT_TRUE(byPath.count(m.Path)) << m.Path;
            EXPECT_EQ(byPath[m.Path]["size"], m.Size) << m.Path;
            EXPECT_EQ(byPath[m.Path]["state"], m.State) << m.Path;
            ++checked;
        }
        EXPECT_GT(checked, 5);
        EXPECT_EQ(listing["total_files"], files);

        // Every ".txt" that find names in text it also names in JSON, with ls's own entry.
        r = f.Run({image}, {"find", "1", "*.txt"});
        ASSERT_EQ(r.Exit, 0) << r.Err;
        const std::string text = r.Out;
        r = f.Run({image}, {"find", "1", "*.txt", "--json"});
        ASSERT_EQ(r.Exit, 0) << r.Err;
        const json found = json::parse(r.Out);
        std::string paths;
        int64_t bytes = 0;
        for (const json& e : found["files"])
        {
            const std::string path = e["path"].get<std::string>();
            paths += path + "\n";
            bytes += e["size"].get<int64_t>();
            EXPECT_EQ(e, byPath[path]) << path;
        }
        if (name == "ntfs-basic") // the other image's names are shown escaped in text
        {
            EXPECT_EQ(paths, text);
        }
        EXPECT_EQ(found["total_files"], found["files"].size());
        EXPECT_EQ(found["total_bytes"], bytes);
        EXPECT_GT(found["files"].size(), 3u);
    }
    // No match: exit status 1 and the message on standard error, still a whole (empty) listing.
    const CliResult none = f.Run({f.Image("ntfs-names")}, {"find", "1", "no such name", "--json"});
    EXPECT_EQ(none.Exit, 1);
    EXPECT_EQ(json::parse(none.Out)["files"].size(), 0u) << none.Out;
}
