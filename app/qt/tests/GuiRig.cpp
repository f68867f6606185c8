#include "GuiRig.h"

#include <QCoreApplication>
#include <QDialog>
#include <QLineEdit>

#include <algorithm>
#include <filesystem>

#include <gtest/gtest.h>
#include <QPushButton>
#include <QTreeView>

#include "CBothViewAndManager.h"
#include "CDeviceListCtrl.h"
#include "CDeviceSelectDlg.h"
#include "CFileListDlg.h"
#include "CFileListModel.h"
#include "CFolderTreeModel.h"
#include "CMainFrame.h"
#include "CSaveSettingDlg.h"
#include "CStartPageDlg.h"
#include "core/CGlobalParamTable.h"
#include "core/DeviceList.h"
#include "os/OsDeviceTable.h"

namespace {

const char* KindName(GuiDialogs::EBox kind)
{
    switch (kind)
    {
    case GuiDialogs::EBox::Information: return "info";
    case GuiDialogs::EBox::Warning: return "warning";
    case GuiDialogs::EBox::Error: return "error";
    default: return "question";
    }
}

} // namespace

GuiRig::GuiRig()
{
    qputenv("VLM_RESUME_DIR", QByteArray::fromStdString(m_Temp.File("resume")));
    OsDeviceTable::Instance().ClearImages();
    GuiDialogs::SetBoxHook([this](GuiDialogs::EBox kind, const QString& text) {
        Messages.push_back(std::string(KindName(kind)) + ": " + text.toStdString());
        if (OnBox) OnBox(text);
        if (kind != GuiDialogs::EBox::YesNo && kind != GuiDialogs::EBox::YesNoCancel) return QMessageBox::Ok;
        if (Answers.empty()) return QMessageBox::Yes;
        const QMessageBox::StandardButton answer = Answers.front();
        Answers.pop_front();
        return answer;
    });
    GuiDialogs::SetExecHook([this](QDialog& dialog) { return OnDialog ? OnDialog(dialog) : int(QDialog::Rejected); });
    GuiDialogs::SetChooserHook([this](GuiDialogs::EChooser kind, const QString& title) {
        return OnChooser ? OnChooser(kind, title) : QString();
    });
    m_pFrame = std::make_unique<CMainFrame>(&m_Clock);
    m_pFrame->show();
}

GuiRig::~GuiRig()
{
    m_pFrame.reset();
    GuiDialogs::ClearHooks();
    OsDeviceTable::Instance().ClearImages();
    QCoreApplication::processEvents();
}

std::string GuiRig::AddImage(const std::string& name)
{
    const std::string path = m_Temp.File(name + ".img");
    if (!UnpackFixtureImage(name, path)) return {};
    OsDeviceTable::Instance().RegisterImage(path);
    return path;
}

bool GuiRig::SawMessage(const std::string& text) const
{
    for (const std::string& m : Messages)
    {
        if (m.find(text) != std::string::npos) return true;
    }
    return false;
}

std::string GuiRig::MessagesText() const
{
    std::string all;
    for (const std::string& m : Messages) all += m + "\n";
    return all;
}

int GuiRig::VolumeOf(const std::string& fs)
{
    CGlobalParamTable& session = m_pFrame->Session();
    for (const tagDeviceRow& row : CDeviceList::Rows(session.VolumeManager(), session.GetModule()))
    {
        if (!row.bPhysical && row.strDevice.find(fs) != std::string::npos) return row.nVolume;
    }
    return -1;
}

std::function<int(QDialog&)> GuiRig::SaveTo(const std::string& target)
{
    return [target](QDialog& dialog) {
        auto* setting = qobject_cast<CSaveSettingDlg*>(&dialog);
        if (!setting) return int(QDialog::Rejected);
        setting->PathEdit()->setText(QString::fromStdString(target));
        setting->accept();
        return setting->result();
    };
}

CBothViewAndManager* GuiRig::OpenModule(EModule module)
{
    m_pFrame->StartPage()->ModuleButton(module)->click();
    if (m_pFrame->CurrentPage() != CMainFrame::kPageRecover)
    {
        ADD_FAILURE() << "module " << static_cast<int>(module) << " did not open: " << MessagesText();
        return nullptr;
    }
    CBothViewAndManager* page = m_pFrame->RecoveryPage();
    EXPECT_EQ(page->CurrentView(), EView::Devices);
    return page;
}

std::string GuiRig::SaveEverything(CFileListDlg* files)
{
    const QModelIndex root = files->FolderModel()->index(0, 0);
    if (!root.isValid())
    {
        ADD_FAILURE() << "the folder tree is empty";
        return "";
    }
    files->FolderModel()->setData(root, Qt::Checked, Qt::CheckStateRole);
    const std::string target = m_Temp.File("saved");
    std::filesystem::create_directories(target);
    OnDialog = SaveTo(target);
    files->SaveButton()->click();
    if (!SawMessage("OK! The selected files are saved to '" + target + "'."))
    {
        ADD_FAILURE() << "not saved: " << MessagesText();
        return "";
    }
    return target;
}

std::vector<std::string> GuiRig::ResumeResults() const
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(m_Temp.File("resume"), ec))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

CFileListDlg* GuiRig::OpenVolume(const std::string& name, const std::string& fs)
{
    CBothViewAndManager* page = AddImage(name).empty() ? nullptr : OpenModule(EModule::Advanced);
    if (!page || !page->DevicePage()->List()->SelectVolume(VolumeOf(fs)))
    {
        ADD_FAILURE() << "no " << fs << " volume on " << name;
        return nullptr;
    }
    page->DevicePage()->OpenButton()->click();
    if (page->CurrentView() != EView::Files)
    {
        ADD_FAILURE() << "the volume did not open: " << MessagesText();
        return nullptr;
    }
    return page->FilePage();
}

QModelIndex GuiRig::FolderIndex(CFileListDlg* files, const QString& path)
{
    CFolderTreeModel* model = files->FolderModel();
    QModelIndex at = model->index(0, 0);
    for (const QString& name : path.split('/', Qt::SkipEmptyParts))
    {
        QModelIndex next;
        for (int r = 0; r < model->rowCount(at) && !next.isValid(); ++r)
            if (model->index(r, 0, at).data().toString() == name) next = model->index(r, 0, at);
        if (!next.isValid()) return {};
        at = next;
    }
    return at;
}

QModelIndex GuiRig::SelectRow(CFileListDlg* files, const QString& folder, const QString& name)
{
    files->ShowFolder(files->FolderModel()->NodeOf(FolderIndex(files, folder)));
    CFileListModel* list = files->FileModel();
    for (int r = 0; r < list->rowCount(); ++r)
    {
        const QModelIndex cell = list->index(r, CFileListModel::kName);
        if (cell.data().toString().compare(name, Qt::CaseInsensitive) != 0) continue;
        files->FileView()->setCurrentIndex(cell);
        return cell;
    }
    ADD_FAILURE() << "no " << name.toStdString() << " in " << folder.toStdString();
    return {};
}
