// Whole recovery sequences on discovered disk images, through the scripted port: refusals,
// full scan, deep scan, automatic saving, and resuming saved results. (Undelete end to end,
// through the same launcher: CliTest.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "SessionRig.h"
#include "TestRawTypes.h"
#include "core/CFileTypeTree.h"
#include "core/CPartitionList.h"
#include "core/CResumeList.h"
#include "core/CScanResultFile.h"
#include "core/CScanResultStore.h"
#include "fs/tagFileNode.h"
#include "os/OsFile.h"
#include "raw/KRawScanMgr.h"
#include "support/MemoryMedia.h"
#include "volume/KVolumeManager.h"
#include "volume/VolumeTypes.h"

namespace {

bool HasLeaf(const std::vector<std::string>& listing, const std::string& leaf)
{
    return std::any_of(listing.begin(), listing.end(), [&](const std::string& path) {
        return path.size() >= leaf.size() && path.compare(path.size() - leaf.size(), leaf.size(), leaf) == 0;
    });
}

class Session : public ::testing::Test
{
protected:
    static const DiskImage& Disk()
    {
        static const DiskImage disk = MakeTwoVolumeDisk();
        return disk;
    }
    void SetUp() override
    {
        ASSERT_FALSE(LoadFixtureImage("fat16-nested").empty());
        rig.Attach({&Disk()});
        physical = rig.FindVolume(VOLUME_PHYSICAL, 0);
        fat = rig.FindVolume(VOLUME_BASIC, kFatStart);
        ntfs = rig.FindVolume(VOLUME_BASIC, kNtfsStart);
        blank = rig.FindVolume(VOLUME_BASIC, kBlankStart);
        ASSERT_GE(physical, 0);
        ASSERT_GE(fat, 0);
        ASSERT_GE(ntfs, 0);
        ASSERT_GE(blank, 0);
    }
    // The one result in the resume folder, named for the module; "" when there is none.
    std::string SavedResult(EModule module) const
    {
        const std::vector<std::string> files = rig.ResumeFiles();
        const std::string prefix = rig.ResumeFolder() + "/" + CGlobalParamTable::ModuleName(module) + " - ";
        return files.size() == 1 && files[0].rfind(prefix, 0) == 0 ? files[0] : std::string();
    }
    // A full scan of the whole disk in Advanced Recovery, ending on the partition list.
    void FullScan()
    {
        rig.Session->SetModule(EModule::Advanced);
        ASSERT_EQ(rig.Launcher->RecoverButton(physical), 1);
        ASSERT_EQ(rig.Session->GetView(), EView::Partitions);
    }

