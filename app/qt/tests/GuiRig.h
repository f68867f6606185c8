#pragma once
// A desktop session on committed disk images, with the user played by the test: message
// boxes are answered from a script and recorded, modal dialogs are filled by a callback, the
// choosers return given paths. The scan loop's clock advances half a second per look, so the
// loop hands control to the event loop after every chunk.
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QMessageBox>
#include <QModelIndex>
#include <QString>

#include "GuiDialogs.h"
#include "core/IMonotonicClock.h"
#include "core/RecoveryModule.h"
#include "support/TestFiles.h"
#include "support/TestImages.h"

class CBothViewAndManager;
class CFileListDlg;
class CMainFrame;
class QDialog;

class KStepClock final : public IMonotonicClock
{
public:
    uint64_t NowMs() override { return m_u64Now += 500; }

private:
    uint64_t m_u64Now = 0;
};

class GuiRig
{
public:
    GuiRig();
    ~GuiRig();

    /// Unpacks tests/data/<name>.img.zst and adds it to the devices; the image's path.
    std::string AddImage(const std::string& name);
    CMainFrame& Frame() { return *m_pFrame; }
    const TempDir& Temp() const { return m_Temp; }
    /// The file names in the resume folder.
    std::vector<std::string> ResumeResults() const;

    /// Messages shown so far ("kind: text").
    std::vector<std::string> Messages;
    /// Answers for the next questions, in order; Yes when none is queued.
    std::deque<QMessageBox::StandardButton> Answers;
    /// Fills a modal dialog and returns its result; rejects when unset.
    std::function<int(QDialog&)> OnDialog;
    /// Answers choosers; "" when unset.
    std::function<QString(GuiDialogs::EChooser, const QString&)> OnChooser;
    /// Called on every message box before it is answered.
    std::function<void(const QString&)> OnBox;

    bool SawMessage(const std::string& text) const;
    std::string MessagesText() const;

    /// Plays the user in the "Recovery Path Setting" dialog: types `target` and presses OK.
    static std::function<int(QDialog&)> SaveTo(const std::string& target);

    /// Presses the start page's button of `module`; the recovery page, showing the devices,
    /// or null (with the failure recorded) when it did not come up.
    CBothViewAndManager* OpenModule(EModule module);
    /// Ticks the whole folder tree of `files` and saves it into a fresh folder through the
    /// path dialog; that folder, or "" (with the failure recorded) when the save was not
    /// reported done.
    std::string SaveEverything(CFileListDlg* files);

    /// Adds the image `name`, opens Advanced Recovery and "Open"s the volume whose device text
    /// contains `fs`; its file page, or null (with the failure recorded).
    CFileListDlg* OpenVolume(const std::string& name, const std::string& fs);
    /// The folder tree's entry at `path` ("Photos/Summer"; "" is the root), or an invalid index.
    static QModelIndex FolderIndex(CFileListDlg* files, const QString& path);
    /// Shows `folder` and makes the row named `name` (ignoring case) current; its name cell, or
    /// an invalid index (with the failure recorded).
    static QModelIndex SelectRow(CFileListDlg* files, const QString& folder, const QString& name);

    /// The volume index of the first row whose device text contains `fs` and is not a
    /// physical device, in the current module's layout.
    int VolumeOf(const std::string& fs);

private:
    TempDir m_Temp;
    KStepClock m_Clock;
    std::unique_ptr<CMainFrame> m_pFrame;
};
