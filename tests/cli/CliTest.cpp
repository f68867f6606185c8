// The vlm program end to end on the committed images: what it lists, what it recovers (byte
// for byte against the images' manifests), how it names collisions, what it refuses, and that
// the image it reads is never changed.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <set>

#include <nlohmann/json.hpp>

#include "CliRunner.h"
#include "FailingDisk.h"

using nlohmann::json;

namespace {

// Every manifest entry in `states` must be recovered at its path with its exact bytes.
void ExpectRecovered(const std::map<std::string, std::string>& tree, const std::vector<ManifestFile>& manifest,
                     const std::vector<std::string>& states, const std::string& prefix = "")
{
    int checked = 0;
    for (const ManifestFile& e : manifest)
    {
        if (std::find(states.begin(), states.end(), e.State) == states.end() || e.Path.rfind(prefix, 0) != 0) continue;
        const std::string path = FindRecovered(tree, e.Path.substr(prefix.size()));
        ASSERT_FALSE(path.empty()) << "not recovered: " << e.Path;
        EXPECT_EQ(tree.at(path), e.Sha256) << e.Path;
        ++checked;
    }
    EXPECT_GT(checked, 0);
}

// The results in the resume folder, by file name.
std::set<std::string> ResumeResults(const CliFixture& f)
{
    std::set<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(f.Dir.File("resume"), ec))
        names.insert(e.path().filename().string());
    return names;
}

// The first data sector of sample-disk's FAT32 volume at sector 2048: after its reserved
// sectors and two tables.
uint64_t SampleFat32DataStart(const std::vector<uint8_t>& image)
{
    const uint8_t* boot = image.data() + 2048 * 512;
    const uint64_t reserved = boot[0x0E] | (boot[0x0F] << 8);
    const uint64_t fat = boot[0x24] | (boot[0x25] << 8) | (boot[0x26] << 16) | (uint64_t{boot[0x27]} << 24);
    return 2048 + reserved + boot[0x10] * fat;
}

// "device start" per row of `vlm devices --json`, volumes indented by two spaces.
std::vector<std::string> DeviceRows(const std::string& out)
{
    std::vector<std::string> rows;
    for (const json& row : json::parse(out))
        rows.push_back((row["indented"].get<bool>() ? "  " : "") + row["device"].get<std::string>() + " " +
                       std::to_string(row["start_sector"].get<long long>()));
    return rows;
}

class Cli : public ::testing::Test
{
protected:
    CliFixture F;
};

} // namespace

TEST_F(Cli, DeviceListOrderAndTextsPerModule)
{
    const std::string mbr = F.Image("mbr-basic");
    const std::string fat = F.Image("fat16-nested");
    CliResult r = F.Run({mbr, fat}, {"devices", "--json"});
    ASSERT_EQ(r.Exit, 0) << r.Err;
    json rows = json::parse(r.Out);
    // Advanced layout: each physical device, then the volumes on it, indented.
    const std::vector<std::string> expected = {
        "mbr-basic.img 0",           "  (BASIC-P1,FAT16) 2048",    "  (BASIC-P2,FAT32) 34816",
        "  (BASIC-P3,NTFS) 116736",  "  (LOGICAL-5,FAT12) 135168", "  (LOGICAL-6,FAT16) 145408",
        "  (LOGICAL-7,NTFS) 180224", "fat16-nested.img 0",         "  (NESTED,FAT16) 0"};
    EXPECT_EQ(DeviceRows(r.Out), expected);
    EXPECT_EQ(rows[0]["type"], "Physical Device");
    EXPECT_EQ(rows[1]["type"], "Basic Volume");
    EXPECT_EQ(rows[1]["capacity"], "16.00MB");
    EXPECT_EQ(rows[1]["capacity_bytes"], 16777216);

    // Undelete layout: the volumes first (by drive; none has one here), the physical devices
    // last; no type column.
    r = F.Run({mbr, fat}, {"devices", "--module", "undelete", "--json"});
    ASSERT_EQ(r.Exit, 0) << r.Err;
    std::vector<int> order;
    for (const json& row : json::parse(r.Out)) order.push_back(row["volume"].get<int>());
    EXPECT_EQ(order, (std::vector<int>{2, 3, 4, 5, 6, 7, 8, 0, 1}));
    r = F.Run({mbr, fat}, {"devices", "--module", "undelete"});
    EXPECT_TRUE(Contains(r.Out, "Capacity")) << r.Out;
    EXPECT_FALSE(Contains(r.Out, "Start Sector"));
    r = F.Run({mbr, fat}, {"devices"});
    EXPECT_TRUE(Contains(r.Out, "Start Sector"));
    EXPECT_TRUE(Contains(r.Out, "\n2    (BASIC-P1,FAT16)")) << r.Out;
}

