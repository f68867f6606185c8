// The recovery sequences driven through the desktop pages: from the start page to saved files,
// the wizard's checks, the partition list of a full scan and cancelling a scan.
#include <gtest/gtest.h>

#include <filesystem>

#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeWidget>
#include <QCheckBox>

#include "CBothViewAndManager.h"
#include "CDeviceListCtrl.h"
#include "CDeviceSelectDlg.h"
#include "CFileListDlg.h"
#include "CFileListModel.h"
#include "CFileSystemScoreDlg.h"
#include "CFileTypeTreeWidget.h"
#include "CFolderTreeModel.h"
#include "CMainFrame.h"
#include "CQtUserPort.h"
#include "CRecoveryWizardDlg.h"
#include "CScanningDeviceDlg.h"
#include "CStartPageDlg.h"
#include "GuiRig.h"
#include "core/CGlobalParamTable.h"

namespace {

using EChoice = CRecoveryLauncher::EDeepScanChoice;

// Presses the scanning window's Cancel as soon as the scan shows it.
void CancelScanWhenShown(CQtUserPort& port)
{
    QTimer::singleShot(0, [&port] {
        if (CScanningDeviceDlg* scan = port.ScanWindow())
            scan->CancelButton()->click();
        else
            CancelScanWhenShown(port);
    });
}

} // namespace

