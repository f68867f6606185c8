// Disk images in containers and rescue maps, end to end: the sample disk converted by the
// formats' own tools (qemu-img, ewfacquire, split) gives, volume by volume, exactly the files the
// raw image gives; a rescue map's unrescued sectors make the files over them damaged; hostile
// container headers are refused with a message, not a crash. Nothing read is ever changed.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "CliRunner.h"

namespace {

bool Succeeds(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// The deleted files of both volumes of the sample disk, undeleted from `image`.
std::map<std::string, std::string> UndeleteBoth(CliFixture& f, const std::string& image, const std::string& name,
                                                const std::vector<std::string>& before = {})
{
    std::map<std::string, std::string> all;
    for (const char* volume : {"1", "2"})
    {
        const std::string target = f.NewFolder(name + "-" + volume);
        std::vector<std::string> args = before;
        args.insert(args.end(), {"undelete", volume, "--to", target});
        const CliResult r = f.Run({image}, args);
        EXPECT_EQ(r.Exit, 0) << name << ": " << r.Err;
        for (const auto& [path, sha] : HashTree(target)) all[std::string(volume) + "/" + path] = sha;
    }
    return all;
}

// The first sector of the sample disk's FAT32 data area (cluster 2).
uint64_t FatDataStart(const std::string& image)
{
    const std::vector<uint8_t> all = ReadFileBytes(image);
    const uint8_t* boot = all.data() + 2048 * 512;
    const uint64_t reserved = boot[0x0E] | (boot[0x0F] << 8);
    const uint64_t fat = boot[0x24] | (boot[0x25] << 8) | (boot[0x26] << 16) | (uint64_t{boot[0x27]} << 24);
    return 2048 + reserved + boot[0x10] * fat;
}

class ImageContainers : public ::testing::Test
{
protected:
    CliFixture F;
};

} // namespace

TEST_F(ImageContainers, EveryFormatUndeletesTheSameFilesAsTheRawImage)
{
    if (!Succeeds("command -v qemu-img") || !Succeeds("command -v ewfacquire"))
        GTEST_SKIP() << "needs qemu-img (qemu-utils) and ewfacquire (ewf-tools)";
    const std::string raw = F.Image("sample-disk");
    const std::string rawSha = Sha256OfFile(raw);
    const auto expected = UndeleteBoth(F, raw, "raw");
    // Every deleted file of the manifest, nothing else.
    size_t deleted = 0;
    for (const ManifestFile& e : LoadManifest("sample-disk").Files) deleted += e.State == "deleted";
    ASSERT_EQ(expected.size(), deleted);

    const std::string dir = F.NewFolder("containers");
    struct Made
    {
        std::string Name;
        std::string Path;
        std::string Command;
    };
    const std::vector<Made> made = {
        {"vhd", dir + "/disk.vhd", "qemu-img convert -f raw -O vpc '" + raw + "' '" + dir + "/disk.vhd'"},
        {"vhd-fixed", dir + "/fixed.vhd",
         "qemu-img convert -f raw -O vpc -o subformat=fixed '" + raw + "' '" + dir + "/fixed.vhd'"},
        {"vhdx", dir + "/disk.vhdx", "qemu-img convert -f raw -O vhdx '" + raw + "' '" + dir + "/disk.vhdx'"},
        {"vmdk", dir + "/disk.vmdk", "qemu-img convert -f raw -O vmdk '" + raw + "' '" + dir + "/disk.vmdk'"},
        {"qcow2", dir + "/disk.qcow2", "qemu-img convert -f raw -O qcow2 '" + raw + "' '" + dir + "/disk.qcow2'"},
        // Segments of 1 MiB: the image spans several files (disk.E01, disk.E02, ...).
        {"e01", dir + "/disk.E01",
         "ewfacquire -u -t '" + dir + "/disk' -f encase6 -c deflate:fast -S 1MiB '" + raw + "'"},
        {"split", dir + "/disk.001", "split -b 30M -d -a 3 --numeric-suffixes=1 '" + raw + "' '" + dir + "/disk.'"},
    };
    for (const Made& m : made)
    {
        ASSERT_TRUE(Succeeds(m.Command)) << m.Command;
        const std::string sha = Sha256OfFile(m.Path);
        EXPECT_EQ(UndeleteBoth(F, m.Path, m.Name), expected) << m.Name;
        EXPECT_EQ(Sha256OfFile(m.Path), sha) << m.Name;
    }
    EXPECT_TRUE(std::filesystem::exists(dir + "/disk.E02"));
    // Nothing is saved onto a later part of a split image.
    const CliResult r = F.Run({dir + "/disk.001"}, {"export", "2", dir + "/disk.002"});
    EXPECT_EQ(r.Exit, 1);
    EXPECT_TRUE(Contains(r.Err, "Nothing is written to")) << r.Err;
    EXPECT_EQ(Sha256OfFile(raw), rawSha);
}

TEST_F(ImageContainers, HostileContainerHeadersAreRefusedWithAReason)
{
    // The magic of each container, then junk where its header fields belong.
    std::vector<uint8_t> junk(1 << 20);
    for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
    const std::vector<std::pair<std::string, std::string>> heads = {
        {"e01.E01", std::string("EVF\x09\x0d\x0a\xff\x00", 8)},
        {"x.vhdx", "vhdxfile"},
        {"x.vmdk", "KDMV"},
        {"x.qcow2", "QFI\xfb"},
        {"d.vmdk", "# Disk DescriptorFile\nRW 99999999999 SPARSE \"/etc/passwd\"\n"},
    };
    for (const auto& [name, magic] : heads)
    {
        std::vector<uint8_t> bytes = junk;
        std::copy(magic.begin(), magic.end(), bytes.begin());
        const std::string path = F.Dir.File(name);
        WriteFileBytes(path, bytes);
        const CliResult r = F.Run({path}, {"devices"});
        EXPECT_EQ(r.Exit, 1) << name << r.Out;
        EXPECT_TRUE(Contains(r.Err, "cannot open the image '" + path + "'")) << name << r.Err;
    }
    // A VHD footer at the end of junk.
    std::vector<uint8_t> bytes = junk;
    const std::string conectix = "conectix";
    std::copy(conectix.begin(), conectix.end(), bytes.end() - 512);
    WriteFileBytes(F.Dir.File("footer.vhd"), bytes);
    EXPECT_EQ(F.Run({F.Dir.File("footer.vhd")}, {"devices"}).Exit, 1);
}

TEST_F(ImageContainers, UnrescuedSectorsOfAMapMakeTheFilesOverThemDamaged)
{
    const std::string image = F.Image("sample-disk");
    const std::string before = Sha256OfFile(image);
    const uint64_t bad = FatDataStart(image) + 200;
    const uint64_t size = std::filesystem::file_size(image);
    const std::string map = F.Dir.File("disk.map");
    {
        std::ofstream out(map);
        out << "# a map as an imaging run leaves it\n0x0 + 1\n"
            << "0 " << bad * 512 << " +\n"
            << bad * 512 << " 512 -\n"
            << (bad + 1) * 512 << " " << size - (bad + 1) * 512 << " +\n";
    }
    const std::string target = F.NewFolder("out");
    CliResult r = F.Run({image}, {"--map", map, "undelete", "1", "--to", target});
    EXPECT_EQ(r.Exit, 3) << r.Err;
    EXPECT_TRUE(Contains(r.Out, "of them damaged:")) << r.Out;
    EXPECT_TRUE(Contains(r.Out, "(512 bytes could not be read)")) << r.Out;
    // The same image through the same map, all rescued: nothing damaged.
    {
        std::ofstream out(map);
        out << "0 +\n0 " << size << " +\n";
    }
    r = F.Run({image}, {"--map", map, "undelete", "1", "--to", F.NewFolder("clean")});
    EXPECT_EQ(r.Exit, 0) << r.Err;
    // A map that is not one is refused with its line.
    {
        std::ofstream out(map);
        out << "0 +\n0 512 +\n256 512 +\n";
    }
    r = F.Run({image}, {"--map", map, "devices"});
    EXPECT_EQ(r.Exit, 1);
    EXPECT_TRUE(Contains(r.Err, "line 3: block overlaps the one before")) << r.Err;
    EXPECT_EQ(Sha256OfFile(image), before);
}