TEST_F(Cli, UndeleteRecoversExactlyTheDeletedFilesAndLeavesTheImageAlone)
{
    for (const std::string name : {"fat16-nested", "ntfs-basic"})
    {
        const std::string image = F.Image(name);
        const std::string before = Sha256OfFile(image);
        const std::string target = F.NewFolder("undelete-" + name);
        const CliResult r = F.Run({image}, {"undelete", "1", "--to", target});
        ASSERT_EQ(r.Exit, 0) << r.Err;
        EXPECT_TRUE(Contains(r.Out, "OK! The selected files are saved to '" + target + "'.")) << r.Out;
        const auto tree = HashTree(target);
        const auto manifest = LoadManifest(name).Files;
        ExpectRecovered(tree, manifest, {"deleted"});
        // Nothing that is still present comes along.
        for (const ManifestFile& e : manifest)
        {
            if (e.State == "present")
            {
                EXPECT_TRUE(FindRecovered(tree, e.Path).empty()) << e.Path;
            }
        }
        EXPECT_EQ(Sha256OfFile(image), before);
    }
}

// A GPT disk: its two partitions are listed from the GPT (not one volume for the protective
// MBR entry), and undelete on each brings back that partition's deleted file byte for byte.
// Disks made by sfdisk, GPT of 512-byte and GPT and MBR of 4096-byte sectors (as "4Kn" drives and
// USB enclosures show them): each partition listed where its table puts it and its deleted file
// undeleted byte for byte; the 4K GPT disk's full scan finds and rebuilds both file systems.
TEST_F(Cli, GptDisksOfBothSectorSizesListedUndeletedAndScanned)
{
    const std::map<std::string, std::vector<std::string>> listings = {
        {"gpt-basic", {"gpt-basic.img 0", "  (GPT-FAT32,FAT32) 2048", "  (GPT-NTFS,NTFS) 83968"}},
        {"gpt-4k", {"gpt-4k.img 0", "  (4K-FAT16,FAT16) 256", "  (4K-NTFS,NTFS) 8448"}},
        // An MBR says nothing of its sector size: the boot sector its first entry points at does.
        {"mbr-4k", {"mbr-4k.img 0", "  (4K-FAT16,FAT16) 256", "  (4K-NTFS,NTFS) 8448"}}};
    for (const auto& [name, listing] : listings)
    {
        SCOPED_TRACE(name);
        const std::string image = F.Image(name);
        const std::string before = Sha256OfFile(image);
        CliResult r = F.Run({image}, {"devices", "--json"});
        ASSERT_EQ(r.Exit, 0) << r.Err;
        std::map<long long, int> volumeAt; // start sector -> volume number
        for (const json& row : json::parse(r.Out))
            if (row["indented"].get<bool>()) volumeAt[row["start_sector"].get<long long>()] = row["volume"].get<int>();
        EXPECT_EQ(DeviceRows(r.Out), listing);

        const ImageManifest manifest = LoadManifest(name);
        ASSERT_EQ(manifest.Partitions.size(), 2u);
        for (const ManifestPartition& p : manifest.Partitions)
        {
            ASSERT_EQ(volumeAt.count(p.Start), 1u) << p.Label;
            const std::string target = F.NewFolder(name + "-undelete-" + p.Label);
            r = F.Run({image}, {"undelete", std::to_string(volumeAt[p.Start]), "--to", target});
            ASSERT_EQ(r.Exit, 0) << r.Err;
            const auto tree = HashTree(target);
            ExpectRecovered(tree, manifest.Files, {"deleted"}, p.Label + "/");
            EXPECT_EQ(tree.size(), 1u) << "only the deleted file of " << p.Label;
        }
        if (name == "gpt-4k")
        {
            const std::string result = F.Dir.File("gpt-4k.rrs");
            r = F.Run({image}, {"scan", "0", "--save", result, "--json"});
            ASSERT_EQ(r.Exit, 0) << r.Err;
            std::map<long long, int> candidateAt;
            for (const json& c : json::parse(r.Out))
                candidateAt[c["start_sector"].get<long long>()] = c["candidate"].get<int>();
            for (const ManifestPartition& p : manifest.Partitions)
            {
                ASSERT_EQ(candidateAt.count(p.Start), 1u) << p.Label;
                const std::string target = F.NewFolder("gpt-4k-scan-" + p.Label);
                r = F.Run({image},
                          {"recover", result, "--candidate", std::to_string(candidateAt[p.Start]), "--to", target});
                ASSERT_EQ(r.Exit, 0) << r.Err;
                ExpectRecovered(HashTree(target), manifest.Files, {"present", "deleted"}, p.Label + "/");
            }
        }
        EXPECT_EQ(Sha256OfFile(image), before);
    }
}

TEST_F(Cli, RecoverWithoutSelectionSavesTheWholeTree)
{
    const std::string image = F.Image("fat16-nested");
    const std::string before = Sha256OfFile(image);
    const std::string target = F.NewFolder("all");
    const CliResult r = F.Run({image}, {"recover", "1", "--to", target});
    ASSERT_EQ(r.Exit, 0) << r.Err;
    ExpectRecovered(HashTree(target), LoadManifest("fat16-nested").Files, {"present", "deleted"});
    EXPECT_EQ(Sha256OfFile(image), before);
}

