// Saving the selected part of a tree (numbered names, partly selected folders, failures that
// are counted and listed, cancel between and inside copies, the target checks) and the order
// of the device list.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <set>

#include "FakeUserPort.h"
#include "support/HandTree.h"
#include "base/VlmErrors.h"
#include "core/DeviceList.h"
#include "device/IDeviceIO.h"
#include "core/SaveSetting.h"
#include "core/SaveWalker.h"
#include "os/OsFile.h"
#include "core/VlmStrings.h"
#include "support/IdleFileSystem.h"
#include "support/TestFiles.h"
#include "volume/VolumeTypes.h"
#include "volume/tagVolumeInfo.h"

namespace {

// Writes each record's size in bytes of its first name letter; fails the names it is told to.
class WritingFs final : public IdleFileSystem
{
public:
    explicit WritingFs(const KFileNode& store) : m_Store(store) {}

    uint32_t SaveFile(const tagFileNode* record, const std::string& path) override
    {
        Attempts.push_back(path);
        const std::string name = m_Store.GetName(record);
        if (BeforeCopy) BeforeCopy(name);
        if (Failing.count(name)) return ERROR_DISK_FULL;
        if (const auto it = Unread.find(name); it != Unread.end()) AddUnreadBytes(it->second);
        OsFile file;
        if (const uint32_t rc = file.CreateNew(path); rc != ERROR_SUCCESS) return rc;
        SetMaxValue(record->s64Size);
        // The copy polls for a cancel like the real ones do, once per piece, and leaves nothing.
        for (int64_t done = 0; done < record->s64Size; done += 100)
        {
            if (IsCanceled())
            {
                file.Close();
                OsDeleteFile(path);
                return ERROR_CANCELLED;
            }
            const std::string piece(static_cast<size_t>(std::min<int64_t>(100, record->s64Size - done)), name[0]);
            file.Write(piece.data(), piece.size());
            SetValue(done);
        }
        // An encrypted file is written with a raw backup beside it, as the NTFS copy does.
        if (record->wAttributes & FN_ATTR_ENCRYPTED)
        {
            OsFile backup;
            if (const uint32_t rc = backup.CreateNew(path + ".$EFS"); rc != ERROR_SUCCESS) return rc;
            backup.Write("EFS", 3);
            backup.Close();
        }
        return file.Close();
    }

    std::set<std::string> Failing;
    std::map<std::string, uint64_t> Unread; // bytes the copy of a name could not read
    std::function<void(const std::string&)> BeforeCopy;
    std::vector<std::string> Attempts;

private:
    const KFileNode& m_Store;
};

class Observer final : public ISaveObserver
{
public:
    void OnCurrentFile(const std::string& path) override { Current.push_back(path); }
    void OnFileSaved(const std::string& path) override { Saved.push_back(path); }
    void OnCounts(uint32_t, uint32_t) override {}
    void OnFileProgress(int64_t position, int64_t) override
    {
        if (CancelInFile == static_cast<int>(Current.size()) && position > 0) Cancelled = true;
    }
    bool IsCanceled() override { return Cancelled; }

    int CancelInFile = -1; // cancel inside the copy of the n-th file (1-based)
    bool Cancelled = false;
    std::vector<std::string> Current;
    std::vector<std::string> Saved;
};

std::map<std::string, uintmax_t> Files(const std::string& folder)
{
    std::map<std::string, uintmax_t> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder))
    {
        if (e.is_regular_file()) files[std::filesystem::relative(e.path(), folder).string()] = e.file_size();
    }
    return files;
}

// Every multi-byte sequence complete (the names here are valid UTF-8 before they are cut).
bool WholeUtf8(const std::string& s)
{
    for (size_t i = 0; i < s.size();)
    {
        const auto c = static_cast<unsigned char>(s[i]);
        const size_t n = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
        if (n == 0 || i + n > s.size()) return false;
        i += n;
    }
    return true;
}

} // namespace

