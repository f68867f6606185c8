#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "base/VlmErrors.h"
#include "os/OsFile.h"
#include "os/OsTime.h"
#include "support/TestFiles.h"

namespace {
int64_t StatTime(const timespec& ts) { return TimespecToFileTime(ts); }

uint64_t FileSize(const std::string& path)
{
    struct stat st
    {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}
} // namespace

TEST(OsFile, CreateNewRefusesAnExistingFileAndLeavesItAlone)
{
    TempDir dir;
    const std::string path = dir.File("recovered.bin");
    const std::vector<uint8_t> data = PatternBytes(10000, 7);
    {
        OsFile file;
        ASSERT_EQ(file.CreateNew(path), ERROR_SUCCESS);
        ASSERT_EQ(file.Write(data.data(), data.size()), ERROR_SUCCESS);
        EXPECT_EQ(file.Close(), ERROR_SUCCESS);
        EXPECT_FALSE(file.IsOpen());
    }
    struct stat st
    {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    // 0644 less the umask: never executable, never writable by others.
    EXPECT_EQ(st.st_mode & 0600, 0600u);
    EXPECT_EQ(st.st_mode & 0133, 0u);

    OsFile again;
    EXPECT_EQ(again.CreateNew(path), ERROR_FILE_EXISTS);
    EXPECT_FALSE(again.IsOpen());
    EXPECT_EQ(ReadFileBytes(path), data);
}

TEST(OsFile, ReadSeekAndEndOfFile)
{
    TempDir dir;
    const std::string path = dir.File("data.bin");
    const std::vector<uint8_t> data = PatternBytes(5000, 3);
    WriteFileBytes(path, data);

    OsFile file;
    EXPECT_EQ(file.OpenRead(dir.File("missing.bin")), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(file.OpenRead(path), ERROR_SUCCESS);
    int64_t pos = 0;
    ASSERT_EQ(file.Seek(4000, SEEK_SET, &pos), ERROR_SUCCESS);
    EXPECT_EQ(pos, 4000);
    std::vector<uint8_t> buffer(2000);
    size_t done = 0;
    ASSERT_EQ(file.Read(buffer.data(), buffer.size(), &done), ERROR_SUCCESS);
    ASSERT_EQ(done, 1000u);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + 1000, data.begin() + 4000));
    ASSERT_EQ(file.Read(buffer.data(), buffer.size(), &done), ERROR_SUCCESS);
    EXPECT_EQ(done, 0u);
    EXPECT_NE(file.Seek(-1, SEEK_SET), ERROR_SUCCESS);
    // A read-only file takes no writes.
    EXPECT_NE(file.Write(data.data(), 10), ERROR_SUCCESS);
    EXPECT_EQ(file.Close(), ERROR_SUCCESS);
    EXPECT_EQ(file.Read(buffer.data(), 1, &done), ERROR_INVALID_HANDLE);
    EXPECT_EQ(file.Write(data.data(), 1), ERROR_INVALID_HANDLE);
}

// A copy that does not fit must fail, never be reported as saved.
TEST(OsFile, WriteToAFullTargetIsAnError)
{
    {
        OsFile full;
        ASSERT_EQ(full.CreateAlways("/dev/full"), ERROR_SUCCESS);
        EXPECT_EQ(full.Write("x", 1), ERROR_DISK_FULL);
    }

    TempDir dir;
    const std::string path = dir.File("big.bin");
    const std::vector<uint8_t> data = PatternBytes(100000, 9);
    OsFile file;
    ASSERT_EQ(file.CreateNew(path), ERROR_SUCCESS);
    {
        FileSizeLimit limit(65536);
        ASSERT_TRUE(limit.Ok());
        // The first 64 KiB are taken, then the file may grow no further.
        EXPECT_EQ(file.Write(data.data(), data.size()), ERROR_FILE_TOO_LARGE);
    }
    file.Close();
    EXPECT_EQ(FileSize(path), 65536u);
}

TEST(OsFile, TimesAreSetAndReadBack)
{
    TempDir dir;
    const std::string path = dir.File("timed.bin");
    WriteFileBytes(path, {1, 2, 3});
    const int64_t access = kFileTimeUnixEpoch + 1300000000LL * kFileTimeTicksPerSecond + 1234500;
    const int64_t write = kFileTimeUnixEpoch + 1100000000LL * kFileTimeTicksPerSecond + 9876500;
    ASSERT_EQ(OsSetFileTimes(path, access, write), ERROR_SUCCESS);
    struct stat st
    {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(StatTime(st.st_atim), access);
    EXPECT_EQ(StatTime(st.st_mtim), write);

    // 0 leaves a time as it is; times before 1970 are allowed.
    const int64_t old = kFileTimeUnixEpoch - 86400LL * kFileTimeTicksPerSecond * 365;
    ASSERT_EQ(OsSetFileTimes(path, 0, old), ERROR_SUCCESS);
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(StatTime(st.st_atim), access);
    EXPECT_EQ(StatTime(st.st_mtim), old);

    EXPECT_EQ(OsSetFileTimes(dir.File("missing"), access, write), ERROR_FILE_NOT_FOUND);

    // Through an open file, as a copy sets them after its last write: close keeps them.
    OsFile file;
    ASSERT_EQ(file.CreateNew(dir.File("copied.bin")), ERROR_SUCCESS);
    ASSERT_EQ(file.Write("abc", 3), ERROR_SUCCESS);
    ASSERT_EQ(file.SetTimes(access, write), ERROR_SUCCESS);
    ASSERT_EQ(file.Close(), ERROR_SUCCESS);
    ASSERT_EQ(::stat(dir.File("copied.bin").c_str(), &st), 0);
    EXPECT_EQ(StatTime(st.st_atim), access);
    EXPECT_EQ(StatTime(st.st_mtim), write);
    EXPECT_EQ(file.SetTimes(access, write), ERROR_INVALID_HANDLE);
}

TEST(OsFile, FindFilesIsSortedByBytes)
{
    TempDir dir;
    for (const char* name : {"b.api", "a10.api", "C.api", "a2.api", "a.api", "note.txt"})
        WriteFileBytes(dir.File(name), {0});
    const std::vector<std::string> expected = {dir.File("C.api"), dir.File("a.api"), dir.File("a10.api"),
                                               dir.File("a2.api"), dir.File("b.api")};
    EXPECT_EQ(OsFindFiles(dir.File("*.api")), expected);
    EXPECT_TRUE(OsFindFiles(dir.File("*.none")).empty());
    EXPECT_TRUE(OsFindFiles(dir.File("missing/*")).empty());
}
