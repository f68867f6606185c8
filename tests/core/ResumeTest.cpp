// Saving and resuming whole sessions: round trips, automatic saving, volumes that are gone or
// ambiguous, read-only files, failed saves, and damaged or hostile result files.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <cstring>
#include <map>

#include "SessionRig.h"
#include "core/CPartitionList.h"
#include "core/CResumeList.h"
#include "core/CScanResultFile.h"
#include "core/CScanResultStore.h"
#include "fs/IFileSystem.h"
#include "fs/KNodeTree.h"
#include "support/TestTrees.h"
#include "os/OsFile.h"
#include "support/MemoryMedia.h"
#include "volume/KVolumeManager.h"
#include "volume/VolumeTypes.h"

namespace {

// What a session shows, in a form two sessions can be compared by.
struct Snapshot
{
    int Module = -1;
    int View = -1;
    int SelectedVolume = -1;
    int FileSystems = 0;
    int CurrentIndex = -1;
    std::vector<std::string> Candidates;
    std::vector<std::string> Tree;
    std::string ResultName;
    bool operator==(const Snapshot&) const = default;
};

Snapshot Take(SessionRig& rig)
{
    Snapshot s;
    CGlobalParamTable& session = *rig.Session;
    s.Module = static_cast<int>(session.GetModule());
    s.View = static_cast<int>(session.GetView());
    s.SelectedVolume = session.GetSelectedVolumeIndex();
    s.FileSystems = session.FileSystemMgr().GetCount();
    for (int i = 0; i < s.FileSystems; ++i)
        if (session.FileSystemMgr().GetAt(i) == session.GetCurrentFileSystem()) s.CurrentIndex = i;
    CPartitionList list(session);
    list.Fill();
    for (const tagPartitionRow& row : list.Rows())
    {
        std::string line;
        for (const std::string& column : row.Columns) line += column + "|";
        s.Candidates.push_back(line);
    }
    s.Tree = rig.TreeListing();
    s.ResultName = session.GetResultName();
    return s;
}

class Resume : public ::testing::Test
{
protected:
    void SetUp() override
    {
        disk = MakeTwoVolumeDisk();
        rig.Attach({&disk});
        physical = rig.FindVolume(VOLUME_PHYSICAL, 0);
        fat = rig.FindVolume(VOLUME_BASIC, kFatStart);
        ASSERT_GE(physical, 0);
        ASSERT_GE(fat, 0);
    }
    // An Undelete listing of `volume`, saved as asked (a direct read saves nothing by itself).
    std::string SaveUndelete(int volume, const std::string& name)
    {
        rig.Session->SetModule(EModule::Undelete);
        EXPECT_EQ(rig.Launcher->RecoverButton(volume), 1);
        EXPECT_TRUE(rig.ResumeFiles().empty());
        const std::string path = rig.Dir.File(name);
        EXPECT_EQ(CScanResultStore(*rig.Session).Save(path), 1);
        return path;
    }
    void FullScanAndShowNtfs()
    {
        rig.Session->SetModule(EModule::Advanced);
        ASSERT_EQ(rig.Launcher->RecoverButton(physical), 1);
        CPartitionList list(*rig.Session);
        list.Fill();
        for (size_t i = 0; i < list.Entries().size(); ++i)
            if (list.Entries()[i].Candidate.dwType == 7)
            {
                ASSERT_EQ(list.ShowFiles(static_cast<int>(i)), 1);
                return;
            }
        FAIL() << "no NTFS candidate";
    }

