// Takes a picture of every page and dialog of the desktop program, driving it like a user
// over the disk images given on the command line:
//   vellumar_shots OUTDIR FAT16-IMAGE NTFS-IMAGE PARTITIONED-IMAGE SAMPLE-DISK
// Messages and dialogs are answered by this program (after their picture is taken).
#include <cstdio>
#include <functional>
#include <string>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeView>

#include "CAddImageDlg.h"
#include "CAdvancedFilterDlg.h"
#include "CBothViewAndManager.h"
#include "CDeepScanSettingDlg.h"
#include "CDeviceListCtrl.h"
#include "CDeviceSelectDlg.h"
#include "CDiskImageDlg.h"
#include "CFileListDlg.h"
#include "CFileListModel.h"
#include "CFileSystemScoreDlg.h"
#include "CFindFileDlg.h"
#include "CFolderTreeModel.h"
#include "CMainFrame.h"
#include "CProgressDlg.h"
#include "CQuickPreviewPane.h"
#include "CQtUserPort.h"
#include "CRecoveryWizardDlg.h"
#include "CResumeRecoveryDlg.h"
#include "CSaveResultDlg.h"
#include "CSaveSettingDlg.h"
#include "CSavingFileDlg.h"
#include "CScanningDeviceDlg.h"
#include "CSettingDlg.h"
#include "CThumbnailModel.h"
#include "CStartPageDlg.h"
#include "GuiDialogs.h"
#include "core/CGlobalParamTable.h"
#include "core/IMonotonicClock.h"
#include "core/DeviceList.h"
#include "fs/KNodeTree.h"
#include "core/DeviceAccess.h"

namespace {

QString g_Out;
QString g_Pending; // name for the next message box picture

void Shot(QWidget* widget, const QString& name)
{
    QCoreApplication::processEvents();
    widget->grab().save(g_Out + "/" + name + ".png");
    std::printf("%s.png\n", name.toUtf8().constData());
}

// Shows a dialog as the user would see it, takes its picture, then lets `act` finish it.
int ShowAndShoot(QDialog& dialog, const QString& name, const std::function<int(QDialog&)>& act)
{
    dialog.show();
    Shot(&dialog, name);
    const int result = act ? act(dialog) : int(QDialog::Rejected);
    dialog.hide();
    return result;
}

// The first volume (or the last, `last`) whose row names file system `fs`.
int VolumeOf(CMainFrame& frame, const std::string& fs, bool last = false)
{
    CGlobalParamTable& session = frame.Session();
    int found = -1;
    for (const tagDeviceRow& row : CDeviceList::Rows(session.VolumeManager(), session.GetModule()))
    {
        if (!row.bPhysical && row.strDevice.find(fs) != std::string::npos)
        {
            found = row.nVolume;
            if (!last) break;
        }
    }
    return found;
}

// The physical device that holds the first volume whose row names file system `fs`.
int PhysicalDeviceOf(CMainFrame& frame, const std::string& fs)
{
    int device = -1;
    for (const tagDeviceRow& row : CDeviceList::Rows(frame.Session().VolumeManager(), EModule::Advanced))
    {
        if (row.bPhysical)
            device = row.nVolume;
        else if (row.strDevice.find(fs) != std::string::npos)
            return device;
    }
    return -1;
}

// The folder of the file list's tree at `path` ("DCIM/100CAMERA").
tagTreeNode* FolderAt(CFileListDlg* files, const QString& path)
{
    CFolderTreeModel* model = files->FolderModel();
    QModelIndex at = model->index(0, 0);
    for (const QString& name : path.split('/', Qt::SkipEmptyParts))
    {
        for (int r = 0; r < model->rowCount(at); ++r)
        {
            if (model->index(r, 0, at).data().toString() == name)
            {
                at = model->index(r, 0, at);
                break;
            }
        }
    }
    return model->NodeOf(at);
}

void SelectFile(CFileListDlg* files, const QString& name)
{
    CFileListModel* list = files->FileModel();
    for (int r = 0; r < list->rowCount(); ++r)
    {
        if (list->index(r, 0).data().toString() == name) files->FileView()->setCurrentIndex(list->index(r, 0));
    }
}

// The first folder below `node` that holds a compressed file.
tagTreeNode* FolderWithCompressed(tagTreeNode* node, int depth = 0)
{
    for (tagTreeNode* c = node->pFirstChild; c && depth < 64; c = c->pNext)
    {
        if (c->pRecord && (c->pRecord->wAttributes & FN_ATTR_COMPRESSED) && !c->pFirstChild) return node;
        if (c->pFirstChild)
        {
            if (tagTreeNode* found = FolderWithCompressed(c, depth + 1)) return found;
        }
    }
    return nullptr;
}

class KShotClock final : public IMonotonicClock
{
public:
    uint64_t NowMs() override { return m_u64Now += 500; }

private:
    uint64_t m_u64Now = 0;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 6)
    {
        std::fprintf(stderr, "usage: vellumar_shots OUTDIR FAT16-IMAGE NTFS-IMAGE PARTITIONED-IMAGE SAMPLE-DISK\n");
        return 2;
    }
    QDir().mkpath(QString::fromLocal8Bit(argv[1]));
    g_Out = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    qputenv("VLM_RESUME_DIR", (g_Out + "/resume").toLocal8Bit());
    // The window as a first run opens it, whatever this machine's user left.
    qputenv("XDG_CONFIG_HOME", (g_Out + "/config").toLocal8Bit());
    DeviceAccess::SetMachineDisks(false);
    for (int i = 2; i < 6; ++i) DeviceAccess::AddImage(argv[i]);

