// The file list over a real tree: its models, filter and find, saving under numbered names and
// cancelling a save.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <QTreeView>

#include "CAdvancedFilterDlg.h"
#include "CBothViewAndManager.h"
#include "CDeviceListCtrl.h"
#include "CDeviceSelectDlg.h"
#include "CFileListDlg.h"
#include "CFileListModel.h"
#include "CFolderTreeModel.h"
#include "CMainFrame.h"
#include "CSaveSettingDlg.h"
#include "CSavingFileDlg.h"
#include "CStartPageDlg.h"
#include "GuiIcons.h"
#include "GuiRig.h"
#include "core/CGlobalParamTable.h"
#include "fs/KFileNode.h"
#include "fs/KNodeTree.h"
#include "support/HandTree.h"

namespace {

// Advanced Recovery, "Open" on the FAT16 volume: every file, present and deleted.
class OpenedVolume : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Files = Rig.OpenVolume("fat16-nested", "FAT16");
        ASSERT_NE(Files, nullptr);
    }

    // The folder of the tree shown at `path` ("Photos/Summer").
    tagTreeNode* Folder(const QString& path) { return Files->FolderModel()->NodeOf(GuiRig::FolderIndex(Files, path)); }

    // Ticks the row named `name` of the list showing `folder`.
    void Tick(const QString& folder, const QString& name)
    {
        Files->FileModel()->setData(GuiRig::SelectRow(Files, folder, name), Qt::Checked, Qt::CheckStateRole);
    }

    // Plays the filter dialog: `fill` sets its fields, then OK.
    void RunFilter(const std::function<void(CAdvancedFilterDlg&)>& fill)
    {
        Rig.OnDialog = [fill](QDialog& dialog) {
            auto* filter = qobject_cast<CAdvancedFilterDlg*>(&dialog);
            if (!filter) return int(QDialog::Rejected);
            fill(*filter);
            filter->accept();
            return filter->result();
        };
        Files->Filter();
    }

    GuiRig Rig;
    CFileListDlg* Files = nullptr;
};

} // namespace

