// Deep Scan Recovery through the desktop pages: from the start page, the whole disk scanned for
// one file type, the files found ticked and saved, and the saved bytes checked against the
// image's manifest.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <functional>
#include <set>
#include <string>

#include <QPushButton>
#include <QStringList>
#include <QTreeWidget>

#include "CBothViewAndManager.h"
#include "CDeepScanSettingDlg.h"
#include "CDeviceListCtrl.h"
#include "CDeviceSelectDlg.h"
#include "CFileListDlg.h"
#include "CFileSystemScoreDlg.h"
#include "CFileTypeTreeWidget.h"
#include "CFolderTreeModel.h"
#include "CMainFrame.h"
#include "CStartPageDlg.h"
#include "GuiRig.h"
#include "core/CGlobalParamTable.h"
#include "core/DeviceList.h"

namespace {

// The volume index of the first physical device listed for the current module; -1 if none.
int PhysicalDevice(CMainFrame& frame)
{
    CGlobalParamTable& session = frame.Session();
    for (const tagDeviceRow& row : CDeviceList::Rows(session.VolumeManager(), session.GetModule()))
    {
        if (row.bPhysical) return row.nVolume;
    }
    return -1;
}

bool EndsWithNoCase(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() &&
        std::equal(end.begin(), end.end(), text.end() - static_cast<std::ptrdiff_t>(end.size()), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           });
}

// Plays the user in the deep scan's type choice: every group unticked, then only the type
// whose text names `extension` ("jpg") ticked, then OK. Records what it saw in `ticked`.
std::function<int(QDialog&)> ChooseOnly(const QString& extension, QStringList& ticked)
{
    return [extension, &ticked](QDialog& dialog) {
        auto* setting = qobject_cast<CDeepScanSettingDlg*>(&dialog);
        if (!setting) return int(QDialog::Rejected);
        CFileTypeTreeWidget* types = setting->Tree();
        for (int g = 0; types->GroupItem(g); ++g)
        {
            // A partly ticked group becomes ticked on the first click, unticked on the second.
            for (int tries = 0; tries < 2 && types->GroupItem(g)->checkState(0) != Qt::Unchecked; ++tries)
                types->GroupItem(g)->setCheckState(0, Qt::Unchecked);
        }
        const QString label = QStringLiteral("(*.%1)").arg(extension);
        for (int i = 0; types->TypeItem(i); ++i)
        {
            if (types->TypeItem(i)->text(0).endsWith(label)) types->TypeItem(i)->setCheckState(0, Qt::Checked);
        }
        for (int i = 0; types->TypeItem(i); ++i)
        {
            if (types->TypeItem(i)->checkState(0) == Qt::Checked) ticked << types->TypeItem(i)->text(0);
        }
        setting->accept();
        return setting->result();
    };
}

} // namespace

TEST(GuiDeepScan, WholeDiskForPicturesToSavedFilesByteForByte)
{
    GuiRig rig;
    const std::string image = rig.AddImage("sample-disk");
    ASSERT_FALSE(image.empty());
    const std::string before = Sha256OfFile(image);
    CMainFrame& frame = rig.Frame();
    CBothViewAndManager* page = rig.OpenModule(EModule::DeepScan);
    ASSERT_NE(page, nullptr);

    // The whole disk: both partitions, and whatever lies between them.
    const int disk = PhysicalDevice(frame);
    ASSERT_GE(disk, 0);
    CDeviceSelectDlg* devices = page->DevicePage();
    ASSERT_TRUE(devices->List()->SelectVolume(disk));
    QStringList ticked;
    rig.OnDialog = ChooseOnly("jpg", ticked);
    devices->MainButton()->click();
    // The types come from the plug-ins beside the program (test_gui depends on them).
    ASSERT_EQ(ticked.size(), 1) << "types ticked: " << ticked.join(", ").toStdString();
    ASSERT_EQ(page->CurrentView(), EView::Partitions) << rig.MessagesText();
    ASSERT_EQ(page->PartitionPage()->List()->topLevelItemCount(), 1);
    page->PartitionPage()->ShowFiles();
    ASSERT_EQ(page->CurrentView(), EView::Files) << rig.MessagesText();

    // The pictures of both partitions, present and deleted alike: their bytes are all on the
    // disk, each in one piece.
    std::multiset<std::string> expected;
    for (const ManifestFile& e : LoadManifest("sample-disk").Files)
    {
        if (EndsWithNoCase(e.Path, ".jpg")) expected.insert(e.Sha256);
    }
    ASSERT_EQ(expected.size(), 7u);

    CFileListDlg* files = page->FilePage();
    EXPECT_TRUE(files->TotalStatus().endsWith("in 7 files.")) << files->TotalStatus().toStdString();
    const std::string target = rig.SaveEverything(files);
    ASSERT_FALSE(target.empty());
    EXPECT_TRUE(files->SelectedStatus().endsWith("in 7 files.")) << files->SelectedStatus().toStdString();

    // Found files are named by type and number, so they are matched by their contents.
    std::multiset<std::string> saved;
    for (const auto& [path, sha] : HashTree(target))
    {
        EXPECT_TRUE(EndsWithNoCase(path, ".jpg")) << path;
        saved.insert(sha);
    }
    EXPECT_EQ(saved, expected);
    EXPECT_EQ(Sha256OfFile(image), before);
    const std::vector<std::string> results = rig.ResumeResults();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].rfind("Deep Scan Recovery - ", 0), 0u) << results[0];
}