    std::function<int(QDialog&)> act;
    GuiDialogs::SetExecHook([&act](QDialog& dialog) {
        const QString name = dialog.windowTitle().toLower().replace(' ', '-').remove('.');
        return ShowAndShoot(dialog, "dialog-" + name, act);
    });
    GuiDialogs::SetBoxHook([](GuiDialogs::EBox kind, const QString& text) {
        // The saving window is still up, with its final counts, when the outcome is told.
        for (QWidget* w : QApplication::topLevelWidgets())
        {
            if (auto* saving = qobject_cast<CSavingFileDlg*>(w); saving && saving->isVisible())
                Shot(saving, "dialog-saving-files");
        }
        if (!g_Pending.isEmpty())
        {
            QMessageBox box(kind == GuiDialogs::EBox::Information ? QMessageBox::Information : QMessageBox::Question,
                            "Vellumar", text,
                            kind == GuiDialogs::EBox::YesNoCancel
                                ? QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel
                                : QMessageBox::Ok);
            box.show();
            Shot(&box, g_Pending);
            g_Pending.clear();
        }
        return kind == GuiDialogs::EBox::YesNoCancel || kind == GuiDialogs::EBox::YesNo ? QMessageBox::Yes
                                                                                        : QMessageBox::Ok;
    });
    GuiDialogs::SetChooserHook([](GuiDialogs::EChooser, const QString&) { return QString(); });

    // Half a second per look at the clock: the scan window is refreshed at every other chunk,
    // so its picture shows counters and a remaining time.
    KShotClock clock;
    CMainFrame frame(&clock);
    frame.show();
    Shot(&frame, "page-start");
    frame.SelectTab(CMainFrame::kPageCaseStudy);
    Shot(&frame, "page-case-study");
    frame.SelectTab(CMainFrame::kPageStart);
    frame.StartPage()->OpenSetting();
    frame.ShowAbout();

    // Undelete Recovery on the FAT16 image: device list, file list.
    frame.OnStartCommand(CMainFrame::kCmdUndelete);
    CBothViewAndManager* page = frame.RecoveryPage();
    page->DevicePage()->List()->SelectVolume(VolumeOf(frame, "FAT16"));
    Shot(&frame, "page-devices-undelete");
    page->DevicePage()->MainButton()->click();
    CFileListDlg* files = page->FilePage();
    files->FolderModel()->setData(files->FolderModel()->index(0, 0), Qt::Checked, Qt::CheckStateRole);
    files->FolderView()->expandAll();
    Shot(&frame, "page-files-undelete");

