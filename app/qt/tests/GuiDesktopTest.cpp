// The desktop program as a new user meets it: help and icon built in, the menus and About, the
// remembered window, the quick previewer beside the list, the quick narrowing of the list
// (deleted files only, kinds of file, search as you type), the folders that hold deleted files,
// and the checks before anything is saved or exported.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include <QAction>
#include <QElapsedTimer>
#include <QListView>
#include <QTimer>
#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSplitter>
#include <QTest>
#include <QTextBrowser>
#include <QTreeView>

#include "CAboutDlg.h"
#include "CAddImageDlg.h"
#include "CBothViewAndManager.h"
#include "CDeviceListCtrl.h"
#include "CDeviceSelectDlg.h"
#include "CFileListDlg.h"
#include "CFileListModel.h"
#include "CFitImageView.h"
#include "CFolderTreeModel.h"
#include "CHelpViewPage.h"
#include "CMainFrame.h"
#include "CQuickPreviewPane.h"
#include "CSaveSettingDlg.h"
#include "CThumbnailModel.h"
#include "GuiResources.h"
#include "GuiRig.h"
#include "core/CGlobalParamTable.h"
#include "core/CPreviewTempFile.h"
#include "core/FileFilter.h"
#include "fs/KFileNode.h"
#include "fs/KNodeTree.h"
#include "support/HandTree.h"

namespace {

// The file names of the current tree's files, and whether each passes as deleted.
std::map<std::string, bool> Leaves(const KNodeTree& tree)
{
    std::map<std::string, bool> leaves;
    std::vector<const tagTreeNode*> pending{tree.GetRoot()};
    while (!pending.empty())
    {
        const tagTreeNode* node = pending.back();
        pending.pop_back();
        for (const tagTreeNode* c = node->pFirstChild; c; c = c->pNext)
        {
            if (c->pFirstChild)
                pending.push_back(c);
            else if (IsFileRecord(c->pRecord))
                leaves[tree.GetName(c)] = CFileFilter::PassesState(c, false, true);
        }
    }
    return leaves;
}

// Advanced Recovery, "Open" on the FAT32 volume of the sample disk: photos (two deleted),
// text files, a screenshot.
class SampleDisk : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Files = Rig.OpenVolume("sample-disk", "FAT32");
        ASSERT_NE(Files, nullptr);
        Image = Rig.Temp().File("sample-disk.img");
        Tree = &Rig.Frame().Session().GetCurrentTree();
    }
    QModelIndex FolderIndex(const QString& path) { return GuiRig::FolderIndex(Files, path); }
    QModelIndex Select(const QString& folder, const QString& name) { return GuiRig::SelectRow(Files, folder, name); }

    GuiRig Rig;
    std::string Image;
    CFileListDlg* Files = nullptr;
    KNodeTree* Tree = nullptr;
};

} // namespace

TEST(GuiDesktop, HelpIconMenusAndAbout)
{
    GuiRig rig;
    CMainFrame& frame = rig.Frame();
    // The help page and the icon come from the resources built into the program.
    const QString help = frame.HelpPage()->Browser()->toPlainText();
    EXPECT_TRUE(help.contains("Case studies")) << help.left(200).toStdString();
    EXPECT_GT(help.size(), 1000);
    const QImage icon = GuiResources::AppIcon().pixmap(48, 48).toImage();
    ASSERT_FALSE(icon.isNull());
    int opaque = 0;
    for (int y = 0; y < icon.height(); ++y)
        for (int x = 0; x < icon.width(); ++x) opaque += qAlpha(icon.pixel(x, y)) > 128;
    EXPECT_GT(opaque, icon.width() * icon.height() / 4);

    for (const char* entry :
         {"Add disk image...", "Create disk image...", "Resume a saved scan", "Quit", "Case Study", "About Vellumar"})
        EXPECT_NE(frame.MenuAction(entry), nullptr) << entry;
    frame.MenuAction("Case Study")->trigger();
    EXPECT_EQ(frame.CurrentPage(), CMainFrame::kPageCaseStudy);

    QString about;
    rig.OnDialog = [&about](QDialog& dialog) {
        if (auto* box = qobject_cast<CAboutDlg*>(&dialog)) about = box->Text();
        return int(QDialog::Rejected);
    };
    frame.MenuAction("About Vellumar")->trigger();
    EXPECT_TRUE(about.contains(VLM_VERSION)) << about.toStdString();
    EXPECT_TRUE(about.contains("Licence")) << about.toStdString();

    // File > Add disk image lists the image on the device page at once.
    const std::string image = rig.Temp().File("added.img");
    ASSERT_TRUE(UnpackFixtureImage("fat16-nested", image));
    rig.OnDialog = [&image](QDialog& dialog) {
        auto* add = qobject_cast<CAddImageDlg*>(&dialog);
        if (!add) return int(QDialog::Rejected);
        add->ImageEdit()->setText(QString::fromStdString(image));
        add->accept();
        return add->result();
    };
    frame.MenuAction("Add disk image...")->trigger();
    EXPECT_EQ(frame.CurrentPage(), CMainFrame::kPageRecover);
    EXPECT_GE(rig.VolumeOf("FAT16"), 0);
}

