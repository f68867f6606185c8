// The shared copy routine: files without data still come back.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "base/VlmErrors.h"
#include "fs/CopyFileOut.h"
#include "fs/IFileSystem.h"
#include "fs/tagFileNode.h"
#include "support/TestFiles.h"

namespace {

// A file system without any data: every stream request fails.
class NoDataFs final : public IFileSystem
{
public:
    int LoadFrom(IStorageManager*) override { return 0; }
    int SaveTo(IStorageManager*) override { return 0; }
    void SetVolume(IVolumeIO*) override {}
    IVolumeIO* GetVolume() override { return nullptr; }
    void SetSectorInfo(uint32_t, uint32_t) override {}
    uint32_t GetSectorInfo(uint32_t*) override { return 0; }
    uint32_t Begin_ScanFS() override { return 0; }
    uint32_t ScanFS(ScanStats*, int64_t, const uint8_t*, int) override { return 0; }
    uint32_t End_ScanFS() override { return 0; }
    int GetCandidateCount(uint32_t* count) override { *count = 0; return 1; }
    int GetCandidate(int, FileSystemCandidate*) override { return 0; }
    uint32_t SelectCandidate(uint32_t) override { return 0; }
    uint32_t BuildTree(KNodeTree*) override { return 0; }
    IOutStream* OpenStream(const tagFileNode*) override { return nullptr; }
    uint32_t SaveFile(const tagFileNode*, const std::string&) override { return ERROR_FUNCTION_FAILED; }
};

tagFileNode FileRecord(int64_t size)
{
    tagFileNode r{};
    r.wValidMask = 0x9F;
    r.s64Size = size;
    r.wAttributes = 0x20;
    r.ftModified = 132000000000000000; // 2019, local wall clock
    return r;
}

} // namespace

TEST(CopyFileOut, EmptyFileIsCreatedAndAFileWithoutDataFails)
{
    TempDir dir;
    NoDataFs fs;
    const tagFileNode empty = FileRecord(0);
    ASSERT_EQ(CopyFileOut(fs, &empty, dir.File("empty.txt"), 512), ERROR_SUCCESS);
    struct stat st;
    ASSERT_EQ(::stat(dir.File("empty.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 0);
    EXPECT_LT(st.st_mtime, 1600000000); // the record's time, not the time of the copy

    // Saving again onto the existing file is refused, not overwritten.
    EXPECT_EQ(CopyFileOut(fs, &empty, dir.File("empty.txt"), 512), ERROR_FILE_EXISTS);

    const tagFileNode lost = FileRecord(100);
    EXPECT_EQ(CopyFileOut(fs, &lost, dir.File("lost.bin"), 512), ERROR_FUNCTION_FAILED);
    EXPECT_NE(::stat(dir.File("lost.bin").c_str(), &st), 0) << "no empty stand-in for a file whose data is gone";
}