TEST_F(Cli, SelectionByPatternAndNumberedNamesOnCollisions)
{
    const std::string image = F.Image("fat16-nested");
    const std::string target = F.NewFolder("pick");
    CliResult r = F.Run({image}, {"recover", "1", "--to", target, "Photos/Summer/*"});
    ASSERT_EQ(r.Exit, 0) << r.Err;
    auto tree = HashTree(target);
    EXPECT_EQ(tree.size(), 3u);
    for (const auto& [path, sha] : tree) EXPECT_EQ(path.rfind("Photos/Summer/", 0), 0u) << path;

    // A file saved twice gets name(1).ext; a folder saved twice gets name(1).
    r = F.Run({image}, {"recover", "1", "--to", target, "autoexec.txt"});
    ASSERT_EQ(r.Exit, 0) << r.Err;
    r = F.Run({image}, {"recover", "1", "--to", target, "autoexec.txt"});
    ASSERT_EQ(r.Exit, 0) << r.Err;
    r = F.Run({image}, {"recover", "1", "--to", target, "Photos"});
    ASSERT_EQ(r.Exit, 0) << r.Err;
    tree = HashTree(target);
    ASSERT_TRUE(tree.count("autoexec.txt") && tree.count("autoexec(1).txt"));
    EXPECT_EQ(tree["autoexec.txt"], tree["autoexec(1).txt"]);
    EXPECT_TRUE(tree.count("Photos(1)/Winter/captions.txt"));
    EXPECT_TRUE(tree.count("Photos(1)/Summer/IMG_0001.bin"));

    // A pattern that names nothing saves nothing.
    r = F.Run({image}, {"recover", "1", "--to", target, "no-such-file*"});
    EXPECT_EQ(r.Exit, 1);
    EXPECT_TRUE(Contains(r.Err, "Please select files you like to recover.")) << r.Err;
}

TEST_F(Cli, ListingWithFiltersAndJson)
{
    const std::string image = F.Image("fat16-nested");
    CliResult r = F.Run({image}, {"ls", "1", "--json"});
    ASSERT_EQ(r.Exit, 0) << r.Err;
    json all = json::parse(r.Out);
    int files = 0;
    for (const json& f : all["files"])
    {
        files += f["folder"].get<bool>() ? 0 : 1;
        // Nothing was written after the deletions: the table leaves every file its clusters.
        EXPECT_EQ(f["condition"], f["folder"].get<bool>() ? json(nullptr) : json("intact")) << f["path"];
    }
    EXPECT_EQ(files, 20);
    EXPECT_EQ(all["total_files"], 20);

    r = F.Run({image}, {"ls", "1", "--deleted", "--json"});
    ASSERT_EQ(r.Exit, 0) << r.Err;
    const json listing1 = json::parse(r.Out); // the loop must not outlive the parsed document
    for (const json& f : listing1["files"])
    {
        if (!f["folder"].get<bool>())
        {
            EXPECT_EQ(f["state"], "deleted") << f["path"];
        }
    }

    // A name without stars is looked for anywhere in the name, ignoring case.
    r = F.Run({image}, {"ls", "1", "--name", "REPORT"});
    ASSERT_EQ(r.Exit, 0) << r.Err;
    EXPECT_TRUE(Contains(r.Out, "a______  intact            Projects/2020/Gamma/final report.txt")) << r.Out;
    EXPECT_TRUE(Contains(r.Out, "Total 5.86KB in 1 files.")) << r.Out;

    // Sizes in KB, inclusive: 2-3 KB keeps the 2000..3072-byte files only.
    r = F.Run({image}, {"ls", "1", "--size", "2-3", "--json"});
    ASSERT_EQ(r.Exit, 0) << r.Err;
    const json listing2 = json::parse(r.Out); // the loop must not outlive the parsed document
    for (const json& f : listing2["files"])
    {
        if (!f["folder"].get<bool>())
        {
            EXPECT_GE(f["size"].get<long long>(), 2048);
            EXPECT_LE(f["size"].get<long long>(), 3072);
        }
    }
    r = F.Run({image}, {"ls", "1", "--size", "two-3"});
    EXPECT_EQ(r.Exit, 2);
    EXPECT_TRUE(Contains(r.Err, "Failed to get parameter! Please retry.")) << r.Err;
}

