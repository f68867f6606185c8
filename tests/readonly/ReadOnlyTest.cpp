// Nothing the engine does writes to what it recovers from. Every sequence runs on copies of
// the committed images; afterwards each copy has the same bytes and modification time.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "FuzzDrive.h"
#include "ReadOnlyImages.h"
#include "base/VlmErrors.h"
#include "common/KRawTypeFactory.h"
#include "device/KDeviceManager.h"
#include "docs/DocsTypeList.h"
#include "fs/IFileSystem.h"
#include "engine/KFileSystemMgr.h"
#include "fs/KNodeTree.h"
#include "images/ImagesTypeList.h"
#include "media/MediaTypeList.h"
#include "os/OsDeviceTable.h"
#include "raw/KRawFileSystem.h"
#include "raw/KRawScanMgr.h"
#include "storage/KStorageManager.h"
#include "volume/KVolumeManager.h"

namespace {

const std::vector<std::string> kImages = {"fat12-floppy",     "fat16-nested", "superfloppy",
                                          "ntfs-reformatted", "ntfs-basic",   "mbr-basic"};
constexpr uint64_t kLargestFullScan = 70000; // sectors: the small volumes get a full scan too
constexpr int kFilesCopiedPerVolume = 12;
// Partition-type codes of the file systems read directly.
constexpr int32_t kFat12 = 1, kFat16 = 6, kFat32 = 11, kNtfs = 7;

// The deep-scan types of this build, without plug-in libraries.
class TypesInProcess
{
public:
    TypesInProcess()
    {
        KRawScanMgr::OverrideProgramFolder(SourcePath("tests/readonly"));
        m_Keeper = std::make_unique<KRawScanMgr>();
        KRawScanMgr::AddFactory(&m_Images);
        KRawScanMgr::AddFactory(&m_Docs);
        KRawScanMgr::AddFactory(&m_Media);
    }
    ~TypesInProcess()
    {
        m_Keeper.reset();
        KRawScanMgr::OverrideProgramFolder("");
    }

private:
    KRawTypeFactory m_Images{RawTypeList_images()};
    KRawTypeFactory m_Docs{RawTypeList_docs()};
    KRawTypeFactory m_Media{RawTypeList_media()};
    std::unique_ptr<KRawScanMgr> m_Keeper;
};

// Copies the first files of a built tree to new files named `prefix`<n>; returns how many were
// written.
int CopyOut(IFileSystem& fs, const KNodeTree& tree, const std::string& prefix)
{
    int copied = 0;
    std::vector<const tagTreeNode*> stack{tree.GetRoot()};
    while (!stack.empty() && copied < kFilesCopiedPerVolume)
    {
        const tagTreeNode* n = stack.back();
        stack.pop_back();
        for (const tagTreeNode* c = KNodeTree::GetFirstChild(n); c; c = KNodeTree::GetNextSibling(c))
            stack.push_back(c);
        if (n == tree.GetRoot() || KNodeTree::GetFirstChild(n) || !IsFileRecord(n->pRecord)) continue;
        if (fs.SaveFile(n->pRecord, prefix + std::to_string(copied)) == ERROR_SUCCESS) ++copied;
    }
    return copied;
}

class ReadOnly : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_Images = new ReadOnlyImages(kImages);
        OsDeviceTable& table = OsDeviceTable::Instance();
        table.ClearImages();
        table.SetMachineDevicesEnabled(false);
        for (const std::string& name : kImages) table.RegisterImage(s_Images->Path(name));
    }
    static void TearDownTestSuite()
    {
        KVolumeManager().ClearVolumes();
        OsDeviceTable::Instance().ClearImages();
        delete s_Images;
        s_Images = nullptr;
    }
    static ReadOnlyImages* s_Images;
};

ReadOnlyImages* ReadOnly::s_Images = nullptr;

} // namespace