TEST(GuiDesktop, WindowOpensLargeAndAsTheUserLeftIt)
{
    // Never larger than the screen (the headless one is small), never smaller than the pages.
    const QSize screen = QGuiApplication::primaryScreen()->availableSize();
    QSettings(QStringLiteral("Vellumar"), QStringLiteral("vellumar")).remove(QStringLiteral("window/size"));
    QSize left;
    {
        EXPECT_EQ(CMainFrame::InitialSize(),
                  QSize(CMainFrame::kDefaultWidth, CMainFrame::kDefaultHeight).boundedTo(screen));
        GuiRig rig;
        EXPECT_EQ(rig.Frame().size(), CMainFrame::InitialSize().expandedTo(rig.Frame().minimumSizeHint()));
        rig.Frame().resize(rig.Frame().minimumSizeHint() + QSize(3, 7));
        left = rig.Frame().size();
    }
    EXPECT_EQ(CMainFrame::InitialSize(), left.boundedTo(screen));
}

TEST(GuiDesktop, FolderPaneOpensAsWideAsTheUserLeftIt)
{
    QSettings(QStringLiteral("Vellumar"), QStringLiteral("vellumar")).remove(QStringLiteral("files/folderPane"));
    // The pane's width as the user drags the splitter's handle, in a window on the screen.
    auto open = [](GuiRig& rig) {
        CFileListDlg* files = rig.OpenVolume("fat16-nested", "FAT16");
        rig.Frame().resize(1000, 600);
        rig.Frame().show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&rig.Frame()));
        return files->Splitter();
    };
    int left = 0;
    {
        GuiRig rig;
        QSplitter* splitter = open(rig);
        const int before = splitter->sizes().value(0);
        QSplitterHandle* handle = splitter->handle(1);
        const QPoint grip(handle->width() / 2, handle->height() / 2);
        QTest::mousePress(handle, Qt::LeftButton, {}, grip);
        QTest::mouseMove(handle, grip + QPoint(90, 0));
        QTest::mouseRelease(handle, Qt::LeftButton, {}, grip + QPoint(90, 0));
        left = splitter->sizes().value(0);
        EXPECT_GT(left, before + 45) << before;
    }
    GuiRig rig;
    EXPECT_EQ(open(rig)->sizes().value(0), left);
}

TEST_F(SampleDisk, PreviewerBesideTheListShowsPhotoTextAndOpensOnDoubleClick)
{
    CQuickPreviewPane* pane = Files->PreviewPane();
    Files->SetPreviewOpen(true);
    pane->resize(300, 300);
    ASSERT_TRUE(pane->isVisibleTo(Files));

    // A photo: its pixels, scaled into the pane.
    Select("DCIM/100CAMERA", "IMG_0001.JPG");
    Files->PreviewCurrent();
    ASSERT_EQ(pane->Showing(), CQuickPreviewPane::EShows::Image);
    const QImage shown = pane->View()->Image();
    ASSERT_FALSE(shown.isNull());
    EXPECT_LE(shown.width(), 300);
    std::set<QRgb> colours;
    for (int y = 0; y < shown.height(); y += 7)
        for (int x = 0; x < shown.width(); x += 7) colours.insert(shown.pixel(x, y));
    EXPECT_GT(colours.size(), 20u) << "a photo, not a blank";

    // A text file: its own first line, as the file system copies it out.
    Select("Documents", "Travel diary.txt");
    Files->PreviewCurrent();
    ASSERT_EQ(pane->Showing(), CQuickPreviewPane::EShows::Text);
    CPreviewTempFile copy;
    ASSERT_EQ(copy.Prepare("diary.txt"), 0u);
    ASSERT_EQ(copy.SaveWhole(*Rig.Frame().Session().GetCurrentFileSystem(), Files->CurrentFile()->pRecord), 0u);
    std::ifstream in(copy.Path());
    std::string first;
    std::getline(in, first);
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(pane->ShownText().section('\n', 0, 0).toStdString(), first);

    // Closed, then a double click on a photo opens the previewer on it.
    Files->SetPreviewOpen(false);
    EXPECT_EQ(pane->Showing(), CQuickPreviewPane::EShows::Nothing);
    const QModelIndex photo = Select("DCIM/100CAMERA", "IMG_0003.JPG");
    emit Files->FileView()->doubleClicked(photo);
    EXPECT_TRUE(pane->isVisibleTo(Files));
    EXPECT_EQ(pane->Showing(), CQuickPreviewPane::EShows::Image);
}