TEST(SaveWalker, NumberedNamesAndPartlySelectedFolders)
{
    TempDir dir;
    HandTree h;
    h.File(h.Root(), "report.doc", 300);
    tagTreeNode* photos = h.Folder(h.Root(), "Photos");
    tagTreeNode* keep = h.File(photos, "keep.jpg", 250);
    h.File(photos, "skip.jpg", 250);
    h.File(h.Root(), "..", 10); // a hostile name stays inside the target
    h.File(h.Root(), "a/b", 10);
    h.File(h.Root(), "secret.bin", 20)->pRecord->wAttributes |= FN_ATTR_ENCRYPTED;
    WriteFileBytes(dir.File("secret.bin"), {1});
    WriteFileBytes(dir.File("report.doc"), {1});
    WriteFileBytes(dir.File("report(1).doc"), {1});
    ASSERT_EQ(OsCreateFolder(dir.File("Photos")), 0u);

    h.Tree.SetCheck(h.Root(), true);
    h.Tree.SetCheck(photos->pFirstChild->pNext, false); // Photos is now partly selected
    ASSERT_EQ(photos->byCheck, TN_PARTLY);
    ASSERT_EQ(keep->byCheck, TN_CHECKED);

    WritingFs fs(h.Store);
    Observer observer;
    CSaveWalker walker(h.Tree, fs, observer);
    const tagSaveOutcome outcome = walker.Run(dir.Path());
    EXPECT_TRUE(outcome.bCompleted);
    EXPECT_EQ(outcome.dwSelected, 5u);
    EXPECT_EQ(outcome.dwSaved, 5u);
    EXPECT_TRUE(outcome.Failures.empty());
    const auto files = Files(dir.Path());
    // The backup takes the name its file took; no temporary name is left.
    EXPECT_EQ(files.at("secret(1).bin"), 20u);
    EXPECT_EQ(files.at("secret(1).bin.$EFS"), 3u);
    EXPECT_EQ(files.size(), 9u) << "report.doc, report(1).doc, secret.bin, five saved files and one backup";
    EXPECT_EQ(files.at("report(2).doc"), 300u);
    EXPECT_EQ(files.at("Photos(1)/keep.jpg"), 250u);
    EXPECT_EQ(files.count("Photos(1)/skip.jpg"), 0u);
    EXPECT_EQ(files.at("_.."), 10u);
    EXPECT_EQ(files.at("a_b"), 10u);
    EXPECT_EQ(observer.Saved.front(), dir.File("report(2).doc"));
    EXPECT_EQ(CSaveWalker::NumberedFilePath("x/name.tar.gz", 7), "x/name.tar(7).gz");
    EXPECT_EQ(CSaveWalker::NumberedFilePath("x.d/README", 1), "x.d/README(1)");
}

TEST(SaveWalker, FailuresAreCountedAndListedNotSwallowed)
{
    TempDir dir;
    HandTree h;
    h.File(h.Root(), "good.txt", 10);
    h.File(h.Root(), "bad.txt", 10);
    h.File(h.Root(), "taken.txt", 10);
    // All hundred names of taken.txt exist already.
    WriteFileBytes(dir.File("taken.txt"), {1});
    for (int n = 1; n < CSaveWalker::kMaxAttempts; ++n)
        WriteFileBytes(dir.File("taken(" + std::to_string(n) + ").txt"), {1});
    h.Tree.SetCheck(h.Root(), true);

    WritingFs fs(h.Store);
    fs.Failing = {"bad.txt"};
    Observer observer;
    const tagSaveOutcome outcome = CSaveWalker(h.Tree, fs, observer).Run(dir.Path());
    EXPECT_TRUE(outcome.bCompleted);
    EXPECT_EQ(outcome.dwSaved, 1u);
    ASSERT_EQ(outcome.Failures.size(), 2u);
    EXPECT_EQ(outcome.Failures[0].strPath, dir.File("bad.txt"));
    EXPECT_EQ(outcome.Failures[0].dwError, ERROR_DISK_FULL);
    EXPECT_EQ(outcome.Failures[1].strPath, dir.File("taken.txt"));
    EXPECT_EQ(outcome.Failures[1].dwError, ERROR_FILE_EXISTS);
    EXPECT_FALSE(outcome.IsWhole());
    // Each small file is copied once under its own name; taken.txt, whose name is taken, once
    // more under a temporary name, which is gone again: no half file, no stray copy.
    EXPECT_EQ(fs.Attempts.size(), 4u);
    EXPECT_EQ(Files(dir.Path()).size(), static_cast<size_t>(CSaveWalker::kMaxAttempts) + 1);
}

TEST(SaveWalker, CancelInsideTheThirdOfFiveFiles)
{
    TempDir dir;
    HandTree h;
    for (const char* name : {"1.bin", "2.bin", "3.bin", "4.bin", "5.bin"}) h.File(h.Root(), name, 1000);
    h.Tree.SetCheck(h.Root(), true);
    WritingFs fs(h.Store);
    Observer observer;
    observer.CancelInFile = 3;
    const tagSaveOutcome outcome = CSaveWalker(h.Tree, fs, observer).Run(dir.Path());
    EXPECT_FALSE(outcome.bCompleted);
    EXPECT_EQ(outcome.dwSaved, 2u);
    EXPECT_TRUE(outcome.Failures.empty()); // a cancel is no failure
    // The copy of the third removed what it had written: only whole files stay.
    const auto files = Files(dir.Path());
    EXPECT_EQ(files, (std::map<std::string, uintmax_t>{{"1.bin", 1000u}, {"2.bin", 1000u}}));
    EXPECT_EQ(fs.GetClient(), IProgress_Client::Idle());
}