TEST_F(Cli, FullScanResultListedRecoveredAndResumed)
{
    const std::string image = F.Image("mbr-basic");
    const std::string before = Sha256OfFile(image);
    const std::string result = F.Dir.File("mine.rrs");
    CliResult r = F.Run({image}, {"scan", "0", "--save", result, "--json"});
    ASSERT_EQ(r.Exit, 0) << r.Err;
    json partitions = json::parse(r.Out);
    ASSERT_EQ(partitions.size(), 6u);
    int p1 = 0;
    for (const json& p : partitions)
    {
        if (p["label"] == "BASIC-P1" && p["start_sector"] == 2048) p1 = p["candidate"].get<int>();
    }
    ASSERT_GT(p1, 0);

    // The result without a candidate shows its partitions; with one, that partition's files.
    r = F.Run({image}, {"ls", result});
    ASSERT_EQ(r.Exit, 0) << r.Err;
    EXPECT_TRUE(Contains(r.Out, "BASIC-P1")) << r.Out;
    const std::string target = F.NewFolder("p1");
    r = F.Run({image}, {"recover", result, "--to", target});
    EXPECT_EQ(r.Exit, 1);
    EXPECT_TRUE(Contains(r.Err, "Please select a partition to recover.")) << r.Err;
    r = F.Run({image}, {"recover", result, "--candidate", std::to_string(p1), "--to", target});
    ASSERT_EQ(r.Exit, 0) << r.Err;
    ExpectRecovered(HashTree(target), LoadManifest("mbr-basic").Files, {"present", "deleted"}, "p1/");

    // The automatic save lands in the resume folder under a name of its own and is listed
    // there as a complete scan of the image; reading the result or the volume saved nothing.
    r = F.Run({image}, {"resume", "--json"});
    ASSERT_EQ(r.Exit, 0) << r.Err;
    json history = json::parse(r.Out);
    ASSERT_EQ(history.size(), 1u) << r.Out;
    EXPECT_EQ(history[0]["module"], "Advanced Recovery");
    EXPECT_EQ(history[0]["partial"], false);
    const std::string automatic = std::filesystem::path(history[0]["path"].get<std::string>()).filename();
    EXPECT_EQ(automatic.rfind("Advanced Recovery - ", 0), 0u) << automatic;
    EXPECT_TRUE(Contains(history[0]["device"].get<std::string>(), "mbr-basic")) << history[0];
    r = F.Run({image}, {"resume", history[0]["path"].get<std::string>()});
    ASSERT_EQ(r.Exit, 0) << r.Err;
    EXPECT_TRUE(Contains(r.Out, "Partition1")) << r.Out;
    r = F.Run({image}, {"ls", "2"});
    ASSERT_EQ(r.Exit, 0) << r.Err;
    EXPECT_EQ(ResumeResults(F), std::set<std::string>{automatic});

    // A second scan of the same disk is kept beside the first.
    r = F.Run({image}, {"scan", "0"});
    ASSERT_EQ(r.Exit, 0) << r.Err;
    EXPECT_EQ(ResumeResults(F).size(), 2u);
    EXPECT_EQ(Sha256OfFile(image), before);

    // Without the scanned disk attached the result cannot be resumed.
    const std::string other = F.Image("fat16-nested");
    r = F.Run({other}, {"ls", result});
    EXPECT_EQ(r.Exit, 1);
    EXPECT_TRUE(Contains(r.Err, "Failed to resume the last recovery result!")) << r.Err;
}

TEST_F(Cli, ExportListingFormat)
{
    const std::string image = F.Image("fat16-nested");
    const std::string list = F.Dir.File("exported_files_list.txt");
    const CliResult r = F.Run({image}, {"export", "1", list});
    ASSERT_EQ(r.Exit, 0) << r.Err;
    EXPECT_TRUE(Contains(r.Out, "Mission complete!"));
    const std::string text = ReadFileText(list);
    EXPECT_EQ(text.rfind("Directory of ", 0), 0u) << text.substr(0, 200);
    EXPECT_TRUE(Contains(text, "\\Projects\\2021\\Beta\n\n")) << text;
    EXPECT_TRUE(Contains(text, "06/15/2021  09:40         33000  measurements.csv\n")) << text;
    EXPECT_TRUE(Contains(text, "06/15/2021  09:40         <DIR>  Photos\n")) << text;
    // Beta holds three files: the footer counts them and sums their sizes.
    EXPECT_TRUE(Contains(text, "\t\t3 File(s) \t38000 bytes\n\n")) << text;
}

TEST_F(Cli, FindNamesEveryMatchOnce)
{
    const std::string image = F.Image("fat16-nested");
    CliResult r = F.Run({image}, {"find", "1", "captions"});
    ASSERT_EQ(r.Exit, 0) << r.Err;
    EXPECT_TRUE(r.Out == "Photos/Summer/captions.txt\nPhotos/Winter/captions.txt\n" ||
                r.Out == "Photos/Winter/captions.txt\nPhotos/Summer/captions.txt\n")
        << r.Out;
    r = F.Run({image}, {"find", "1", "captions", "--match-word"});
    EXPECT_EQ(r.Exit, 1);
    EXPECT_TRUE(Contains(r.Err, "No files found.")) << r.Err;
}

