// The shared copy routine: files without data still come back.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "base/VlmErrors.h"
#include "fs/CopyFileOut.h"
#include "fs/tagFileNode.h"
#include "support/IdleFileSystem.h"
#include "support/TestFiles.h"

namespace {

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
    IdleFileSystem fs; // no data: every stream request fails
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