    DiskImage disk{1};
    SessionRig rig;
    int physical = -1, fat = -1;
};

TEST_F(Resume, SaveThenLoadGivesBackTheSameSession)
{
    FullScanAndShowNtfs();
    const Snapshot files = Take(rig);
    ASSERT_GT(files.Tree.size(), 50u);
    ASSERT_GE(files.Candidates.size(), 2u);
    const std::string path = files.ResultName;
    EXPECT_EQ(rig.ResumeFiles(), std::vector<std::string>{path});

    // A second session on the same machine state resumes it.
    rig.Launcher->RefreshDevices();
    rig.Session->SetModule(EModule::Resume);
    CResumeList resume(*rig.Session);
    resume.Refresh();
    ASSERT_EQ(resume.Entries().size(), 1u);
    EXPECT_EQ(resume.Row(0)[1], "Advanced Recovery");
    rig.Port.Views.clear();
    ASSERT_EQ(resume.Continue(0), 1);
    Snapshot loaded = Take(rig);
    EXPECT_EQ(loaded.ResultName, "");
    loaded.ResultName = files.ResultName;
    EXPECT_EQ(loaded, files);
    EXPECT_EQ(rig.Port.Views, std::vector<EView>{EView::Files});

    // A loaded result is only read: changing views does not write it again.
    const std::string saved = Sha256OfFile(path);
    rig.Session->SetView(EView::Partitions);
    EXPECT_EQ(CScanResultStore(*rig.Session).AutoSave(), 0);
    EXPECT_EQ(Sha256OfFile(path), saved);
    EXPECT_EQ(rig.ResumeFiles(), std::vector<std::string>{path});
    rig.Session->SetView(EView::Files);

    // A result saved on the partition list comes back to the partition list without a tree.
    rig.Session->SetView(EView::Partitions);
    const std::string listPath = rig.Dir.File("list.rrs");
    ASSERT_EQ(CScanResultStore(*rig.Session).Save(listPath), 1);
    ASSERT_EQ(CScanResultStore(*rig.Session).Load(listPath), 1);
    EXPECT_EQ(rig.Session->GetView(), EView::Partitions);
    EXPECT_EQ(Take(rig).Candidates, files.Candidates);
    EXPECT_TRUE(rig.TreeListing().empty());
}

// Conditions are part of the stored result: a file that the scan found on unreadable sectors
// is still shown so after the result is loaded, when no scan has read anything.
TEST_F(Resume, ConditionsSurviveTheStoredResult)
{
    FullScanAndShowNtfs();
    CGlobalParamTable& session = *rig.Session;
    IFileSystem* fs = session.GetCurrentFileSystem();
    ASSERT_NE(fs, nullptr);
    std::string marked;
    StreamVector runs;
    for (const auto& [path, record] : TreePaths(session.GetFileTree()))
        if (IsFileRecord(record) && record->byCondition == FN_COND_INTACT && fs->GetDataRuns(record, &runs))
        {
            session.UnreadableSectors().Add(static_cast<uint64_t>(runs[0].s64FirstSector), 1);
            marked = path;
            break;
        }
    ASSERT_FALSE(marked.empty());
    CRecoveryLauncher::RunBuildPhase(session, fs, &session.GetFileTree());
    std::map<std::string, uint8_t> shown;
    for (const auto& [path, record] : TreePaths(session.GetFileTree())) shown[path] = record->byCondition;
    EXPECT_EQ(shown.at(marked), FN_COND_UNREADABLE);

    const std::string path = rig.Dir.File("conditions.rrs");
    ASSERT_EQ(CScanResultStore(session).Save(path), 1);
    rig.Launcher->RefreshDevices();
    ASSERT_TRUE(session.UnreadableSectors().Empty());
    ASSERT_EQ(CScanResultStore(session).Load(path), 1);
    std::map<std::string, uint8_t> loaded;
    for (const auto& [p, record] : TreePaths(session.GetFileTree())) loaded[p] = record->byCondition;
    EXPECT_EQ(loaded, shown);
}

// Each scan is kept under its own name, listed as complete or partial with its device; the
// newest automatic results are kept, and a result its user named is never deleted.
TEST_F(Resume, EveryScanKeepsItsOwnResultAndOnlyOldAutomaticOnesGo)
{
    rig.Session->SetModule(EModule::Advanced);
    ASSERT_EQ(rig.Launcher->RecoverButton(physical), 1);
    const std::string first = rig.Session->GetResultName();
    ASSERT_EQ(rig.Launcher->RecoverButton(fat), 1);
    const std::string second = rig.Session->GetResultName();
    EXPECT_NE(first, second);
    std::vector<std::string> both = {first, second};
    std::sort(both.begin(), both.end());
    EXPECT_EQ(rig.ResumeFiles(), both);
    std::string description;
    uint32_t type = 0;
    ASSERT_EQ(CScanResultStore::ReadHeader(second, &description, nullptr, nullptr, &type), 1);
    EXPECT_EQ(type, static_cast<uint32_t>(VOLUME_BASIC));
    EXPECT_EQ(description,
              CScanResultFile::DescribeVolume(KVolumeManager().Records()[static_cast<size_t>(fat)],
                                              KVolumeManager().Records()[static_cast<size_t>(fat)].VolumeIO));
    CResumeList resume(*rig.Session);
    resume.Refresh();
    ASSERT_EQ(resume.Entries().size(), 2u);
    for (size_t i = 0; i < 2; ++i)
    {
        const std::vector<std::string> row = resume.Row(i);
        ASSERT_EQ(row.size(), CResumeList::Headers().size());
        EXPECT_EQ(row[1], "Advanced Recovery");
        EXPECT_EQ(row[3], rig.Session->SelectedDeviceName());
        EXPECT_EQ(row[4], "complete");
        EXPECT_TRUE(resume.Entries()[i].Status.IsAutomatic());
    }

    // A result saved under the user's own name in the same folder, and many older automatic ones.
    const std::string named = rig.ResumeFolder() + "/mine.rrs";
    ASSERT_EQ(CScanResultStore(*rig.Session).Save(named), 1);
    EXPECT_FALSE(CScanResultFile::ReadStatus(named).IsAutomatic());
    for (int i = 0; i < 30; ++i)
        std::filesystem::copy_file(first, rig.ResumeFolder() + "/old " + std::to_string(i) + ".rrs");
    ASSERT_EQ(rig.Launcher->RecoverButton(fat), 1);
    const std::string third = rig.Session->GetResultName();
    const std::vector<std::string> left = rig.ResumeFiles();
    EXPECT_EQ(left.size(), CScanResultStore::kKeptAutomaticResults + 1);
    EXPECT_NE(std::find(left.begin(), left.end(), named), left.end());
    EXPECT_NE(std::find(left.begin(), left.end(), third), left.end());
}

TEST_F(Resume, ResultOfAVolumeThatIsGoneOrAmbiguousFailsAndKeepsTheSession)
{
    const std::string fatResult = SaveUndelete(fat, "fat.rrs");

    // The partition moved: same size, other start. Another Undelete result is being shown.
    DiskImage moved = MakeTwoVolumeDisk();
    const uint32_t first = static_cast<uint32_t>(kFatStart) + 8;
    std::memcpy(moved.Bytes.data() + 446 + 8, &first, 4);
    rig.Attach({&moved});
    rig.Session->SetModule(EModule::Undelete);
    ASSERT_EQ(rig.Launcher->RecoverButton(rig.FindVolume(VOLUME_BASIC, kNtfsStart)), 1);
    const Snapshot shown = Take(rig);
    CResumeList resume(*rig.Session);
    rig.Port.Messages.clear();
    EXPECT_EQ(resume.LoadFile(fatResult), 0);
    EXPECT_EQ(rig.Port.Texts(),
              std::vector<std::string>{
                  "Failed to resume the last recovery result!\n\nPlease make sure the device is attached on system."});
    EXPECT_EQ(Take(rig), shown);

    // Back in place it loads; with a second volume of the same identity it is ambiguous.
    rig.Attach({&disk});
    rig.Session->SetModule(EModule::Undelete);
    ASSERT_EQ(rig.Launcher->RecoverButton(rig.FindVolume(VOLUME_BASIC, kNtfsStart)), 1);
    const Snapshot again = Take(rig);
    KVolumeManager volumes;
    tagVolumeInfo twin = volumes.Records()[static_cast<size_t>(fat)];
    twin.VolumeIO = new MemoryVolume(std::vector<uint8_t>(512 * 16));
    const uint32_t twinIndex = volumes.AddRecord(twin);
    rig.Port.Messages.clear();
    EXPECT_EQ(resume.LoadFile(fatResult), 0);
    EXPECT_EQ(rig.Port.Texts("warning").size(), 1u);
    EXPECT_EQ(Take(rig), again);
    volumes.RemoveRecord(twinIndex);
    EXPECT_EQ(resume.LoadFile(fatResult), 1);
    EXPECT_EQ(rig.Session->GetSelectedVolumeIndex(), fat);
}

TEST_F(Resume, ReadOnlyResultLoads)
{
    const std::string path = SaveUndelete(fat, "read-only.rrs");
    const Snapshot saved = Take(rig);
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    rig.Launcher->RefreshDevices();
    ASSERT_EQ(CScanResultStore(*rig.Session).Load(path), 1);
    Snapshot loaded = Take(rig);
    loaded.ResultName = saved.ResultName;
    EXPECT_EQ(loaded, saved);
}

TEST_F(Resume, FailedSaveKeepsThePreviousResult)
{
    rig.Session->SetModule(EModule::Undelete);
    ASSERT_EQ(rig.Launcher->RecoverButton(fat), 1);
    const std::string path = rig.Dir.File("kept.rrs");
    ASSERT_EQ(CScanResultStore(*rig.Session).Save(path), 1);
    const std::string good = Sha256OfFile(path);

    // The next save fails part way, as on a full disk: files may grow to 512 bytes only.
    CPartitionList list(*rig.Session);
    rig.Port.Messages.clear();
    {
        FileSizeLimit limit(512);
        ASSERT_TRUE(limit.Ok());
        EXPECT_FALSE(list.SaveAs(path));
    }
    EXPECT_EQ(rig.Port.Texts("error"), std::vector<std::string>{"Failed to save the scan result to '" + path + "'."});
    EXPECT_EQ(Sha256OfFile(path), good);
    for (const auto& e : std::filesystem::directory_iterator(rig.Dir.Path()))
        EXPECT_NE(e.path().extension(), ".tmp") << "the partial temporary file is removed: " << e.path();

    // No folder to write into; an empty path.
    rig.Port.Messages.clear();
    EXPECT_FALSE(list.SaveAs(rig.Dir.File("missing/x.rrs")));
    EXPECT_FALSE(list.SaveAs(""));
    EXPECT_EQ(rig.Port.Texts("error").back(), "The path name cannot be empty.");
    EXPECT_EQ(rig.Port.Texts("error").size(), 2u);
}

// A symbolic link planted where the save puts its temporary file (the attacker guesses the
// name) is never followed: the file it points to stays as it was, and the result is whole.
TEST_F(Resume, APlantedLinkAtTheTemporaryNameIsNeverFollowed)
{
    rig.Session->SetModule(EModule::Undelete);
    ASSERT_EQ(rig.Launcher->RecoverButton(fat), 1);
    const std::string path = rig.Dir.File("result.rrs");
    const std::string victim = rig.Dir.File("victim");
    WriteFileBytes(victim, {1, 2, 3});
    for (int n = 0; n < 4; ++n)
        ASSERT_EQ(::symlink(victim.c_str(),
                            (path + "." + std::to_string(::getpid()) + "-" + std::to_string(n) + ".tmp").c_str()),
                  0);
    ASSERT_EQ(::symlink(victim.c_str(), (path + ".tmp").c_str()), 0);
    ASSERT_EQ(CScanResultStore(*rig.Session).Save(path), 1);
    EXPECT_EQ(ReadFileBytes(victim), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(CScanResultStore::ReadHeader(path, nullptr, nullptr, nullptr, nullptr), 1);
}

// Every byte of a small result flipped, and the file cut at every length: the loader never
// crashes, and a load that fails leaves the session exactly as it was.
TEST_F(Resume, DamagedResultsNeverCrashAndKeepTheSession)
{
    DiskImage small(64 + 2880 + 64);
    small.Partition(0, 0x01, 64, LoadFixtureImage("fat12-floppy"));
    rig.Attach({&small});
    const int floppy = rig.FindVolume(VOLUME_BASIC, 64);
    ASSERT_GE(floppy, 0);
    const std::string path = SaveUndelete(floppy, "floppy.rrs");
    const std::vector<uint8_t> good = ReadFileBytes(path);
    ASSERT_GT(good.size(), 200u);
    std::printf("result file of %zu bytes\n", good.size());
    ASSERT_LT(good.size(), 64u * 1024);
    const Snapshot before = Take(rig);
    const std::string damaged = rig.Dir.File("damaged.rrs");

    int loaded = 0;
    auto attempt = [&](const std::vector<uint8_t>& bytes, const std::string& what) {
        WriteFileBytes(damaged, bytes);
        if (CScanResultStore(*rig.Session).Load(damaged))
        {
            ++loaded;
            // Start the next attempt from the original session again.
            ASSERT_EQ(CScanResultStore(*rig.Session).Load(path), 1);
            rig.Session->SetResultName(before.ResultName);
            return;
        }
        const Snapshot after = Take(rig);
        ASSERT_EQ(after, before) << what;
    };
    for (size_t i = 0; i < good.size(); ++i)
    {
        std::vector<uint8_t> bytes = good;
        bytes[i] ^= static_cast<uint8_t>(0x5A + i);
        attempt(bytes, "flip at " + std::to_string(i));
        if (HasFatalFailure()) return;
    }
    for (size_t n = 0; n < good.size(); ++n)
    {
        attempt(std::vector<uint8_t>(good.begin(), good.begin() + static_cast<long>(n)), "cut at " + std::to_string(n));
        if (HasFatalFailure()) return;
    }
    // Flips inside names and times still load; the signature, counts and volume do not.
    EXPECT_GT(loaded, 0);
    EXPECT_LT(loaded, static_cast<int>(good.size()));
}

} // namespace
