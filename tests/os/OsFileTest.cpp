#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "base/VlmErrors.h"
#include "os/OsFile.h"
#include "os/OsTime.h"
#include "support/TestFiles.h"

namespace
{
int64_t StatTime(const timespec& ts) { return TimespecToFileTime(ts); }

uint64_t FileSize(const std::string& path)
{
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

// Lowers the file-size limit of this process and ignores SIGXFSZ, so a write beyond the limit
// fails with EFBIG like on a target that accepts no more; both are put back afterwards.
class ScopedFileSizeLimit
{
public:
    explicit ScopedFileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_Old);
        m_OldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = m_Old;
        lowered.rlim_cur = bytes;
        m_Ok = ::setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~ScopedFileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_Old);
        std::signal(SIGXFSZ, m_OldHandler);
    }
    bool Ok() const { return m_Ok; }

private:
    rlimit m_Old{};
    void (*m_OldHandler)(int) = nullptr;
    bool m_Ok = false;
};
} // namespace

TEST(OsFile, CreateNewRefusesAnExistingFileAndLeavesItAlone)
{
    TempDir dir;
    const std::string path = dir.File("recovered.bin");
    const std::vector<uint8_t> data = PatternBytes(10000, 7);
    {
        KOsFile file;
        ASSERT_EQ(file.CreateNew(path), ERROR_SUCCESS);
        ASSERT_EQ(file.Write(data.data(), data.size()), ERROR_SUCCESS);
        EXPECT_EQ(file.Close(), ERROR_SUCCESS);
        EXPECT_FALSE(file.IsOpen());
    }
    struct stat st{};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    // 0644 less the umask: never executable, never writable by others.
    EXPECT_EQ(st.st_mode & 0600, 0600u);
    EXPECT_EQ(st.st_mode & 0133, 0u);

    KOsFile again;
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

    KOsFile file;
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

TEST(OsFile, CreateAlwaysTruncates)
{
    TempDir dir;
    const std::string path = dir.File("out.bin");
    WriteFileBytes(path, PatternBytes(3000, 1));
    KOsFile file;
    ASSERT_EQ(file.CreateAlways(path), ERROR_SUCCESS);
    ASSERT_EQ(file.Write("abc", 3), ERROR_SUCCESS);
    ASSERT_EQ(file.Close(), ERROR_SUCCESS);
    EXPECT_EQ(FileSize(path), 3u);
}

// A copy that does not fit must fail, never be reported as saved.
TEST(OsFile, WriteToAFullTargetIsAnError)
{
    {
        KOsFile full;
        ASSERT_EQ(full.CreateAlways("/dev/full"), ERROR_SUCCESS);
        EXPECT_EQ(full.Write("x", 1), ERROR_DISK_FULL);
    }

    TempDir dir;
    const std::string path = dir.File("big.bin");
    const std::vector<uint8_t> data = PatternBytes(100000, 9);
    KOsFile file;
    ASSERT_EQ(file.CreateNew(path), ERROR_SUCCESS);
    {
        ScopedFileSizeLimit limit(65536);
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
    struct stat st{};
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
}

TEST(OsFile, FoldersRenameAndDelete)
{
    TempDir dir;
    const std::string folder = dir.File("out");
    EXPECT_EQ(OsCreateFolder(folder), ERROR_SUCCESS);
    EXPECT_EQ(OsCreateFolder(folder), ERROR_FILE_EXISTS);
    EXPECT_TRUE(OsIsFolder(folder));
    EXPECT_EQ(OsCreateFolder(dir.File("no/such/parent")), ERROR_FILE_NOT_FOUND);

    const std::string deep = dir.File("a/b/c/d");
    EXPECT_EQ(OsCreateFolders(deep), ERROR_SUCCESS);
    EXPECT_TRUE(OsIsFolder(deep));
    EXPECT_EQ(OsCreateFolders(deep + "/"), ERROR_SUCCESS);
    EXPECT_EQ(OsCreateFolders(deep), ERROR_SUCCESS);

    const std::string file = dir.File("a/file");
    WriteFileBytes(file, {1});
    EXPECT_TRUE(OsPathExists(file));
    EXPECT_FALSE(OsIsFolder(file));
    EXPECT_NE(OsCreateFolders(file), ERROR_SUCCESS);
    EXPECT_NE(OsCreateFolders(file + "/below"), ERROR_SUCCESS);

    const std::string moved = dir.File("a/b/moved");
    EXPECT_EQ(OsRename(file, moved), ERROR_SUCCESS);
    EXPECT_FALSE(OsPathExists(file));
    EXPECT_EQ(ReadFileBytes(moved), std::vector<uint8_t>{1});
    WriteFileBytes(file, {2});
    EXPECT_EQ(OsRename(file, moved), ERROR_SUCCESS); // replaces the earlier file
    EXPECT_EQ(ReadFileBytes(moved), std::vector<uint8_t>{2});
    EXPECT_EQ(OsDeleteFile(moved), ERROR_SUCCESS);
    EXPECT_EQ(OsDeleteFile(moved), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(OsRename(moved, file), ERROR_FILE_NOT_FOUND);
}

TEST(OsFile, FreeSpaceAndTempFolder)
{
    TempDir dir;
    uint64_t freeBytes = 0;
    ASSERT_EQ(OsFreeSpace(dir.Path(), &freeBytes), ERROR_SUCCESS);
    EXPECT_GT(freeBytes, 0u);
    EXPECT_NE(OsFreeSpace(dir.File("missing/x"), &freeBytes), ERROR_SUCCESS);
    EXPECT_EQ(freeBytes, 0u);

    std::optional<std::string> old;
    if (const char* value = std::getenv("TMPDIR"))
        old = value;
    setenv("TMPDIR", dir.Path().c_str(), 1);
    EXPECT_EQ(OsTempFolder(), dir.Path());
    setenv("TMPDIR", "", 1);
    EXPECT_EQ(OsTempFolder(), "/tmp");
    unsetenv("TMPDIR");
    EXPECT_EQ(OsTempFolder(), "/tmp");
    if (old)
        setenv("TMPDIR", old->c_str(), 1);
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

TEST(OsFile, ProgramFolderHoldsThisProgram)
{
    const std::string folder = OsProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    EXPECT_TRUE(OsPathExists(folder + "test_os"));
}
