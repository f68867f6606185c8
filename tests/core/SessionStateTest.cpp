// Session state and navigation: the resume folder, the device refresh, switching modules while
// results are shown, and when automatic saving happens.
#include <gtest/gtest.h>

#include <cstdlib>

#include "SessionRig.h"
#include "core/CGlobalParamTable.h"
#include "core/CScanResultStore.h"
#include "os/OsDeviceTable.h"
#include "os/OsFile.h"
#include "volume/KVolumeManager.h"

namespace {

TEST(SessionState, ResumeFolderFollowsTheEnvironment)
{
    const char* saved[] = {std::getenv("VLM_RESUME_DIR"), std::getenv("XDG_DATA_HOME"), std::getenv("HOME")};
    const std::string keep[] = {saved[0] ? saved[0] : "", saved[1] ? saved[1] : "", saved[2] ? saved[2] : ""};
    ::unsetenv("VLM_RESUME_DIR");
    ::setenv("HOME", "/home/someone", 1);
    ::unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(CScanResultStore::ResumeFolder(), "/home/someone/.local/share/vellumar/ResumeRecovery");
    ::setenv("XDG_DATA_HOME", "relative/ignored", 1);
    EXPECT_EQ(CScanResultStore::ResumeFolder(), "/home/someone/.local/share/vellumar/ResumeRecovery");
    ::setenv("XDG_DATA_HOME", "/data", 1);
    EXPECT_EQ(CScanResultStore::ResumeFolder(), "/data/vellumar/ResumeRecovery");
    ::setenv("VLM_RESUME_DIR", "/tmp/results", 1);
    EXPECT_EQ(CScanResultStore::ResumeFolder(), "/tmp/results");
    FakeUserPort port;
    CGlobalParamTable session(&port);
    session.SetModule(EModule::Advanced);
    // Without a volume the name is the module's and the time's.
    const std::string named = CScanResultStore(session).NewResultPath(true);
    EXPECT_EQ(named.rfind("/tmp/results/Advanced Recovery - ", 0), 0u) << named;
    EXPECT_EQ(named.substr(named.size() - 14), " (partial).rrs") << named;
    EXPECT_FALSE(CScanResultStore::ProgramFolder().empty());
    EXPECT_NE(CScanResultStore::ProgramFolder().back(), '/');
    const char* names[] = {"VLM_RESUME_DIR", "XDG_DATA_HOME", "HOME"};
    for (int i = 0; i < 3; ++i)
    {
        if (saved[i])
            ::setenv(names[i], keep[i].c_str(), 1);
        else
            ::unsetenv(names[i]);
    }
}

TEST(SessionState, NoDeviceIsReportedAfterEveryRefresh)
{
    SessionRig rig;
    rig.Attach({});
    rig.Launcher->RefreshDevices();
    const std::string error =
        "Sorry, Vellumar cannot find any attached device!\nPlease make sure that you have administrator privileges.";
    EXPECT_EQ(rig.Port.Texts("error"), (std::vector<std::string>{error, error}));
    EXPECT_EQ(rig.Port.ProgressTitles.back(), "Scanning attached devices...");
    EXPECT_EQ(rig.Session->GetSelectedVolume(), nullptr);
}

TEST(SessionState, SwitchingModules)
{
    SessionRig rig;
    const DiskImage disk = MakeTwoVolumeDisk();
    rig.Attach({&disk});
    CGlobalParamTable& session = *rig.Session;
    // Automatic saving needs a result view and a scan.
    session.SetView(EView::Partitions);
    EXPECT_TRUE(rig.ResumeFiles().empty());
    EXPECT_EQ(CScanResultStore(session).AutoSave(), 0);

    // An Undelete listing only reads the volume: nothing is saved unless asked.
    session.SetModule(EModule::Undelete);
    ASSERT_EQ(rig.Launcher->RecoverButton(rig.FindVolume(1, kFatStart)), 1);
    EXPECT_TRUE(rig.ResumeFiles().empty());
    const int files = session.FileSystemMgr().GetCount();

    // The module already shown: no question, nothing rescanned.
    rig.Port.Messages.clear();
    EXPECT_TRUE(rig.Launcher->ChooseModule(EModule::Undelete));
    EXPECT_TRUE(rig.Port.Messages.empty());
    EXPECT_EQ(session.GetView(), EView::Files);
    // Another module: asked, and No keeps everything.
    rig.Port.YesNoAnswers = {false};
    EXPECT_FALSE(rig.Launcher->ChooseModule(EModule::Resume));
    EXPECT_EQ(rig.Port.Texts("yesno"), std::vector<std::string>{"Close Undelete Recovery?"});
    EXPECT_EQ(session.GetModule(), EModule::Undelete);
    EXPECT_EQ(session.FileSystemMgr().GetCount(), files);
    // Yes closes the results and opens the resume list.
    EXPECT_TRUE(rig.Launcher->ChooseModule(EModule::Resume));
    EXPECT_EQ(session.GetModule(), EModule::Resume);
    EXPECT_EQ(session.GetView(), EView::Resume);
    EXPECT_EQ(session.FileSystemMgr().GetCount(), 0);
    EXPECT_EQ(session.GetCurrentTree().GetRoot(), nullptr);
}

} // namespace