TEST_F(Cli, UsageAndRefusals)
{
    const std::string image = F.Image("fat16-nested");
    EXPECT_EQ(F.Run({}, {"frobnicate"}).Exit, 2);
    EXPECT_EQ(F.Run({image}, {"undelete", "1"}).Exit, 2); // no --to
    EXPECT_EQ(F.Run({image}, {"ls", "1", "--bogus"}).Exit, 2);
    CliResult r = F.Run({image}, {"ls", "7"});
    EXPECT_EQ(r.Exit, 2);
    EXPECT_TRUE(Contains(r.Err, "no volume numbered '7'")) << r.Err;

    r = F.Run({image}, {"undelete", "1", "--to", F.Dir.File("missing")});
    EXPECT_EQ(r.Exit, 1);
    EXPECT_TRUE(Contains(r.Err, "vlm: The path does not exist. Please choose an existing folder.\n")) << r.Err;
    EXPECT_FALSE(std::filesystem::exists(F.Dir.File("missing")));

    // The whole disk carries no file system of its own: Undelete cannot open it.
    r = F.Run({image}, {"undelete", "0", "--to", F.NewFolder("t")});
    EXPECT_EQ(r.Exit, 1);
    EXPECT_TRUE(Contains(r.Err, "Failed to open volume, please use 'vlm scan VOLUME' instead.")) << r.Err;
    r = F.Run({}, {"devices"});
    EXPECT_EQ(r.Exit, 1);
    EXPECT_TRUE(Contains(r.Err, "Sorry, Vellumar cannot find any attached device!")) << r.Err;
}

TEST_F(Cli, FilesThatCannotBeSavedAreListedWithStatusThree)
{
    const std::string image = F.Image("fat16-nested");
    const std::string target = F.NewFolder("limited");
    // Files may grow to 10 KB only: the two deleted scans (20000 and 21000 bytes) cannot be
    // written, the five others can.
    const CliResult r = F.Run({image}, {"undelete", "1", "--to", target}, "trap '' XFSZ; ulimit -f 20");
    EXPECT_EQ(r.Exit, 3) << r.Err;
    EXPECT_TRUE(Contains(r.Out, "Recovered 5 of 7 files.")) << r.Out;
    EXPECT_FALSE(Contains(r.Out, "OK! The selected files are saved")) << r.Out;
    EXPECT_TRUE(Contains(r.Err, "vlm: 2 of the selected files could not be saved.\n")) << r.Err;
    EXPECT_TRUE(Contains(r.Err, "vlm: Not saved: '" + target + "/Archive/Old letters/Scans/scan 001.txt' (error 223)"))
        << r.Err;
    // The copies cut short by the limit left nothing behind, under no name.
    EXPECT_FALSE(std::filesystem::exists(target + "/Archive/Old letters/Scans/scan 001.txt"));
    for (const auto& e : std::filesystem::recursive_directory_iterator(target))
        EXPECT_EQ(e.path().filename().string().find(".vlm-saving"), std::string::npos) << e.path();
}

TEST_F(Cli, InterruptWithoutTerminalKeepsTheScanUnlessToldNo)
{
    // A large, mostly empty disk: the FAT16 volume at its start, then nothing for 64 GB.
    const std::string image = F.Dir.File("large.img");
    std::filesystem::copy_file(F.Image("fat16-nested"), image);
    std::filesystem::resize_file(image, uint64_t{64} << 30);
    CliResult r = F.Run({image}, {"scan", "0"}, "", 500);
    EXPECT_EQ(r.Exit, 130) << r.Err;
    EXPECT_TRUE(Contains(r.Out, "NESTED")) << r.Out; // what was collected is kept and shown
    // ... saved under its own name, and named and listed as partial.
    const std::set<std::string> saved = ResumeResults(F);
    ASSERT_EQ(saved.size(), 1u);
    const std::string partial = F.Dir.File("resume/" + *saved.begin());
    EXPECT_TRUE(Contains(partial, " (partial).rrs")) << partial;
    r = F.Run({image}, {"resume", "--json"});
    ASSERT_EQ(r.Exit, 0) << r.Err;
    EXPECT_EQ(json::parse(r.Out).at(0)["partial"], true) << r.Out;

    // Asked to save under a name that holds a result already, a cut scan saves beside it.
    const std::string kept = F.Dir.File("kept.rrs");
    std::filesystem::copy_file(partial, kept);
    const std::string before = Sha256OfFile(kept);
    r = F.Run({image}, {"scan", "0", "--save", kept}, "", 500);
    EXPECT_EQ(r.Exit, 130) << r.Err;
    EXPECT_EQ(Sha256OfFile(kept), before);
    EXPECT_TRUE(Contains(r.Out, "Scan result saved to '" + F.Dir.File("kept (partial).rrs") + "'.")) << r.Out;
    EXPECT_TRUE(std::filesystem::exists(F.Dir.File("kept (partial).rrs")));

    const std::set<std::string> before2 = ResumeResults(F);
    r = F.Run({image}, {"--no", "scan", "0"}, "", 500);
    EXPECT_EQ(r.Exit, 130) << r.Err;
    EXPECT_FALSE(Contains(r.Out, "NESTED")) << r.Out;
    EXPECT_EQ(ResumeResults(F), before2);
}