TEST(GuiDesktopPreview, BytesThatAreNeitherPictureNorTextShowAsHex)
{
    GuiRig rig;
    CFileListDlg* files = rig.OpenVolume("fat16-nested", "FAT16");
    ASSERT_NE(files, nullptr);
    files->SetPreviewOpen(true);
    ASSERT_TRUE(GuiRig::SelectRow(files, "Projects/2020/Gamma", "data.bin").isValid());
    files->PreviewCurrent();
    ASSERT_EQ(files->PreviewPane()->Showing(), CQuickPreviewPane::EShows::Hex);
    EXPECT_TRUE(files->PreviewPane()->ShownText().startsWith("00000000  "))
        << files->PreviewPane()->ShownText().left(80).toStdString();
}

TEST_F(SampleDisk, DeletedOnlyKindsAndSearchNarrowTheList)
{
    const std::map<std::string, bool> all = Leaves(*Tree);
    ASSERT_TRUE(all.count("IMG_0001.JPG") && all.count("_MG_0002.JPG") && all.count("info.txt"));
    // Folders that hold deleted files are marked; one without them is not.
    const QModelIndex camera = FolderIndex("DCIM/100CAMERA");
    const QModelIndex shots = FolderIndex("Screenshots");
    ASSERT_TRUE(camera.isValid() && shots.isValid());
    EXPECT_TRUE(camera.data(Qt::FontRole).value<QFont>().bold());
    EXPECT_FALSE(shots.data(Qt::FontRole).value<QFont>().bold());
    EXPECT_TRUE(FolderIndex("DCIM").data(Qt::FontRole).value<QFont>().bold());

    // Deleted files only: nothing else is left, and every deleted file is.
    Files->DeletedOnlyBox()->setChecked(true);
    std::map<std::string, bool> shown = Leaves(Rig.Frame().Session().GetCurrentTree());
    EXPECT_TRUE(shown.count("_MG_0002.JPG") && shown.count("_MG_0004.JPG") && shown.count("old notes.txt"));
    for (const auto& [name, deleted] : shown) EXPECT_TRUE(deleted) << name;
    for (const auto& [name, deleted] : all) EXPECT_EQ(shown.count(name) != 0, deleted) << name;

    // Pictures only (deleted or not).
    Files->DeletedOnlyBox()->setChecked(false);
    Files->KindBox()->setCurrentText("Pictures");
    shown = Leaves(Rig.Frame().Session().GetCurrentTree());
    EXPECT_TRUE(shown.count("IMG_0001.JPG") && shown.count("screen 1.png"));
    for (const auto& [name, deleted] : shown)
    {
        const QString n = QString::fromStdString(name).toLower();
        EXPECT_TRUE(n.endsWith(".jpg") || n.endsWith(".png")) << name;
    }

    // The search box narrows as the user types, after a pause, and shows where the match is.
    Files->KindBox()->setCurrentText("All files");
    QTest::keyClicks(Files->SearchEdit(), "DIARY");
    EXPECT_EQ(Leaves(Rig.Frame().Session().GetCurrentTree()).size(), all.size()) << "not at every key";
    QTRY_COMPARE(Leaves(Rig.Frame().Session().GetCurrentTree()).size(), size_t(1));
    EXPECT_EQ(Leaves(Rig.Frame().Session().GetCurrentTree()).begin()->first, "Travel diary.txt");
    EXPECT_EQ(Files->FileModel()->index(0, 0).data().toString(), "Travel diary.txt");
    Files->SearchEdit()->clear();
    QTRY_COMPARE(Leaves(Rig.Frame().Session().GetCurrentTree()).size(), all.size());
}