TEST(SaveWalker, DamagedFilesAreSavedButNotCalledWhole)
{
    TempDir dir;
    HandTree h;
    h.File(h.Root(), "whole.jpg", 300);
    h.File(h.Root(), "hurt.jpg", 300);
    h.Tree.SetCheck(h.Root(), true);
    WritingFs fs(h.Store);
    fs.Unread = {{"hurt.jpg", 512}};
    Observer observer;
    const tagSaveOutcome outcome = CSaveWalker(h.Tree, fs, observer).Run(dir.Path());
    EXPECT_EQ(outcome.dwSaved, 2u);
    EXPECT_TRUE(outcome.Failures.empty());
    ASSERT_EQ(outcome.Damaged.size(), 1u);
    EXPECT_EQ(outcome.Damaged[0].strPath, dir.File("hurt.jpg"));
    EXPECT_EQ(outcome.Damaged[0].u64UnreadBytes, 512u);
    EXPECT_FALSE(outcome.IsWhole());
    EXPECT_EQ(Files(dir.Path()).size(), 2u);
}

TEST(SaveWalker, AFolderThatCannotBeMadeCountsItsFilesAsNotSaved)
{
    TempDir dir;
    HandTree h;
    tagTreeNode* photos = h.Folder(h.Root(), "Photos");
    h.File(photos, "a.jpg", 10);
    h.File(h.Folder(photos, "More"), "b.jpg", 10);
    h.File(h.Root(), "c.txt", 10);
    h.Tree.SetCheck(h.Root(), true);
    // Every name the folder could take is a file already.
    WriteFileBytes(dir.File("Photos"), {1});
    for (int n = 1; n < CSaveWalker::kMaxAttempts; ++n)
        WriteFileBytes(dir.File("Photos(" + std::to_string(n) + ")"), {1});
    WritingFs fs(h.Store);
    Observer observer;
    const tagSaveOutcome outcome = CSaveWalker(h.Tree, fs, observer).Run(dir.Path());
    EXPECT_TRUE(outcome.bCompleted);
    EXPECT_EQ(outcome.dwSaved, 1u);
    EXPECT_EQ(outcome.dwSkipped, 2u);
    ASSERT_EQ(outcome.Folders.size(), 1u);
    EXPECT_EQ(outcome.Folders[0].strPath, dir.File("Photos"));
    EXPECT_FALSE(outcome.IsWhole());
}

TEST(SaveWalker, AFolderSwappedForALinkDuringSavingRedirectsNothing)
{
    TempDir dir;
    TempDir outside;
    HandTree h;
    tagTreeNode* photos = h.Folder(h.Root(), "Photos");
    h.File(photos, "a.jpg", 10);
    h.File(photos, "b.jpg", 10);
    h.Tree.SetCheck(h.Root(), true);
    WritingFs fs(h.Store);
    // Between the two copies the saved folder is moved away and a link to a folder outside
    // the target takes its name.
    fs.BeforeCopy = [&](const std::string& name) {
        if (name != "b.jpg") return;
        std::filesystem::rename(dir.File("Photos"), dir.File("Moved"));
        std::filesystem::create_directory_symlink(outside.Path(), dir.File("Photos"));
    };
    Observer observer;
    const tagSaveOutcome outcome = CSaveWalker(h.Tree, fs, observer).Run(dir.Path());
    EXPECT_TRUE(outcome.IsWhole());
    EXPECT_TRUE(std::filesystem::is_empty(outside.Path()));
    EXPECT_EQ(Files(dir.File("Moved")), (std::map<std::string, uintmax_t>{{"a.jpg", 10u}, {"b.jpg", 10u}}));
}

