// The device layer opens what it recovers from for reading only. Root may open a 0444 file
// for writing, so the permission bits prove nothing here; instead the command-line program
// runs under strace and every open of an image path is checked for its mode.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "ReadOnlyImages.h"

namespace {

bool HaveStrace() { return std::system("strace -V >/dev/null 2>&1") == 0; }

// Runs `vlm <args>` under strace; returns the trace lines.
std::vector<std::string> TraceOpens(const std::string& args, const std::string& log)
{
#ifdef VLM_CLI_PATH
    const std::string cmd = "strace -f -qq -e trace=open,openat,openat2,creat,truncate -o '" + log + "' '" +
        std::string(VLM_CLI_PATH) + "' " + args + " >/dev/null 2>&1";
    [[maybe_unused]] const int rc = std::system(cmd.c_str());
#else
    (void)args;
#endif
    std::vector<std::string> lines;
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

} // namespace

TEST(OpenMode, ProgramOpensImagesReadOnly)
{
#ifndef VLM_CLI_PATH
    GTEST_SKIP() << "the command-line program is not part of this build";
#endif
    if (!HaveStrace()) GTEST_SKIP() << "strace is not installed";
    ReadOnlyImages images({"fat12-floppy", "ntfs-reformatted"});
    const std::string common = "--no-machine-devices --image '" + images.Path("fat12-floppy") + "' --image '" +
        images.Path("ntfs-reformatted") + "' ";
    const std::string target = images.Scratch("out");
    const std::vector<std::string> runs = {
        "devices",
        "ls 0",
        "ls 1",
        "ls 2",
        "ls 3",
        "undelete 0 --to '" + target + "-u0'",
        "undelete 1 --to '" + target + "-u1'",
        "recover 0 --to '" + target + "-r0'",
        "recover 1 --to '" + target + "-r1'",
        "scan 0 --save '" + target + "-s0.rrs'",
        "scan 1 --types all --save '" + target + "-s1.rrs'",
    };
    int opens[2] = {0, 0};
    for (size_t r = 0; r < runs.size(); ++r)
    {
        const std::string log = images.Scratch("trace" + std::to_string(r));
        for (const std::string& line : TraceOpens(common + runs[r], log))
            for (int i = 0; i < 2; ++i)
            {
                const std::string quoted = "\"" + images.Path(images.Names()[static_cast<size_t>(i)]) + "\"";
                if (line.find(quoted) == std::string::npos) continue;
                ++opens[i];
                EXPECT_EQ(line.find("O_RDWR"), std::string::npos) << runs[r] << ": " << line;
                EXPECT_EQ(line.find("O_WRONLY"), std::string::npos) << runs[r] << ": " << line;
                EXPECT_EQ(line.find("O_CREAT"), std::string::npos) << runs[r] << ": " << line;
                EXPECT_EQ(line.find("O_TRUNC"), std::string::npos) << runs[r] << ": " << line;
                EXPECT_EQ(line.find("truncate("), std::string::npos) << runs[r] << ": " << line;
            }
    }
    // The check means something only if the program did open both images.
    EXPECT_GT(opens[0], 3);
    EXPECT_GT(opens[1], 3);
    images.ExpectUnchanged();
}
