// vlm image end to end: a healthy source copied whole; a run cut short (the target may grow no
// further) continued by GNU ddrescue from vlm's map, and a ddrescue run cut short continued by
// vlm from ddrescue's map, each ending in an exact copy; a failing disk (device-mapper, root
// only) imaged with exactly its bad sectors in the map, and a file over them damaged when the
// image is read with that map. The source is never written; a target on it is refused.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "CliRunner.h"
#include "FailingDisk.h"

namespace {

class ImageCommand : public ::testing::Test
{
protected:
    CliFixture F;
};

} // namespace

TEST_F(ImageCommand, CopiesWholeAndContinuesAndIsContinuedByGnuDdrescue)
{
    const std::string source = F.Image("sample-disk");
    const std::string sha = Sha256OfFile(source);
    const std::string dir = F.NewFolder("out");

    // A healthy source: an exact copy, sparse where the source is zeros, a finished map.
    CliResult r = F.Run({}, {"image", source, "--to", dir + "/whole.img", "--map", dir + "/whole.map"});
    ASSERT_EQ(r.Exit, 0) << r.Err;
    EXPECT_TRUE(Contains(r.Out, "OK!")) << r.Out;
    EXPECT_EQ(Sha256OfFile(dir + "/whole.img"), sha);
    struct stat st
    {};
    ASSERT_EQ(::stat((dir + "/whole.img").c_str(), &st), 0);
    EXPECT_LT(uint64_t(st.st_blocks) * 512, uint64_t(st.st_size) / 2); // mostly holes
    const std::string map = ReadFileText(dir + "/whole.map");
    EXPECT_TRUE(Contains(map, "\n0x00000000  0x04D00000  +\n")) << map;

    if (!Shell("command -v ddrescue")) GTEST_SKIP() << "needs GNU ddrescue (gddrescue)";
    // vlm stops when the target may grow no further (10 MiB); ddrescue finishes from vlm's map.
    r = F.Run({}, {"image", source, "--to", dir + "/a.img", "--map", dir + "/a.map"}, "trap '' XFSZ; ulimit -f 10240");
    EXPECT_EQ(r.Exit, 1) << r.Err;
    ASSERT_TRUE(Contains(ReadFileText(dir + "/a.map"), " ?\n")) << ReadFileText(dir + "/a.map");
    ASSERT_TRUE(Shell("ddrescue -q '" + source + "' '" + dir + "/a.img' '" + dir + "/a.map'"));
    EXPECT_EQ(Sha256OfFile(dir + "/a.img"), sha);

    // ddrescue copies the first 20 MiB only; vlm continues from ddrescue's map.
    ASSERT_TRUE(Shell("ddrescue -q -s 20MiB '" + source + "' '" + dir + "/b.img' '" + dir + "/b.map'"));
    r = F.Run({}, {"image", source, "--to", dir + "/b.img", "--map", dir + "/b.map"});
    ASSERT_EQ(r.Exit, 0) << r.Err;
    EXPECT_EQ(Sha256OfFile(dir + "/b.img"), sha);
    // ddrescue reads the finished map and finds nothing left to do.
    EXPECT_TRUE(Shell("ddrescue -q '" + source + "' '" + dir + "/b.img' '" + dir + "/b.map'"));
    EXPECT_EQ(Sha256OfFile(dir + "/b.img"), sha);

    // Refusals: the target is the source, a target exists without its map.
    r = F.Run({}, {"image", source, "--to", source});
    EXPECT_EQ(r.Exit, 1);
    EXPECT_TRUE(Contains(r.Err, "Nothing is written to")) << r.Err;
    r = F.Run({}, {"image", source, "--to", dir + "/whole.img"});
    EXPECT_EQ(r.Exit, 1);
    EXPECT_TRUE(Contains(r.Err, "exists")) << r.Err;
    EXPECT_EQ(Sha256OfFile(source), sha);
}

TEST_F(ImageCommand, AFailingDiskIsImagedWithExactlyItsBadSectorsMapped)
{
    const std::string source = F.Image("sample-disk");
    const std::string sha = Sha256OfFile(source);
    // The FAT32 volume's data starts a little after sector 2048 + reserved + FATs; sectors deep
    // in it and one lone sector fail.
    const std::vector<uint64_t> bad = {20000, 20001, 20002, 60000};
    FailingDisk disk(source, bad);
    if (disk.Device().empty()) GTEST_SKIP() << "needs root and device-mapper";
    const std::string dir = F.NewFolder("out");
    CliResult r = F.Run({}, {"image", disk.Device(), "--to", dir + "/d.img", "--map", dir + "/d.map"});
    EXPECT_EQ(r.Exit, 3) << r.Err;
    const std::string map = ReadFileText(dir + "/d.map");
    EXPECT_TRUE(Contains(map, "0x009C4000  0x00000600  -\n")) << map;
    EXPECT_TRUE(Contains(map, "0x01D4C000  0x00000200  -\n")) << map;
    // ddrescue retries the bad sectors from vlm's map and agrees.
    if (Shell("command -v ddrescue"))
    {
        EXPECT_TRUE(Shell("ddrescue -q -r1 '" + disk.Device() + "' '" + dir + "/d.img' '" + dir + "/d.map'"));
        EXPECT_EQ(ReadFileText(dir + "/d.map").find(" ?\n"), std::string::npos);
    }
    // Read with its map, the image gives the same verdict as the failing disk itself: the same
    // exit status and the same number of damaged files.
    auto damaged = [](const std::string& out) {
        size_t n = 0;
        for (size_t at = out.find("Damaged: "); at != std::string::npos; at = out.find("Damaged: ", at + 1)) ++n;
        return n;
    };
    const CliResult fromDisk = F.Run({disk.Device()}, {"undelete", "1", "--to", F.NewFolder("disk")});
    r = F.Run({dir + "/d.img"}, {"--map", dir + "/d.map", "undelete", "1", "--to", F.NewFolder("u")});
    EXPECT_EQ(r.Exit, fromDisk.Exit) << r.Err;
    EXPECT_EQ(damaged(r.Out), damaged(fromDisk.Out)) << r.Out << fromDisk.Out;
    EXPECT_EQ(Sha256OfFile(source), sha);
}