TEST(SaveWalker, NamesTooLongForTheTargetAreShortenedAndListed)
{
    std::string accents;
    for (int i = 0; i < 200; ++i) accents += "\xC3\xA9"; // é, two bytes
    std::string han;
    for (int i = 0; i < 255; ++i) han += "\xE4\xB8\xAD"; // 中, three bytes
    TempDir dir;
    HandTree h;
    h.File(h.Root(), accents + ".txt", 10);
    h.File(h.Root(), accents + "x.txt", 10); // shortens to the same name as the first
    h.File(h.Folder(h.Root(), han), "in.txt", 10);
    h.Tree.SetCheck(h.Root(), true);
    WritingFs fs(h.Store);
    Observer observer;
    const tagSaveOutcome outcome = CSaveWalker(h.Tree, fs, observer).Run(dir.Path());
    EXPECT_TRUE(outcome.IsWhole());
    EXPECT_EQ(outcome.dwSaved, 3u);
    EXPECT_EQ(outcome.Renamed.size(), 3u);
    for (const auto& [path, size] : Files(dir.Path()))
    {
        EXPECT_EQ(path.substr(path.size() - 4), ".txt") << "the extension is kept";
        for (const auto& part : std::filesystem::path(path))
        {
            const std::string name = part.string();
            EXPECT_LE(name.size(), CSaveWalker::kMaxNameBytes) << name;
            EXPECT_TRUE(WholeUtf8(name)) << "the cut fell inside a character: " << name;
        }
    }
    const std::string fitted = CSaveWalker::FitName(accents + ".txt");
    EXPECT_EQ(fitted.substr(fitted.size() - 4), ".txt");
    EXPECT_EQ(CSaveWalker::FitName("short.txt"), "short.txt");
}

TEST(SaveSetting, TargetAndSpaceChecks)
{
    TempDir dir;
    const tagSpaceFigures figures = CSaveSetting::SpaceFigures(dir.Path(), 10000, 10);
    ASSERT_TRUE(figures.bKnown);
    EXPECT_EQ(figures.u64Required, 10000u + 40960u);
    EXPECT_FALSE(figures.strFree.empty());
    EXPECT_EQ(figures.strRequired, "49.77KB");
    EXPECT_FALSE(CSaveSetting::SpaceFigures(dir.File("nowhere"), 1, 1).bKnown);

    EXPECT_EQ(CSaveSetting::Check("", 1, 1), static_cast<uint32_t>(IDS_PLEASE_SELECT_TARGET_DIR));
    EXPECT_EQ(CSaveSetting::Check(dir.File("nowhere"), 1, 1), static_cast<uint32_t>(IDS_PATH_NOT_EXIST));
    WriteFileBytes(dir.File("plain"), {1});
    EXPECT_EQ(CSaveSetting::Check(dir.File("plain"), 1, 1), static_cast<uint32_t>(IDS_PATH_NOT_EXIST));
    EXPECT_EQ(CSaveSetting::Check(dir.Path(), 1, 1), 0u);
    EXPECT_EQ(CSaveSetting::Check(dir.Path(), uint64_t{1} << 62, 1), static_cast<uint32_t>(IDS_NOT_ENOUGH_SPACE));
}

TEST(DeviceList, RowOrderPerModule)
{
    auto key = [](int32_t type, uint32_t kind, uint32_t number, const char* drive) {
        tagDeviceKey k;
        k.nVolumeType = type;
        k.dwDeviceKind = kind;
        k.dwDeviceNumber = number;
        k.strDrive = drive;
        return k;
    };
    const std::vector<tagDeviceKey> keys = {
        key(VOLUME_PHYSICAL, DEVICE_HARDDISK, 0, ""),  // 0
        key(VOLUME_PHYSICAL, DEVICE_HARDDISK, 1, ""),  // 1
        key(VOLUME_BASIC, DEVICE_HARDDISK, 1, "D:"),   // 2 on disk 1
        key(VOLUME_BASIC, DEVICE_HARDDISK, 0, "C:"),   // 3 on disk 0
        key(VOLUME_DELETED, DEVICE_HARDDISK, 0, ""),   // 4 on disk 0
        key(VOLUME_BASIC, DEVICE_FLOPPY, 0, "A:"),     // 5 a floppy
        key(VOLUME_SPANNED, DEVICE_HARDDISK, 0, "E:"), // 6 spans disks
        key(VOLUME_SIMPLE, DEVICE_HARDDISK, 1, "F:"),  // 7 dynamic, on disk 1
    };
    auto text = [](const std::vector<tagDeviceRowRef>& rows) {
        std::string s;
        for (const tagDeviceRowRef& r : rows) s += (r.bIndented ? ">" : "") + std::to_string(r.nVolume) + " ";
        return s;
    };
    // Undelete: volumes by drive letter (none first), then the physical devices.
    EXPECT_EQ(text(CDeviceList::Order(keys, EModule::Undelete)), "4 5 3 2 6 7 0 1 ");
    // Advanced and Deep Scan: devices with their volumes indented; floppies and spanning
    // volumes at the top level.
    EXPECT_EQ(text(CDeviceList::Order(keys, EModule::Advanced)), "0 >3 >4 1 >2 >7 5 6 ");
    EXPECT_EQ(text(CDeviceList::Order(keys, EModule::DeepScan)), text(CDeviceList::Order(keys, EModule::Advanced)));
}