TEST_F(OpenedVolume, ModelsFollowTheTreeAndItsSelection)
{
    QAbstractItemModelTester folders(Files->FolderModel(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    QAbstractItemModelTester list(Files->FileModel(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_TRUE(Files->TotalStatus().endsWith("in 20 files.")) << Files->TotalStatus().toStdString();

    Files->ShowFolder(Folder("Projects/2021/Alpha/Design"));
    CFileListModel* model = Files->FileModel();
    ASSERT_GE(model->rowCount(), 3);
    // Sorting by size puts the sizes in order; column -1 gives back the tree's own order.
    std::vector<tagTreeNode*> original;
    for (int r = 0; r < model->rowCount(); ++r) original.push_back(model->NodeAt(r));
    model->sort(CFileListModel::kSize, Qt::DescendingOrder);
    EXPECT_EQ(model->index(0, CFileListModel::kName).data().toString(), "Interface definitions.txt");
    EXPECT_EQ(model->index(0, CFileListModel::kSize).data().toString(), "68.36KB");
    // The condition column: a word and an icon for each file, nothing for a folder; folders
    // sort first.
    EXPECT_EQ(model->headerData(CFileListModel::kCondition, Qt::Horizontal).toString(), "Condition");
    model->sort(CFileListModel::kCondition);
    EXPECT_TRUE(GuiIcons::IsFolderNode(model->NodeAt(0)));
    for (int r = 0; r < model->rowCount(); ++r)
    {
        const QModelIndex cell = model->index(r, CFileListModel::kCondition);
        const bool folder = GuiIcons::IsFolderNode(model->NodeAt(r));
        EXPECT_EQ(cell.data().toString(), folder ? QString() : QString("intact")) << r;
        EXPECT_EQ(cell.data(Qt::DecorationRole).isNull(), folder) << r;
    }
    model->sort(-1);
    for (int r = 0; r < model->rowCount(); ++r) EXPECT_EQ(model->NodeAt(r), original[size_t(r)]);

    // A tick in the list marks the folders above as partly selected and counts the file.
    Tick("Projects/2021/Alpha/Design", "Design overview.txt");
    EXPECT_EQ(Files->SelectedStatus().toStdString(), "Selected 11.72KB in 1 files.");
    const QModelIndex projects = Files->FolderModel()->IndexOf(Folder("Projects"));
    EXPECT_EQ(projects.data(Qt::CheckStateRole).toInt(), Qt::PartiallyChecked);
    // A tick on a folder selects everything below it, shown in the list at once.
    Files->FolderModel()->setData(Files->FolderModel()->IndexOf(Folder("Projects/2021/Alpha")), Qt::Checked,
                                  Qt::CheckStateRole);
    for (int r = 0; r < model->rowCount(); ++r)
        EXPECT_EQ(model->index(r, 0).data(Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_TRUE(Files->SelectedStatus().endsWith("in 5 files.")) << Files->SelectedStatus().toStdString();
}

TEST_F(OpenedVolume, FilterNarrowsAndRestoresTheList)
{
    RunFilter([](CAdvancedFilterDlg& d) {
        d.ByNameBox()->setChecked(true);
        d.NameList()->setEditText("REPORT");
    });
    // A plain word is searched anywhere in the name, ignoring case.
    EXPECT_TRUE(Files->TotalStatus().endsWith("in 1 files.")) << Files->TotalStatus().toStdString();
    EXPECT_TRUE(Folder("Projects/2020/Gamma"));
    EXPECT_FALSE(Folder("Photos"));

    RunFilter([](CAdvancedFilterDlg& d) {
        d.ByNameBox()->setChecked(true);
        d.NameList()->setEditText("*.txt; *.csv");
        d.BySizeBox()->setChecked(true);
        d.SizeFrom()->setValue(10);
        d.SizeTo()->setValue(40);
    });
    // 12000, 20000, 21000 and 33000 bytes.
    EXPECT_TRUE(Files->TotalStatus().endsWith("in 4 files.")) << Files->TotalStatus().toStdString();

    RunFilter([](CAdvancedFilterDlg& d) {
        d.ShowNormalBox()->setChecked(false);
        d.NoFilterButton()->setChecked(true);
    });
    // "Do not use filter" shows both kinds again.
    EXPECT_TRUE(Files->TotalStatus().endsWith("in 20 files.")) << Files->TotalStatus().toStdString();

    RunFilter([](CAdvancedFilterDlg& d) {
        d.UseFilterButton()->setChecked(true);
        d.ShowNormalBox()->setChecked(false);
        d.ShowDeletedBox()->setChecked(true);
    });
    EXPECT_TRUE(Files->TotalStatus().endsWith("in 7 files.")) << Files->TotalStatus().toStdString();
}

TEST_F(OpenedVolume, FindGoesThroughTheFoldersAndWrapsRound)
{
    std::vector<QString> hits;
    for (int i = 0; i < 3; ++i)
    {
        ASSERT_TRUE(Files->FindNext("captions", false, false)) << Rig.MessagesText();
        const tagTreeNode* file = Files->CurrentFile();
        ASSERT_TRUE(file);
        hits.push_back(Files->FileModel()->index(Files->FileModel()->RowOf(file), 0).data().toString() + "@" +
                       Files->FolderModel()->IndexOf(Files->CurrentFolder()).data().toString());
    }
    // Both folders' files in turn, then round again.
    EXPECT_TRUE(hits[0].startsWith("captions.txt@", Qt::CaseInsensitive)) << hits[0].toStdString();
    EXPECT_TRUE(hits[1].startsWith("captions.txt@", Qt::CaseInsensitive)) << hits[1].toStdString();
    EXPECT_NE(hits[0], hits[1]);
    EXPECT_EQ(hits[2], hits[0]);
    // Case is respected when asked; a whole-word search does not add stars.
    EXPECT_FALSE(Files->FindNext("CaPtIoNs", true, false));
    EXPECT_TRUE(Rig.SawMessage("No files found.")) << Rig.MessagesText();
    EXPECT_FALSE(Files->FindNext("caption", false, true));
    EXPECT_TRUE(Files->FindNext("captions.txt", false, true));
}

TEST_F(OpenedVolume, SavingTwiceGivesNumberedNamesAndSameBytes)
{
    Tick("", "autoexec.txt");
    Files->FolderModel()->setData(Files->FolderModel()->IndexOf(Folder("Photos")), Qt::Checked, Qt::CheckStateRole);
    const std::string target = Rig.Temp().File("twice");
    std::filesystem::create_directories(target);
    Rig.OnDialog = [&target](QDialog& dialog) {
        auto* setting = qobject_cast<CSaveSettingDlg*>(&dialog);
        if (!setting) return int(QDialog::Rejected);
        setting->PathEdit()->setText(QString::fromStdString(target));
        EXPECT_FALSE(setting->FreeText().isEmpty());
        // 5 files of 9700 bytes, and 4096 bytes of slack for each.
        EXPECT_EQ(setting->RequiredText().toStdString(), "29.47KB");
        setting->accept();
        return setting->result();
    };
    Files->SaveFiles();
    Files->SaveFiles();
    const auto tree = HashTree(target);
    std::map<std::string, std::string> expected;
    for (const ManifestFile& e : LoadManifest("fat16-nested").Files) expected[e.Path] = e.Sha256;
    EXPECT_EQ(tree.size(), 10u);
    // The second copy of each file and folder takes the first free numbered name.
    const std::pair<const char*, const char*> copies[] = {
        {"autoexec.txt", "autoexec.txt"},
        {"autoexec(1).txt", "autoexec.txt"},
        {"Photos/Summer/IMG_0002.bin", "Photos/Summer/IMG_0002.bin"},
        {"Photos(1)/Summer/IMG_0002.bin", "Photos/Summer/IMG_0002.bin"},
        {"Photos(1)/Summer/captions.txt", "Photos/Summer/captions.txt"},
        {"Photos(1)/Winter/captions.txt", "Photos/Winter/captions.txt"},
    };
    for (const auto& [saved, original] : copies)
    {
        const std::string path = FindRecovered(tree, saved);
        ASSERT_FALSE(path.empty()) << saved;
        EXPECT_EQ(tree.at(path), expected.at(original)) << saved;
    }
}

TEST_F(OpenedVolume, CancelDuringSavingAsksAndStops)
{
    Files->FolderModel()->setData(Files->FolderModel()->index(0, 0), Qt::Checked, Qt::CheckStateRole);
    // Presses Cancel as soon as the saving window is up.
    int presses = 0;
    std::function<void()> press = [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
        {
            if (auto* saving = qobject_cast<CSavingFileDlg*>(w); saving && saving->isVisible())
            {
                ++presses;
                saving->CancelButton()->click();
                return;
            }
        }
        QTimer::singleShot(0, press);
    };

    // No: saving goes on to the end.
    std::string target = Rig.Temp().File("kept");
    std::filesystem::create_directories(target);
    Rig.OnDialog = GuiRig::SaveTo(target);
    Rig.Answers = {QMessageBox::No};
    QTimer::singleShot(0, press);
    Files->SaveFiles();
    EXPECT_EQ(presses, 1);
    EXPECT_TRUE(Rig.SawMessage("Are you sure you want to cancel saving?"));
    EXPECT_TRUE(Rig.SawMessage("OK! The selected files are saved")) << Rig.MessagesText();
    EXPECT_EQ(HashTree(target).size(), 20u);

    // Yes: the walk stops before the next file and no success is claimed.
    Rig.Messages.clear();
    target = Rig.Temp().File("stopped");
    std::filesystem::create_directories(target);
    Rig.OnDialog = GuiRig::SaveTo(target);
    Rig.Answers = {QMessageBox::Yes};
    QTimer::singleShot(0, press);
    Files->SaveFiles();
    EXPECT_EQ(presses, 2);
    EXPECT_FALSE(Rig.SawMessage("OK! The selected files are saved")) << Rig.MessagesText();
    EXPECT_TRUE(HashTree(target).empty());
}

TEST_F(OpenedVolume, AllFilesListsEveryFileWithItsFolder)
{
    // What the tree holds, walked here on its own: "/folder/…/name" of every file.
    const KNodeTree& tree = Rig.Frame().Session().GetCurrentTree();
    std::multiset<std::string> expected;
    std::function<void(const tagTreeNode*, const std::string&)> walk = [&](const tagTreeNode* folder,
                                                                           const std::string& path) {
        for (const tagTreeNode* c = folder->pFirstChild; c; c = c->pNext)
        {
            if (c->pFirstChild)
                walk(c, path + "/" + tree.GetName(c));
            else if (!GuiIcons::IsFolderNode(c))
                expected.insert(path + "/" + tree.GetName(c));
        }
    };
    walk(tree.GetRoot(), "");
    ASSERT_EQ(expected.size(), 20u);

    CFileListModel* model = Files->FileModel();
    QSignalSpy filled(model, &CFileListModel::FlatFilled);
    Files->AllFilesBox()->setChecked(true);
    ASSERT_TRUE(filled.count() > 0 || filled.wait(5000));
    EXPECT_FALSE(Files->FileView()->isColumnHidden(CFileListModel::kPath));
    EXPECT_EQ(model->headerData(CFileListModel::kPath, Qt::Horizontal).toString(), "Path");
    std::multiset<std::string> listed;
    for (int r = 0; r < model->rowCount(); ++r)
    {
        const QString path = model->index(r, CFileListModel::kPath).data().toString();
        listed.insert((path == "/" ? QString() : path).toStdString() + "/" +
                      model->index(r, CFileListModel::kName).data().toString().toStdString());
    }
    EXPECT_EQ(listed, expected);
    EXPECT_EQ(listed.count("/Projects/2021/Alpha/Design/Interface definitions.txt"), 1u);
    // Sorted by folder, the paths come in order.
    model->sort(CFileListModel::kPath);
    for (int r = 1; r < model->rowCount(); ++r)
        EXPECT_LE(QString::compare(model->index(r - 1, CFileListModel::kPath).data().toString(),
                                   model->index(r, CFileListModel::kPath).data().toString(), Qt::CaseInsensitive),
                  0)
            << r;
    // A folder chosen in the tree ends the list of all files.
    Files->ShowFolder(Folder("Projects"));
    EXPECT_FALSE(model->IsFlat());
    EXPECT_FALSE(Files->AllFilesBox()->isChecked());
    EXPECT_TRUE(Files->FileView()->isColumnHidden(CFileListModel::kPath));
}

TEST(GuiFileListAllFiles, ThreeHundredThousandFilesArriveInBatchesWhileTheWindowRuns)
{
    // 300 folders of 1,000 files: the list starts empty at once and fills a batch per turn of
    // the event loop.
    HandTree tree;
    for (int f = 0; f < 300; ++f)
    {
        tagTreeNode* folder = tree.Folder(tree.Root(), "folder " + std::to_string(f));
        for (int i = 0; i < 1000; ++i) tree.File(folder, "file " + std::to_string(i) + ".dat", 0);
    }
    CFileListModel model;
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy filled(&model, &CFileListModel::FlatFilled);
    QElapsedTimer timer;
    timer.start();
    model.SetFlat(&tree.Tree, tree.Root());
    EXPECT_LT(timer.elapsed(), 100);
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_TRUE(model.Filling());
    while (filled.isEmpty() && timer.elapsed() < 30000) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    ASSERT_EQ(filled.count(), 1);
    EXPECT_EQ(model.rowCount(), 300000);
    // Each turn of the event loop walks a bounded number of nodes.
    EXPECT_GE(inserted.count(), 4) << "the rows came in batches";
    // In the tree's order.
    EXPECT_EQ(model.index(0, CFileListModel::kPath).data().toString(), "/folder 0");
    EXPECT_EQ(model.index(0, CFileListModel::kName).data().toString(), "file 0.dat");
    EXPECT_EQ(model.index(299999, CFileListModel::kPath).data().toString(), "/folder 299");
    EXPECT_EQ(model.index(299999, CFileListModel::kName).data().toString(), "file 999.dat");
}
