// The buffered scan-result file: round trips across the buffer, read-only opening and
// failing writes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "fs/KFileNode.h"
#include "storage/KStorageManager.h"
#include "support/TestFiles.h"

namespace {
// Access mode of the descriptor this process holds on `path`, or -1 when none is open.
int OpenModeOf(const std::string& path)
{
    const auto target = std::filesystem::canonical(path);
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
    {
        std::error_code ec;
        if (std::filesystem::read_symlink(entry.path(), ec) == target)
            return fcntl(std::stoi(entry.path().filename().string()), F_GETFL) & O_ACCMODE;
    }
    return -1;
}
} // namespace

TEST(StorageManager, RoundTripAcrossTheBufferInOddPieces)
{
    TempDir dir;
    const std::string path = dir.File("result.rrs");
    const auto data = PatternBytes(KStorageManager::kBufferSize * 2 + 12345, 3);
    {
        KStorageManager out;
        ASSERT_EQ(out.Open(path, true), 1);
        size_t at = 0;
        for (int piece = 1; at < data.size(); piece = piece * 7 % 100003 + 1)
        {
            const int n = static_cast<int>(std::min<size_t>(static_cast<size_t>(piece), data.size() - at));
            int done = 0;
            ASSERT_EQ(out.Write(data.data() + at, n, &done), 1);
            ASSERT_EQ(done, n);
            at += static_cast<size_t>(n);
        }
        int done = -1;
        EXPECT_EQ(out.Read(&done, 4, &done), 0); // not in read mode
        ASSERT_EQ(out.Close(), 1);
    }
    EXPECT_EQ(ReadFileBytes(path), data);

    KStorageManager in;
    ASSERT_EQ(in.Open(path, false), 1);
    std::vector<uint8_t> back(data.size() + 100);
    int done = 0;
    ASSERT_EQ(in.Read(back.data(), 1000, &done), 1);
    ASSERT_EQ(done, 1000);
    ASSERT_EQ(in.Read(back.data() + 1000, static_cast<int>(back.size() - 1000), &done), 1);
    EXPECT_EQ(static_cast<size_t>(done), data.size() - 1000); // short at the end of the file
    back.resize(data.size());
    EXPECT_EQ(back, data);
    EXPECT_EQ(in.Write(data.data(), 1, &done), 0); // not in write mode
    EXPECT_EQ(done, 0);
}

TEST(StorageManager, ReadingOpensReadOnlySoReadOnlyFilesLoad)
{
    TempDir dir;
    const std::string path = dir.File("saved.rrs");
    {
        KFileNode store(FN_EXTRA_RAW);
        store.AddNode("kept");
        KStorageManager out;
        ASSERT_EQ(out.Open(path, true), 1);
        ASSERT_EQ(store.SaveTo(&out), 1);
        ASSERT_EQ(out.Close(), 1);
    }
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    KStorageManager in;
    ASSERT_EQ(in.Open(path, false), 1);
    // Root may open a 0444 file for writing; the descriptor itself shows the mode asked for.
    EXPECT_EQ(OpenModeOf(path), O_RDONLY);
    KFileNode loaded(FN_EXTRA_RAW);
    ASSERT_EQ(loaded.LoadFrom(&in), 1);
    EXPECT_STREQ(loaded.GetName(loaded.GetNode(0)), "kept");
    in.Close();
    EXPECT_EQ(OpenModeOf(path), -1);

    KStorageManager missing;
    EXPECT_EQ(missing.Open(dir.File("absent.rrs"), false), 0);
    EXPECT_FALSE(missing.IsOpen());
}

TEST(StorageManager, FailingFileWriteIsReportedNotSwallowed)
{
    TempDir dir;
    const std::string path = dir.File("full.rrs");
    const auto data = PatternBytes(KStorageManager::kBufferSize + 4096, 9);

    // A file-size limit stands in for a full disk: writes beyond it fail with EFBIG.
    int accepted = 0, closed = 0, again = 0;
    uint32_t error = 0;
    {
        FileSizeLimit limit(100000);
        ASSERT_TRUE(limit.Ok());
        KStorageManager out;
        if (out.Open(path, true) == 1)
        {
            int done = 0;
            // The first buffer fills; the second Write must push it to the file and fail.
            out.Write(data.data(), KStorageManager::kBufferSize, &done);
            accepted = out.Write(data.data() + KStorageManager::kBufferSize, 4096, &done);
            again = out.Write(data.data(), 1, &done);
            error = out.GetWriteError();
            closed = out.Close();
        }
    }
    EXPECT_EQ(accepted, 0);
    EXPECT_EQ(again, 0);
    EXPECT_NE(error, 0u);
    EXPECT_EQ(closed, 0);

    // A failure that shows only when the last buffer is written out is reported by Close.
    {
        FileSizeLimit limit(100000);
        KStorageManager out;
        if (out.Open(path, true) == 1)
        {
            int done = 0;
            accepted = out.Write(data.data(), 200000, &done);
            closed = out.Close();
        }
    }
    EXPECT_EQ(accepted, 1);
    EXPECT_EQ(closed, 0);
}