    // Saving: the path dialog, then the saving window at the cancel question.
    act = [](QDialog& dialog) {
        auto* setting = qobject_cast<CSaveSettingDlg*>(&dialog);
        if (!setting) return int(QDialog::Rejected);
        QDir().mkpath(g_Out + "/saved");
        setting->PathEdit()->setText(g_Out + "/saved");
        Shot(setting, "dialog-recovery-path-setting");
        setting->accept();
        return setting->result();
    };
    g_Pending = "message-saved";
    files->SaveFiles();

    // Advanced Recovery: the device list of a partitioned disk, the full scan of the FAT16
    // image with its windows, the partition list.
    frame.OnStartCommand(CMainFrame::kCmdAdvanced);
    page->DevicePage()->List()->SelectVolume(VolumeOf(frame, "FAT32"));
    Shot(&frame, "page-devices-advanced");
    page->DevicePage()->List()->SelectVolume(VolumeOf(frame, "FAT16"));
    int looks = 0;
    std::function<void()> shootScan = [&] {
        CScanningDeviceDlg* scan = frame.Port().ScanWindow();
        if (scan && ++looks == 70)
        {
            Shot(scan, "dialog-scanning-device");
            scan->CancelButton()->click();
            g_Pending = "message-continue-with-collected";
            return;
        }
        QTimer::singleShot(0, shootScan);
    };
    std::function<void()> shootBlock = [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
        {
            if (auto* progress = qobject_cast<CProgressDlg*>(w); progress && progress->isVisible())
            {
                Shot(progress, "dialog-progress");
                return;
            }
        }
        QTimer::singleShot(20, shootBlock);
    };
    QTimer::singleShot(0, shootScan);
    QTimer::singleShot(0, shootBlock);
    page->DevicePage()->MainButton()->click();
    Shot(&frame, "page-partitions");
    act = [](QDialog& dialog) {
        if (auto* save = qobject_cast<CSaveResultDlg*>(&dialog))
            save->PathEdit()->setText(g_Out + "/resume/by-hand.rrs");
        return int(QDialog::Rejected);
    };
    page->PartitionPage()->SaveResult();

    // Advanced Recovery, "Open" on the NTFS volume: colours of compressed files, filter, find.
    frame.OnStartCommand(CMainFrame::kCmdAdvanced);
    page->DevicePage()->List()->SelectVolume(VolumeOf(frame, "NTFS"));
    page->DevicePage()->OpenButton()->click();
    if (tagTreeNode* folder = FolderWithCompressed(frame.Session().GetCurrentTree().GetRoot()))
        files->ShowFolder(folder);
    Shot(&frame, "page-files-ntfs");
    act = [](QDialog& dialog) {
        if (auto* filter = qobject_cast<CAdvancedFilterDlg*>(&dialog))
        {
            filter->ByNameBox()->setChecked(true);
            filter->NameList()->setEditText("*.txt");
        }
        return int(QDialog::Rejected);
    };
    files->Filter();
    act = [](QDialog& dialog) {
        if (auto* find = qobject_cast<CFindFileDlg*>(&dialog)) find->NameEdit()->setText("report");
        return int(QDialog::Rejected);
    };
    files->FindFile();

