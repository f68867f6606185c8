// The list of saved results: which files are listed, in which order, and how rows read.
#include <gtest/gtest.h>

#include <cstdlib>

#include "FakeUserPort.h"
#include "core/CGlobalParamTable.h"
#include "core/CResumeList.h"
#include "storage/KStorageManager.h"
#include "support/TestFiles.h"
#include "volume/VolumeTypes.h"

namespace {

void WriteResult(const std::string& path, uint32_t module, tagSaveTime time, const std::string& volume, int32_t type)
{
    tagScanResultHeader header;
    header.strDescription = volume;
    header.Time = time;
    header.dwModule = module;
    header.Identity.dwVolumeType = static_cast<uint32_t>(type);
    KStorageManager out;
    ASSERT_TRUE(out.Open(path, true));
    ASSERT_TRUE(CScanResultFile::WriteHeader(&out, header));
    ASSERT_TRUE(out.Close());
}

TEST(ResumeList, ListsReadableResultsOldestFirst)
{
    TempDir dir;
    FakeUserPort port;
    CGlobalParamTable session(&port);
    // File names sort the other way round than the saving times.
    WriteResult(dir.File("a.rrs"), 1, {2024, 3, 2, 5, 7, 8, 9, 0}, "DATA(/mnt,NTFS)", VOLUME_BASIC);
    WriteResult(dir.File("b.rrs"), 0, {2024, 3, 1, 4, 23, 59, 1, 0}, "Disk 0", VOLUME_PHYSICAL);
    WriteResult(dir.File("c.rrs"), 2, {2023, 12, 0, 31, 12, 0, 0, 0}, "Disk 1", VOLUME_PHYSICAL);
    std::vector<uint8_t> damaged = ReadFileBytes(dir.File("a.rrs"));
    damaged[3] ^= 0xFF;
    WriteFileBytes(dir.File("damaged.rrs"), damaged);
    WriteFileBytes(dir.File("notes.txt"), ReadFileBytes(dir.File("a.rrs")));
    WriteFileBytes(dir.File("empty.rrs"), {});

    CResumeList list(session);
    list.Refresh(dir.Path());
    ASSERT_EQ(list.Entries().size(), 3u);
    // Results saved without a status (by earlier versions) are complete, without a device.
    EXPECT_EQ(list.Row(0),
              (std::vector<std::string>{"Disk 1", "Deep Scan Recovery", "2023-12-31 12:0:0", "", "complete"}));
    EXPECT_EQ(list.Row(1),
              (std::vector<std::string>{"Disk 0", "Undelete Recovery", "2024-3-4 23:59:1", "", "complete"}));
    EXPECT_EQ(list.Row(2),
              (std::vector<std::string>{"DATA(/mnt,NTFS)", "Advanced Recovery", "2024-3-5 7:8:9", "", "complete"}));
    EXPECT_EQ(list.Entries()[1].dwVolumeType, static_cast<uint32_t>(VOLUME_PHYSICAL));
    EXPECT_TRUE(list.Row(3).empty());
}

TEST(ResumeList, EmptyOrMissingFolderAndNoSelection)
{
    TempDir dir;
    FakeUserPort port;
    CGlobalParamTable session(&port);
    CResumeList list(session);
    list.Refresh(dir.Path());
    EXPECT_TRUE(list.Entries().empty());
    list.Refresh(dir.File("missing"));
    EXPECT_TRUE(list.Entries().empty());
    EXPECT_EQ(list.Continue(-1), 0);
    EXPECT_EQ(list.Continue(0), 0);
    EXPECT_EQ(port.Texts(),
              (std::vector<std::string>{"Please select a history to resume.", "Please select a history to resume."}));
    // A folder name with pattern characters is taken literally.
    const std::string odd = dir.File("odd [1]*");
    ASSERT_EQ(std::system(("mkdir '" + odd + "'").c_str()), 0);
    WriteResult(odd + "/x.rrs", 3, {2024, 1, 1, 1, 0, 0, 0, 0}, "V", VOLUME_BASIC);
    list.Refresh(odd);
    EXPECT_EQ(list.Entries().size(), 1u);
}

} // namespace