TEST_F(Cli, DeepScanFindsPicturesByContent)
{
    if (!std::filesystem::exists(std::filesystem::path(VLM_CLI_PATH).parent_path() / "vlm_images.api"))
        GTEST_SKIP() << "picture plug-in not built";
    const std::string image = F.Image("sample-disk");
    const std::string before = Sha256OfFile(image);
    CliResult r = F.Run({image}, {"scan", "1", "--deep-only", "--types", "jpg"});
    ASSERT_EQ(r.Exit, 0) << r.Err;
    EXPECT_TRUE(Contains(r.Out, "files found via Deep Scan")) << r.Out;
    // One partition-list entry: no --candidate needed.
    const std::string target = F.NewFolder("deep");
    const std::set<std::string> saved = ResumeResults(F);
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved.begin()->rfind("Deep Scan Recovery - ", 0), 0u) << *saved.begin();
    r = F.Run({image}, {"recover", F.Dir.File("resume/" + *saved.begin()), "--to", target});
    ASSERT_EQ(r.Exit, 0) << r.Err;
    std::multiset<std::string> found;
    for (const auto& [path, sha] : HashTree(target)) found.insert(sha);
    std::multiset<std::string> expected;
    for (const ManifestFile& e : LoadManifest("sample-disk").Files)
    {
        if (e.Path.rfind("p1/DCIM/", 0) == 0 && e.Path.find(".JPG") != std::string::npos) expected.insert(e.Sha256);
    }
    EXPECT_EQ(found, expected);
    EXPECT_EQ(Sha256OfFile(image), before);
}

TEST_F(Cli, CatWritesOneFileExactly)
{
    const std::string image = F.Image("fat16-nested");
    for (const ManifestFile& e : LoadManifest("fat16-nested").Files)
    {
        if (e.Path != "Projects/2021/Beta/measurements.csv") continue;
        const CliResult r = F.Run({image}, {"cat", "1", e.Path});
        ASSERT_EQ(r.Exit, 0) << r.Err;
        EXPECT_EQ(Sha256Hex(reinterpret_cast<const uint8_t*>(r.Out.data()), r.Out.size()), e.Sha256);
        return;
    }
    FAIL() << "manifest entry missing";
}

TEST_F(Cli, AFileOverABadSectorIsSavedAsDamagedWithStatusThree)
{
    const std::string image = F.Image("sample-disk");
    const std::string before = Sha256OfFile(image);
    // The FAT32 volume's first file lies in the first data clusters; one sector of it goes bad.
    FailingDisk disk(image, SampleFat32DataStart(ReadFileBytes(image)) + 200);
    if (disk.Device().empty()) GTEST_SKIP() << "needs root and device-mapper";
    const std::string target = F.NewFolder("out");
    const CliResult r = F.Run({disk.Device()}, {"undelete", "1", "--to", target});
    EXPECT_EQ(r.Exit, 3) << r.Err;
    EXPECT_FALSE(Contains(r.Out, "OK!")) << r.Out;
    EXPECT_TRUE(Contains(r.Out, "of them damaged:")) << r.Out;
    EXPECT_TRUE(Contains(r.Out, "(512 bytes could not be read)")) << r.Out;
    EXPECT_EQ(Sha256OfFile(image), before);
}

TEST_F(Cli, FilesWhoseDataLiesPastTheEndOfACutImageAreSavedAsDamaged)
{
    // An image that stops 200 sectors into the FAT32 volume's data (a copy that was cut short):
    // the deleted photo that runs past the cut is saved, and named as damaged, with status 3.
    const std::string image = F.Image("sample-disk");
    const uint64_t cut = SampleFat32DataStart(ReadFileBytes(image)) + 200;
    std::filesystem::resize_file(image, cut * 512);
    const std::string before = Sha256OfFile(image);
    const std::string target = F.NewFolder("out");
    const CliResult r = F.Run({image}, {"undelete", "1", "--to", target});
    EXPECT_EQ(r.Exit, 3) << r.Err;
    EXPECT_FALSE(Contains(r.Out, "OK!")) << r.Out;
    EXPECT_TRUE(Contains(r.Out, "of them damaged:\n  Damaged: '" + target + "/DCIM/100CAMERA/_MG_0002.JPG' ("))
        << r.Out;
    EXPECT_EQ(std::filesystem::file_size(target + "/DCIM/100CAMERA/_MG_0002.JPG"), 48976u);
    EXPECT_EQ(Sha256OfFile(image), before);
}