TEST_F(ReadOnly, DeviceReadsLeaveImagesUnchanged)
{
    KDeviceManager manager;
    for (uint32_t i = 0; i < kImages.size(); ++i)
    {
        IDeviceIO* device = manager.CreateDevice();
        ASSERT_NE(device, nullptr);
        ASSERT_EQ(device->Open(DEVICE_HARDDISK, i), ERROR_SUCCESS) << kImages[i];
        tagDiskGeometry g;
        ASSERT_EQ(device->GetGeometry(&g), ERROR_SUCCESS);
        std::vector<uint8_t> buffer(2048 * 512);
        for (uint64_t s = 0; s < g.TotalSectors; s += 2048)
            EXPECT_EQ(device->ReadSectors(s, buffer.data(),
                                          static_cast<uint32_t>(std::min<uint64_t>(2048, g.TotalSectors - s))),
                      ERROR_SUCCESS);
        // A read past the end fails and writes nothing either.
        EXPECT_NE(device->ReadSectors(g.TotalSectors, buffer.data(), 1), ERROR_SUCCESS);
        device->Close();
        manager.DestroyDevice(device);
    }
    s_Images->ExpectUnchanged();
}

TEST_F(ReadOnly, DiscoveryListingCopyOutScansAndSavingLeaveImagesUnchanged)
{
    TypesInProcess types;
    KVolumeManager volumes;
    volumes.ScanVolumes();
    ASSERT_GT(volumes.GetVolumeCount(), kImages.size()); // partitions besides the devices

    KFileSystemMgr session;
    IFileSystem* current = nullptr;
    int listed = 0, copied = 0;
    for (size_t i = 0; i < volumes.GetVolumeCount(); ++i)
    {
        IVolumeIO* volume = volumes.GetVolumeIO(i);
        const int32_t code = volumes.GetVolumeInfo(i).PartitionType;
        if (!volume || (code != kFat12 && code != kFat16 && code != kFat32 && code != kNtfs)) continue;
        // Undelete and "Open": the volume's own file system, listed and copied out.
        KFileSystemMgr direct;
        IFileSystem* fs = direct.CreateForVolume(volume);
        ASSERT_NE(fs, nullptr);
        fs->SetVolume(volume);
        fs->SetSectorInfo(0, 512);
        if (fs->SelectCandidate(FS_CANDIDATE_VOLUME) != ERROR_SUCCESS) continue;
        KNodeTree tree;
        ASSERT_EQ(fs->BuildTree(&tree), ERROR_SUCCESS);
        ++listed;
        copied += CopyOut(*fs, tree, s_Images->Scratch("v" + std::to_string(i) + "-"));

        // The full and the deep scan over the small volumes, into the session kept for saving.
        tagDiskGeometry g;
        volume->GetGeometry(&g);
        if (g.TotalSectors > kLargestFullScan) continue;
        for (uint32_t kind : {KFileSystemMgr::kKindFat32, KFileSystemMgr::kKindNtfs, KFileSystemMgr::kKindRaw})
        {
            IFileSystem* scanned = session.Create(kind);
            ASSERT_NE(scanned, nullptr);
            FuzzScanPass(*scanned, *volume);
            uint32_t count = 0;
            scanned->GetCandidateCount(&count);
            if (count == 0 || scanned->SelectCandidate(0) != ERROR_SUCCESS) continue;
            KNodeTree scanTree;
            scanned->BuildTree(&scanTree);
            copied += CopyOut(*scanned, scanTree,
                              s_Images->Scratch("v" + std::to_string(i) + "-k" + std::to_string(kind) + "-"));
            current = scanned;
        }
    }
    EXPECT_GE(listed, 8);
    EXPECT_GT(copied, 50);

    // Saving the session writes the result file and nothing else.
    KStorageManager out;
    ASSERT_EQ(out.Open(s_Images->Scratch("session.rrs"), true), 1);
    for (int i = 0; i < session.GetCount(); ++i) EXPECT_EQ(session.GetAt(i)->SaveTo(&out), 1);
    EXPECT_EQ(out.Close(), 1);
    EXPECT_NE(current, nullptr);
    s_Images->ExpectUnchanged();
}