    // The sample disk's photo card: the previewer beside the list, then the deleted files only,
    // then the pictures only.
    frame.OnStartCommand(CMainFrame::kCmdAdvanced);
    page->DevicePage()->List()->SelectVolume(VolumeOf(frame, "FAT32", true));
    page->DevicePage()->OpenButton()->click();
    files->SetPreviewOpen(true);
    files->ShowFolder(FolderAt(files, "DCIM/100CAMERA"));
    SelectFile(files, "IMG_0001.JPG");
    files->PreviewCurrent();
    Shot(&frame, "page-files-previewer");
    files->DeletedOnlyBox()->setChecked(true);
    files->FolderView()->expandAll();
    files->ShowFolder(FolderAt(files, "DCIM/100CAMERA"));
    SelectFile(files, "_MG_0002.JPG");
    files->PreviewCurrent();
    Shot(&frame, "page-files-deleted-only");
    files->DeletedOnlyBox()->setChecked(false);
    files->KindBox()->setCurrentIndex(1);
    files->FolderView()->expandAll();
    Shot(&frame, "page-files-pictures");
    // The thumbnails of the photos, made in the background.
    files->ShowFolder(FolderAt(files, "DCIM/100CAMERA"));
    files->ThumbnailBox()->setChecked(true);
    QElapsedTimer waited;
    waited.start();
    while (files->ThumbnailModel()->Made() < 5 && waited.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    Shot(&frame, "page-files-thumbnails");
    files->ThumbnailBox()->setChecked(false);
    files->KindBox()->setCurrentIndex(0);
    // Every file of the volume in one list, with the folder of each.
    files->AllFilesBox()->setChecked(true);
    waited.restart();
    while (files->FileModel()->Filling() && waited.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    Shot(&frame, "page-files-all");
    files->AllFilesBox()->setChecked(false);

    // File menu: a disk image added with its rescue map; a device copied into an image file.
    act = [](QDialog& dialog) {
        if (auto* add = qobject_cast<CAddImageDlg*>(&dialog))
        {
            add->ImageEdit()->setText("failing-disk.img");
            add->MapEdit()->setText("failing-disk.map");
            Shot(add, "dialog-add-a-disk-image-filled");
        }
        return int(QDialog::Rejected);
    };
    frame.AddDiskImage();
    act = [&frame](QDialog& dialog) {
        auto* imaging = qobject_cast<CDiskImageDlg*>(&dialog);
        if (!imaging) return int(QDialog::Rejected);
        // Names relative to a scratch folder, so that the picture shows no path of this machine.
        QDir().mkpath(g_Out + "/saved");
        const QString before = QDir::currentPath();
        QDir::setCurrent(g_Out + "/saved");
        imaging->SelectVolume(PhysicalDeviceOf(frame, "FAT16"));
        imaging->TargetEdit()->setText("usb-stick.img");
        imaging->MapEdit()->setText("usb-stick.map");
        QEventLoop done;
        QObject::connect(imaging, &CDiskImageDlg::Finished, &done, &QEventLoop::quit);
        if (imaging->Start()) done.exec();
        Shot(imaging, "dialog-create-disk-image-done");
        QDir::setCurrent(before);
        return int(QDialog::Rejected);
    };
    frame.CreateDiskImage();

    // Deep Scan Recovery's type choice, the wizard's pages, the resume list.
    frame.OnStartCommand(CMainFrame::kCmdDeepScan);
    page->DevicePage()->List()->SelectVolume(VolumeOf(frame, "FAT16"));
    Shot(&frame, "page-devices-deep-scan");
    act = nullptr;
    page->DevicePage()->MainButton()->click();
    act = [&frame](QDialog& dialog) {
        auto* wizard = qobject_cast<CRecoveryWizardDlg*>(&dialog);
        if (!wizard) return int(QDialog::Rejected);
        wizard->Next();
        wizard->DeviceList()->SelectVolume(VolumeOf(frame, "FAT16"));
        Shot(wizard, "wizard-2-select-device");
        wizard->Next();
        wizard->ChoiceButton(CRecoveryLauncher::EDeepScanChoice::Use)->setChecked(true);
        Shot(wizard, "wizard-3-deep-scan-setting");
        wizard->Next();
        Shot(wizard, "wizard-4-summary");
        return int(QDialog::Rejected);
    };
    frame.OnStartCommand(CMainFrame::kCmdWizard);
    act = nullptr;
    frame.OnStartCommand(CMainFrame::kCmdResume);
    Shot(&frame, "page-resume");
    return 0;
}