TEST_F(Cli, NothingIsEverWrittenOntoTheImageBeingRecovered)
{
    const std::string image = F.Image("sample-disk");
    const std::string before = Sha256OfFile(image);
    const std::string link = F.Dir.File("another-name.img");
    std::filesystem::create_symlink(image, link);
    std::vector<std::string> targets = {image, link};
    // A loop device holding the image is the image too (root only).
    const auto loop = ::geteuid() == 0 ? Shell("losetup -f --show -r " + ShellQuote(image)) : std::nullopt;
    if (loop) targets.push_back(*loop);
    for (const std::string& target : targets)
    {
        CliResult r = F.Run({image}, {"export", "2", target});
        EXPECT_EQ(r.Exit, 1) << target;
        EXPECT_TRUE(Contains(r.Err, "vlm: Nothing is written to '" + target + "'")) << r.Err;
        r = F.Run({image}, {"scan", "2", "--save", target});
        EXPECT_NE(r.Exit, 0) << target;
        EXPECT_TRUE(Contains(r.Err, "vlm: Nothing is written to '" + target + "'")) << r.Err;
        EXPECT_EQ(Sha256OfFile(image), before) << target;
    }
    if (loop) Shell("losetup -d " + *loop);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
}

// A disk partitioned in 4096-byte sectors behind a USB enclosure, then attached directly: the
// block device shows 512-byte sectors, the disk's own MBR and boot sectors count in 4096 (root
// only: a loop device of 512-byte sectors stands for the disk).
TEST_F(Cli, ABlockDeviceShowing512ByteSectorsIsReadInTheSectorsItWasPartitionedIn)
{
    const std::string image = F.Image("mbr-4k");
    const auto loop = ::geteuid() == 0 ? Shell("losetup -f --show -r " + ShellQuote(image)) : std::nullopt;
    if (!loop) GTEST_SKIP() << "attaching a loop device needs root";
    const CliResult r = F.Run({*loop}, {"devices", "--json"});
    Shell("losetup -d " + *loop);
    ASSERT_EQ(r.Exit, 0) << r.Err;
    const std::vector<std::string> rows = DeviceRows(r.Out);
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(std::vector<std::string>(rows.begin() + 1, rows.end()),
              (std::vector<std::string>{"  (4K-FAT16,FAT16) 256", "  (4K-NTFS,NTFS) 8448"}));
}

TEST_F(Cli, TwoScansSavingToOneNameLeaveAResultThatLoads)
{
    const std::string image = F.Image("sample-disk");
    const std::string result = F.Dir.File("both.rrs");
    const std::string done = F.Dir.File("other.done");
    // A second scan saving to the same name runs beside this one.
    const std::string other = ShellQuote(VLM_CLI_PATH) + " --no-machine-devices --image " + ShellQuote(image) +
        " scan 0 --save " + ShellQuote(result) + " </dev/null >/dev/null 2>&1; touch " + ShellQuote(done);
    const CliResult r = F.Run({image}, {"scan", "0", "--save", result}, "(" + other + ") & :");
    EXPECT_EQ(r.Exit, 0) << r.Err;
    for (int i = 0; i < 1200 && !std::filesystem::exists(done); ++i) ::usleep(100000);
    ASSERT_TRUE(std::filesystem::exists(done));
    const CliResult listed = F.Run({image}, {"ls", result, "--candidate", "1"});
    EXPECT_EQ(listed.Exit, 0) << listed.Err;
    EXPECT_TRUE(Contains(listed.Out, "Total ")) << listed.Out;
    for (const auto& e : std::filesystem::directory_iterator(F.Dir.Path()))
        EXPECT_NE(e.path().extension(), ".tmp") << e.path();
}

TEST_F(Cli, MessagesNameTheFileAndTheCommandAndFitTheTerminal)
{
    CliResult r = F.Run({F.Dir.File("no-such.img")}, {"devices"});
    EXPECT_EQ(r.Exit, 1);
    EXPECT_TRUE(Contains(r.Err, "vlm: cannot open the image '" + F.Dir.File("no-such.img") + "': no such file"))
        << r.Err;
    EXPECT_FALSE(Contains(r.Err, "administrator")) << r.Err;

    const std::string tiny = F.Dir.File("tiny.img");
    WriteFileBytes(tiny, std::vector<uint8_t>(100, 0));
    r = F.Run({tiny}, {"devices"});
    EXPECT_EQ(r.Exit, 1);
    EXPECT_TRUE(Contains(r.Err, "vlm: '" + tiny + "' is too small to be a disk image (100 bytes)")) << r.Err;

    const std::string image = F.Image("sample-disk");
    r = F.Run({image}, {"undelete", "abc", "--to", F.NewFolder("t")});
    EXPECT_EQ(r.Exit, 2);
    EXPECT_TRUE(Contains(r.Err, "VOLUME must be a number")) << r.Err;

    // A whole scan: no line of its progress is wider than a terminal's 80 columns, and the
    // counts that matter are on it.
    r = F.Run({image}, {"scan", "0"});
    EXPECT_EQ(r.Exit, 0) << r.Err;
    EXPECT_FALSE(Contains(r.Err, "nan")) << r.Err;
    size_t start = 0;
    bool counted = false;
    while (start < r.Err.size())
    {
        const size_t end = std::min(r.Err.find('\n', start), r.Err.size());
        const std::string line = r.Err.substr(start, end - start);
        if (line.rfind("Scanning", 0) == 0)
        {
            EXPECT_LE(line.size(), 80u) << line;
            counted = counted || Contains(line, "Total Files Found:");
        }
        start = end + 1;
    }
    EXPECT_TRUE(counted) << r.Err;
}