    SessionRig rig;
    int physical = -1, fat = -1, ntfs = -1, blank = -1;
};

TEST_F(Session, VolumesThatCannotBeOpenedDirectlyAreRefused)
{
    rig.Session->SetModule(EModule::Advanced);
    EXPECT_EQ(rig.Launcher->OpenButton(blank), 0);
    EXPECT_EQ(
        rig.Port.Texts(),
        (std::vector<std::string>{"Failed to open the volume. Please click 'Full Scan' button to scan the volume."}));
    EXPECT_EQ(rig.Session->FileSystemMgr().GetCount(), 0);

    rig.Session->SetModule(EModule::Undelete);
    rig.Port.Messages.clear();
    EXPECT_EQ(rig.Launcher->RecoverButton(blank), 0);
    EXPECT_EQ(rig.Port.Texts(),
              (std::vector<std::string>{"Failed to open volume, please use 'Advanced Recovery' instead."}));

    rig.Port.Messages.clear();
    EXPECT_EQ(rig.Launcher->RecoverButton(-1), 0);
    EXPECT_EQ(rig.Launcher->RecoverButton(1000), 0);
    EXPECT_EQ(rig.Port.Texts(),
              (std::vector<std::string>{"Select a device to recover please.", "Select a device to recover please."}));
    EXPECT_TRUE(rig.Port.Views.empty() || rig.Port.Views.back() == EView::Devices);
    EXPECT_TRUE(rig.ResumeFiles().empty());
}

TEST_F(Session, OpticalDiscsAreOnlyForDeepScan)
{
    tagVolumeInfo record;
    record.VolumeType = VOLUME_PHYSICAL;
    record.Extents.push_back(tagVolumeExtent{0, 4, 0, 0, 0, 64});
    record.SectorCount = 64;
    record.VolumeIO = new MemoryVolume(std::vector<uint8_t>(64 * 2048), 2048, 4);
    const int optical = static_cast<int>(KVolumeManager().AddRecord(record));
    const std::string refusal =
        "Current data recovery module does not support the selected device.\n\nPlease try Deep Scan Recovery module.";
    for (EModule module : {EModule::Undelete, EModule::Advanced})
    {
        rig.Session->SetModule(module);
        rig.Port.Messages.clear();
        EXPECT_FALSE(rig.Launcher->CheckDevice(optical));
        EXPECT_EQ(rig.Port.Texts(), std::vector<std::string>{refusal});
    }
    rig.Session->SetModule(EModule::DeepScan);
    EXPECT_TRUE(rig.Launcher->CheckDevice(optical));
    EXPECT_EQ(rig.Session->GetSelectedVolumeIndex(), optical);
}

TEST_F(Session, FullScanRanksTheRealPartitionsFirst)
{
    FullScan();
    CPartitionList list(*rig.Session);
    list.Fill();
    ASSERT_GE(list.Entries().size(), 2u);
    std::vector<std::pair<uint32_t, int64_t>> top;
    for (size_t i = 0; i < 2; ++i)
        top.emplace_back(list.Entries()[i].Candidate.dwType, list.Entries()[i].Candidate.s64FirstSector);
    std::sort(top.begin(), top.end());
    EXPECT_EQ(top,
              (std::vector<std::pair<uint32_t, int64_t>>{{6, static_cast<int64_t>(kFatStart)},
                                                         {7, static_cast<int64_t>(kNtfsStart)}}));
    const auto rows = list.Rows();
    EXPECT_EQ(rows[0].Columns[0], "Partition1");
    EXPECT_EQ(rows[0].Columns[5], "99%");
    EXPECT_EQ(rig.Port.ScanWindows, std::vector<EScanWindow>{EScanWindow::Device});
    EXPECT_EQ(SavedResult(EModule::Advanced), rig.Session->GetResultName());

    // Show the NTFS candidate's files.
    int ntfsRow = list.Entries()[0].Candidate.dwType == 7 ? 0 : 1;
    ASSERT_EQ(list.ShowFiles(ntfsRow), 1);
    EXPECT_EQ(rig.Session->GetView(), EView::Files);
    EXPECT_TRUE(HasLeaf(rig.TreeListing(), "old report to delete.txt"));

    rig.Port.Messages.clear();
    EXPECT_EQ(list.ShowFiles(-1), 0);
    EXPECT_EQ(rig.Port.Texts(), std::vector<std::string>{"Please select a partition to recover."});
}

// Stopped and kept, a scan is saved under a name of its own, marked partial in the file and in
// the resume list.
TEST_F(Session, ScanCutShortAndKeptIsSavedAsPartial)
{
    rig.Session->SetModule(EModule::Advanced);
    rig.Port.CancelAtPump = 1;
    rig.Port.YesNoCancelAnswers = {EAnswer::Yes};
    ASSERT_EQ(rig.Launcher->RecoverButton(physical), 1);
    EXPECT_TRUE(rig.Session->IsPartialResult());
    const std::string saved = SavedResult(EModule::Advanced);
    ASSERT_FALSE(saved.empty());
    EXPECT_NE(saved.find(" (partial)"), std::string::npos) << saved;
    EXPECT_TRUE(CScanResultFile::ReadStatus(saved).IsPartial());
    CResumeList resume(*rig.Session);
    resume.Refresh();
    ASSERT_EQ(resume.Entries().size(), 1u);
    EXPECT_EQ(resume.Row(0)[4], "partial");
    // Loaded again, it is still the partial scan: saved elsewhere, it stays marked.
    ASSERT_EQ(CScanResultStore(*rig.Session).Load(saved), 1);
    const std::string copy = rig.Dir.File("copy.rrs");
    ASSERT_EQ(CScanResultStore(*rig.Session).Save(copy), 1);
    EXPECT_TRUE(CScanResultFile::ReadStatus(copy).IsPartial());
}

TEST_F(Session, DeepScanFindsTaggedFilesOrSaysItFoundNothing)
{
    rig.Session->SetModule(EModule::DeepScan);
    KRawScanMgr& types = rig.Session->RawTypes();
    TestRawFactory factory({{"zip", "Test archive", "VLMZIP00", 4096}, {"qqq", "Never found", "NOSUCHTG", 512}});
    ASSERT_EQ(KRawScanMgr::AddFactory(&factory), 2);

    // Only the "qqq" type, which never matches: nothing found.
    ASSERT_EQ(rig.Launcher->CheckDevice(blank), true);
    {
        CFileTypeTree tree(types);
        for (size_t i = 0; i < tree.Items().size(); ++i)
            if ((tree.Items()[i].byState == CFileTypeTree::kChecked) != (tree.Items()[i].strExtension == "QQQ"))
                tree.ClickItem(static_cast<int>(i));
    }
    EXPECT_EQ(rig.Launcher->StartRecovery(false, true, true, false), 0);
    EXPECT_EQ(rig.Port.Texts(), std::vector<std::string>{"Sorry, no files could be found by Deep Scan Recovery."});
    EXPECT_EQ(rig.Session->GetView(), EView::Devices);
    EXPECT_EQ(rig.Port.ScanWindows, std::vector<EScanWindow>{EScanWindow::Deep});

    // The button resets the choice to the defaults (zip is one of them) and finds the tagged file.
    DiskImage disk(4096);
    std::vector<uint8_t> tagged(8192, 0x5A);
    std::memcpy(tagged.data(), "VLMZIP00", 8);
    disk.Partition(0, 0x83, 1000, tagged);
    rig.Attach({&disk});
    rig.Port.Messages.clear();
    ASSERT_EQ(rig.Launcher->RecoverButton(rig.FindVolume(VOLUME_PHYSICAL, 0)), 1);
    EXPECT_TRUE(rig.Port.Messages.empty());
    EXPECT_EQ(rig.Session->GetView(), EView::Partitions);
    CPartitionList list(*rig.Session);
    list.Fill();
    ASSERT_EQ(list.Entries().size(), 1u);
    const auto rows = list.Rows();
    EXPECT_EQ(rows[0].Columns[1], "RAW");
    EXPECT_EQ(rows[0].Columns[5], "");
    EXPECT_TRUE(rows[0].bRaw);
    EXPECT_EQ(rig.TreeListing(FN_KIND_DEEP, true).size(), 1u);
    EXPECT_EQ(SavedResult(EModule::DeepScan), rig.Session->GetResultName());
}

TEST_F(Session, WizardChoosesTheModuleFromTheVolume)
{
    using Choice = CRecoveryLauncher::EDeepScanChoice;
    EXPECT_EQ(rig.Launcher->WizardModule(physical, true), EModule::DeepScan);
    EXPECT_EQ(rig.Launcher->WizardModule(fat, true), EModule::Undelete);
    EXPECT_EQ(rig.Launcher->WizardModule(fat, false), EModule::Advanced);

    ASSERT_EQ(rig.Launcher->StartFromWizard(fat, true, Choice::DoNotUse), 1);
    EXPECT_EQ(rig.Session->GetModule(), EModule::Undelete);
    EXPECT_EQ(rig.Session->GetView(), EView::Files);

    ASSERT_EQ(rig.Launcher->StartFromWizard(fat, false, Choice::DoNotUse), 1);
    EXPECT_EQ(rig.Session->GetModule(), EModule::Advanced);
    EXPECT_EQ(rig.Session->GetView(), EView::Partitions);
    EXPECT_EQ(rig.Session->FileSystemMgr().GetCount(), 3) << "the FAT, NTFS and exFAT scanners";

    EXPECT_EQ(rig.Launcher->StartFromWizard(-1, false, Choice::Use), 0);
    EXPECT_EQ(rig.Session->GetView(), EView::Devices);
}

} // namespace