TEST(GuiRecovery, UndeleteFromStartPageToSavedFilesByteForByte)
{
    GuiRig rig;
    const std::string image = rig.AddImage("fat16-nested");
    ASSERT_FALSE(image.empty());
    const std::string before = Sha256OfFile(image);
    CBothViewAndManager* page = rig.OpenModule(EModule::Undelete);
    ASSERT_NE(page, nullptr);
    CDeviceSelectDlg* devices = page->DevicePage();
    EXPECT_EQ(devices->MainButton()->text(), "&Recover");
    EXPECT_TRUE(devices->OpenButton()->isHidden());
    EXPECT_EQ(devices->List()->columnCount(), 3);

    const int volume = rig.VolumeOf("FAT16");
    ASSERT_GE(volume, 0);
    ASSERT_TRUE(devices->List()->SelectVolume(volume));
    devices->MainButton()->click();
    ASSERT_EQ(page->CurrentView(), EView::Files) << rig.MessagesText();

    // Tick everything from the root of the folder tree and save it.
    CFileListDlg* files = page->FilePage();
    const std::string target = rig.SaveEverything(files);
    ASSERT_FALSE(target.empty());
    const QModelIndex root = files->FolderModel()->index(0, 0);
    EXPECT_EQ(files->FolderModel()->data(root, Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_TRUE(files->SelectedStatus().endsWith("in 7 files.")) << files->SelectedStatus().toStdString();

    const auto tree = HashTree(target);
    int deleted = 0;
    for (const ManifestFile& e : LoadManifest("fat16-nested").Files)
    {
        const std::string path = FindRecovered(tree, e.Path);
        if (e.State == "deleted")
        {
            ASSERT_FALSE(path.empty()) << "not recovered: " << e.Path;
            EXPECT_EQ(tree.at(path), e.Sha256) << e.Path;
            ++deleted;
        }
        else
        {
            // Undelete Recovery lists deleted and lost files only.
            EXPECT_TRUE(path.empty()) << e.Path;
        }
    }
    EXPECT_EQ(deleted, 7);
    EXPECT_EQ(Sha256OfFile(image), before);
    // A direct read of the volume is only shown, not saved.
    EXPECT_TRUE(rig.ResumeResults().empty());
}

TEST(GuiRecovery, WizardChecksEachPageBeforeMovingOn)
{
    GuiRig rig;
    ASSERT_FALSE(rig.AddImage("fat16-nested").empty());
    CMainFrame& frame = rig.Frame();
    frame.Launcher().RefreshDevices();
    CRecoveryWizardDlg wizard(frame.Session(), &frame);
    EXPECT_EQ(wizard.CurrentPage(), CRecoveryWizardDlg::kWelcome);
    EXPECT_FALSE(wizard.BackButton()->isEnabled());
    wizard.Next();
    ASSERT_EQ(wizard.CurrentPage(), CRecoveryWizardDlg::kSelectDevice);
    EXPECT_TRUE(wizard.BackButton()->isEnabled());

    // No device chosen: the page refuses.
    wizard.Next();
    EXPECT_EQ(wizard.CurrentPage(), CRecoveryWizardDlg::kSelectDevice);
    EXPECT_TRUE(rig.SawMessage("Select a device to recover please.")) << rig.MessagesText();

    const int volume = rig.VolumeOf("FAT16");
    ASSERT_TRUE(wizard.DeviceList()->SelectVolume(volume));
    wizard.Next();
    ASSERT_EQ(wizard.CurrentPage(), CRecoveryWizardDlg::kDeepScanSetting);

    // Deep scan without any file type is refused; without deep scan the types do not matter.
    wizard.ChoiceButton(EChoice::Only)->setChecked(true);
    CFileTypeTreeWidget* types = wizard.TypeTree();
    for (int g = 0; types->GroupItem(g); ++g)
    {
        for (int tries = 0; tries < 2 && types->GroupItem(g)->checkState(0) != Qt::Unchecked; ++tries)
            types->GroupItem(g)->setCheckState(0, Qt::Unchecked);
        EXPECT_EQ(types->GroupItem(g)->checkState(0), Qt::Unchecked);
    }
    rig.Messages.clear();
    wizard.Next();
    EXPECT_EQ(wizard.CurrentPage(), CRecoveryWizardDlg::kDeepScanSetting);
    EXPECT_TRUE(rig.SawMessage("Please choose file types you like to recover!")) << rig.MessagesText();
    wizard.ChoiceButton(EChoice::DoNotUse)->setChecked(true);
    wizard.Next();
    ASSERT_EQ(wizard.CurrentPage(), CRecoveryWizardDlg::kSummary);
    EXPECT_TRUE(wizard.SummaryText().contains("Recovery Module: Advanced Recovery"))
        << wizard.SummaryText().toStdString();
    EXPECT_TRUE(wizard.SummaryText().contains("Device Type: Basic Volume")) << wizard.SummaryText().toStdString();

    // Back to the device page: only deletions makes it Undelete Recovery; the whole device
    // makes it Deep Scan Recovery.
    wizard.Back();
    wizard.Back();
    ASSERT_EQ(wizard.CurrentPage(), CRecoveryWizardDlg::kSelectDevice);
    wizard.OnlyDeletionBox()->setChecked(true);
    wizard.Next();
    wizard.Next();
    EXPECT_TRUE(wizard.SummaryText().contains("Recovery Module: Undelete Recovery"));
    wizard.Back();
    wizard.Back();
    int physical = -1;
    for (QTreeWidgetItemIterator it(wizard.DeviceList()); *it; ++it)
    {
        if ((*it)->text(1) == "Physical Device") physical = (*it)->data(0, Qt::UserRole + 1).toInt();
    }
    ASSERT_GE(physical, 0);
    wizard.DeviceList()->SelectVolume(physical);
    wizard.Next();
    wizard.Next();
    EXPECT_TRUE(wizard.SummaryText().contains("Recovery Module: Deep Scan Recovery"));
    wizard.Next();
    EXPECT_EQ(wizard.result(), QDialog::Accepted);
}

TEST(GuiRecovery, WizardRunsTheChosenRecovery)
{
    GuiRig rig;
    ASSERT_FALSE(rig.AddImage("fat16-nested").empty());
    rig.OnDialog = [&rig](QDialog& dialog) {
        auto* wizard = qobject_cast<CRecoveryWizardDlg*>(&dialog);
        if (!wizard) return int(QDialog::Rejected);
        wizard->Next();
        wizard->DeviceList()->SelectVolume(rig.VolumeOf("FAT16"));
        wizard->OnlyDeletionBox()->setChecked(true);
        while (wizard->result() != QDialog::Accepted && wizard->CurrentPage() <= CRecoveryWizardDlg::kSummary)
        {
            const int before = wizard->CurrentPage();
            wizard->Next();
            if (wizard->result() != QDialog::Accepted && wizard->CurrentPage() == before) break;
        }
        return wizard->result();
    };
    rig.Frame().StartPage()->ModuleButton(4)->click();
    EXPECT_EQ(rig.Frame().Session().GetModule(), EModule::Undelete);
    EXPECT_EQ(rig.Frame().CurrentPage(), CMainFrame::kPageRecover);
    EXPECT_EQ(rig.Frame().RecoveryPage()->CurrentView(), EView::Files) << rig.MessagesText();
}

TEST(GuiRecovery, FullScanListsThePartitionAndItsFiles)
{
    GuiRig rig;
    ASSERT_FALSE(rig.AddImage("fat16-nested").empty());
    CMainFrame& frame = rig.Frame();
    frame.StartPage()->ModuleButton(EModule::Advanced)->click();
    CDeviceSelectDlg* devices = frame.RecoveryPage()->DevicePage();
    EXPECT_EQ(devices->MainButton()->text(), "&Full Scan");
    EXPECT_FALSE(devices->OpenButton()->isHidden());
    EXPECT_EQ(devices->List()->columnCount(), 5);
    // "Open" applies to volumes only.
    ASSERT_TRUE(devices->List()->SelectVolume(rig.VolumeOf("FAT16")));
    EXPECT_TRUE(devices->OpenButton()->isEnabled());
    ASSERT_TRUE(devices->List()->topLevelItem(0));
    devices->List()->setCurrentItem(devices->List()->topLevelItem(0));
    EXPECT_TRUE(devices->List()->SelectedIsPhysical());
    EXPECT_FALSE(devices->OpenButton()->isEnabled());

    devices->MainButton()->click();
    ASSERT_EQ(frame.RecoveryPage()->CurrentView(), EView::Partitions) << rig.MessagesText();
    QTreeWidget* list = frame.RecoveryPage()->PartitionPage()->List();
    ASSERT_GE(list->topLevelItemCount(), 1);
    const QTreeWidgetItem* first = list->topLevelItem(0);
    EXPECT_EQ(first->text(0), "Partition1");
    EXPECT_EQ(first->text(1), "FAT16");
    EXPECT_EQ(first->text(3), "0");
    EXPECT_EQ(first->text(4), "32.00MB");
    EXPECT_EQ(first->text(5), "99%");
    // The scan was saved under a name of its own.
    const std::vector<std::string> saved = rig.ResumeResults();
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].rfind("Advanced Recovery - ", 0), 0u) << saved[0];

    frame.RecoveryPage()->PartitionPage()->ShowFiles();
    ASSERT_EQ(frame.RecoveryPage()->CurrentView(), EView::Files);
    // Present and deleted files alike.
    EXPECT_TRUE(frame.RecoveryPage()->FilePage()->TotalStatus().endsWith("in 20 files."))
        << frame.RecoveryPage()->FilePage()->TotalStatus().toStdString();

    // "Back" returns to the partition list while candidates are known.
    frame.RecoveryPage()->FilePage()->Back();
    EXPECT_EQ(frame.RecoveryPage()->CurrentView(), EView::Partitions);
}