TEST_F(Cli, ControlCharactersInNamesAreShownEscaped)
{
    // The long name "final report.txt" turned into "f" ESC LF U+009B "l report.txt": ESC and
    // the C1 CSI start terminal sequences, LF would fake a line of output.
    const std::string image = F.Image("fat16-nested");
    std::vector<uint8_t> bytes = ReadFileBytes(image);
    const uint8_t part[10] = {'f', 0, 'i', 0, 'n', 0, 'a', 0, 'l', 0};
    size_t at = 0;
    for (size_t off = 0; off + 32 <= bytes.size() && !at; off += 32)
        if (bytes[off + 11] == 0x0F && std::equal(part, part + 10, bytes.begin() + static_cast<ptrdiff_t>(off) + 1))
            at = off;
    ASSERT_NE(at, 0u) << "the long-name entry of final report.txt";
    bytes[at + 3] = 0x1B;
    bytes[at + 5] = 0x0A;
    bytes[at + 7] = 0x9B;
    WriteFileBytes(image, bytes);
    const std::string shown = "Projects/2020/Gamma/f\\e\\n\\u009Bl report.txt";
    auto raw = [](const std::string& text) {
        return Contains(text, "\x1b") || Contains(text, "\xC2\x9B") || Contains(text, "\nl report");
    };

    CliResult r = F.Run({image}, {"ls", "1"});
    ASSERT_EQ(r.Exit, 0) << r.Err;
    EXPECT_TRUE(Contains(r.Out, shown + "\n")) << r.Out;
    EXPECT_FALSE(raw(r.Out));

    r = F.Run({image}, {"find", "1", "report"});
    ASSERT_EQ(r.Exit, 0) << r.Err;
    EXPECT_EQ(r.Out, shown + "\n");

    const std::string to = F.NewFolder("out");
    r = F.Run({image}, {"-v", "recover", "1", "--to", to, "Projects/2020/Gamma/*"});
    ASSERT_EQ(r.Exit, 0) << r.Err;
    EXPECT_TRUE(Contains(r.Out, "f\\e\\n\\u009Bl report.txt\n")) << r.Out;
    EXPECT_FALSE(raw(r.Out) || raw(r.Err)) << r.Out << r.Err;

    // JSON keeps the name whole, in its own escapes.
    r = F.Run({image}, {"ls", "1", "--json"});
    ASSERT_EQ(r.Exit, 0) << r.Err;
    const std::string name = "f\x1b\n\xC2\x9B"
                             "l report.txt";
    const json listing = json::parse(r.Out);
    bool found = false;
    for (const json& f : listing["files"]) found = found || f["name"] == name;
    EXPECT_TRUE(found);
}

// Named streams of ntfs-basic's "streams.txt" (one resident, one not): listed beside the file
// as "file:stream" and marked as streams, saved byte-exact as "file_stream" (no colon in a
// saved name, so the copy can move to any disk).
TEST_F(Cli, NtfsNamedStreamsAreListedAndSavedUnderColonFreeNames)
{
    const std::string image = F.Image("ntfs-basic");
    CliResult r = F.Run({image}, {"ls", "1", "--json", "--name", "streams.txt*"});
    ASSERT_EQ(r.Exit, 0) << r.Err;
    const json listing = json::parse(r.Out);
    std::map<std::string, bool> listed;
    for (const json& f : listing["files"]) listed[f["path"].get<std::string>()] = f.value("stream", false);
    const std::map<std::string, bool> expected = {
        {"streams.txt", false}, {"streams.txt:Zone.Identifier", true}, {"streams.txt:thumbnail", true}};
    EXPECT_EQ(listed, expected) << r.Out;

    const std::string target = F.NewFolder("streams");
    r = F.Run({image}, {"recover", "1", "--to", target, "streams.txt*"});
    ASSERT_EQ(r.Exit, 0) << r.Err;
    const auto tree = HashTree(target);
    int streams = 0;
    for (const ManifestFile& e : LoadManifest("ntfs-basic").Files)
    {
        if (e.Path.rfind("streams.txt:", 0) != 0) continue;
        std::string saved = e.Path;
        saved[saved.find(':')] = '_';
        ASSERT_TRUE(tree.count(saved)) << saved;
        EXPECT_EQ(tree.at(saved), e.Sha256) << saved;
        ++streams;
    }
    EXPECT_EQ(streams, 2);
    EXPECT_EQ(tree.size(), 3u);
}