TEST_F(SampleDisk, SavingRefusesTheSourceAndMakesAMissingFolder)
{
    QSettings(QStringLiteral("Vellumar"), QStringLiteral("vellumar")).remove(QStringLiteral("save/folder"));
    Files->FolderModel()->setData(FolderIndex("DCIM/100CAMERA"), Qt::Checked, Qt::CheckStateRole);
    const std::string target = Rig.Temp().File("new/deeper");
    QString suggested;
    bool refusedSource = false;
    Rig.OnDialog = [&](QDialog& dialog) {
        auto* setting = qobject_cast<CSaveSettingDlg*>(&dialog);
        if (!setting) return int(QDialog::Rejected);
        suggested = setting->Path();
        // The image being recovered: refused before anything is written, the dialog stays.
        setting->PathEdit()->setText(QString::fromStdString(Image));
        setting->accept();
        refusedSource = setting->result() != QDialog::Accepted && Rig.SawMessage("Nothing is written to");
        // A folder that is not there yet: created after the question.
        setting->PathEdit()->setText(QString::fromStdString(target));
        setting->accept();
        return setting->result();
    };
    Files->SaveFiles();
    EXPECT_EQ(suggested, CSaveSettingDlg::SuggestedFolder());
    EXPECT_TRUE(refusedSource) << Rig.MessagesText();
    EXPECT_TRUE(Rig.SawMessage("question: The folder '" + target + "' does not exist.")) << Rig.MessagesText();
    EXPECT_TRUE(std::filesystem::exists(target + "/DCIM/100CAMERA/IMG_0001.JPG")) << Rig.MessagesText();

    // The next save suggests the folder just used.
    Rig.OnDialog = [&](QDialog& dialog) {
        if (auto* setting = qobject_cast<CSaveSettingDlg*>(&dialog)) suggested = setting->Path();
        return int(QDialog::Rejected);
    };
    Files->SaveFiles();
    EXPECT_EQ(suggested.toStdString(), target);

    // The export question names the file it writes.
    const std::string list = Rig.Temp().File("listing.txt");
    Rig.OnChooser = [&list](GuiDialogs::EChooser, const QString&) { return QString::fromStdString(list); };
    Files->ExportList();
    EXPECT_TRUE(Rig.SawMessage("The list will be saved as '" + list + "'.")) << Rig.MessagesText();
    EXPECT_TRUE(std::filesystem::exists(list));
}

TEST_F(SampleDisk, ThumbnailsOfTheFolderAreMadeInTheBackground)
{
    Files->ShowFolder(Files->FolderModel()->NodeOf(FolderIndex("DCIM/100CAMERA")));
    Files->ThumbnailBox()->setChecked(true);
    QListView* view = Files->ThumbnailView();
    ASSERT_TRUE(view->isVisibleTo(Files));
    view->resize(600, 400);
    CThumbnailModel* model = Files->ThumbnailModel();
    ASSERT_EQ(model->rowCount(), Files->FileModel()->rowCount());
    // Asked for by the view as it paints; every photo gets its thumbnail, the text file keeps
    // its icon.
    view->viewport()->repaint();
    QTRY_COMPARE_WITH_TIMEOUT(model->Made(), 5, 10000);
    for (int r = 0; r < model->rowCount(); ++r)
    {
        const QString name = model->index(r).data().toString();
        EXPECT_EQ(model->HasThumbnail(r), name.endsWith(".JPG")) << name.toStdString();
        if (model->HasThumbnail(r))
        {
            const QPixmap thumb = model->index(r).data(Qt::DecorationRole).value<QPixmap>();
            EXPECT_EQ(std::max(thumb.width(), thumb.height()), CThumbnailModel::kSize) << name.toStdString();
        }
    }
    // A click on a thumbnail makes it the list's current file (and the previewer's).
    view->setCurrentIndex(model->index(2));
    EXPECT_EQ(Files->CurrentFile(), Files->FileModel()->NodeAt(2));
}

TEST(GuiDesktopThumbnails, AHundredThousandEntriesAskOnlyForWhatIsOnScreen)
{
    // One folder of 100,000 pictures whose data cannot be read (no file system): the view
    // comes up at once and asks for the few items it shows, not for every entry.
    HandTree tree;
    for (int i = 0; i < 100000; ++i) tree.File(tree.Root(), "photo " + std::to_string(i) + ".jpg", 4096);
    CFileListModel list;
    CThumbnailModel model(&list, [] { return static_cast<IFileSystem*>(nullptr); });
    QListView view;
    view.setViewMode(QListView::IconMode);
    view.setUniformItemSizes(true);
    view.setLayoutMode(QListView::Batched);
    view.setBatchSize(2000);
    view.setGridSize(QSize(124, 136));
    view.resize(800, 600);
    view.setModel(&model);
    view.show();
    QElapsedTimer timer;
    timer.start();
    list.SetFolder(&tree.Tree, tree.Root());
    // The event loop keeps turning while the view lays the entries out and paints.
    int ticks = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&ticks] { ++ticks; });
    tick.start(10);
    while (timer.elapsed() < 1500) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    // Not blocked for the whole time (how often it turns depends on the machine's load).
    EXPECT_GT(ticks, 0);
    EXPECT_EQ(model.rowCount(), 100000);
    // Those asked for: the items on screen (a few dozen), each tried once and given up.
    EXPECT_EQ(model.Pending(), 0);
    EXPECT_EQ(model.Made(), 0);
    EXPECT_GT(model.Asked(), 0);
    EXPECT_LT(model.Asked(), 500);
}