TEST(GuiRecovery, CancelDuringAScanKeepsOrDropsWhatWasFound)
{
    GuiRig rig;
    ASSERT_FALSE(rig.AddImage("fat16-nested").empty());
    CMainFrame& frame = rig.Frame();
    frame.StartPage()->ModuleButton(EModule::Advanced)->click();
    CDeviceSelectDlg* devices = frame.RecoveryPage()->DevicePage();

    // No: the scan is thrown away and the device page stays.
    ASSERT_TRUE(devices->List()->SelectVolume(rig.VolumeOf("FAT16")));
    rig.Answers = {QMessageBox::No};
    CancelScanWhenShown(frame.Port());
    devices->MainButton()->click();
    EXPECT_TRUE(rig.SawMessage("Continue recovery using collected data?")) << rig.MessagesText();
    EXPECT_EQ(frame.RecoveryPage()->CurrentView(), EView::Devices);
    EXPECT_TRUE(rig.ResumeResults().empty());
    EXPECT_EQ(frame.Port().ScanWindow(), nullptr);

    // Yes: what the first chunks held is finished and listed.
    ASSERT_TRUE(devices->List()->SelectVolume(rig.VolumeOf("FAT16")));
    rig.Answers = {QMessageBox::Yes};
    CancelScanWhenShown(frame.Port());
    devices->MainButton()->click();
    ASSERT_EQ(frame.RecoveryPage()->CurrentView(), EView::Partitions) << rig.MessagesText();
    EXPECT_GE(frame.RecoveryPage()->PartitionPage()->List()->topLevelItemCount(), 1);
    const std::vector<std::string> saved = rig.ResumeResults();
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_NE(saved[0].find(" (partial)"), std::string::npos) << saved[0];
}
