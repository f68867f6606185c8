#pragma once
// The one place where the desktop program blocks on the user: message boxes, modal dialogs and
// the file and folder choosers. Pages never call QMessageBox, QDialog::exec or QFileDialog
// directly, so that a test can answer in the user's place (hooks) and run every sequence
// headless from start to end.
#include <functional>

#include <QMessageBox>
#include <QString>

class QDialog;
class QWidget;

namespace GuiDialogs {

enum class EBox
{
    Information,
    Warning,
    Error,
    YesNo,       // answers Yes or No
    YesNoCancel, // answers Yes, No or Cancel
};

enum class EChooser
{
    Folder,
    OpenFile,
    SaveFile,
};

/// Answers a message box instead of the user; gets the kind and the exact text.
using BoxHook = std::function<QMessageBox::StandardButton(EBox kind, const QString& text)>;
/// Plays the user in a modal dialog: fills its fields, then accepts or rejects it; returns the
/// dialog's result as exec would.
using ExecHook = std::function<int(QDialog& dialog)>;
/// Answers a chooser: the chosen path, or "" for Cancel.
using ChooserHook = std::function<QString(EChooser kind, const QString& title)>;

void SetBoxHook(BoxHook hook);
void SetExecHook(ExecHook hook);
void SetChooserHook(ChooserHook hook);
/// Removes all hooks (the user answers again).
void ClearHooks();

QMessageBox::StandardButton Box(QWidget* parent, EBox kind, const QString& text);
int Exec(QDialog& dialog);
QString ChooseFolder(QWidget* parent, const QString& title, const QString& start);
QString ChooseOpenFile(QWidget* parent, const QString& title, const QString& filter);
/// `suggested` is the proposed file name; `suffix` is added when the user typed none.
QString ChooseSaveFile(QWidget* parent, const QString& title, const QString& filter, const QString& suggested,
                       const QString& suffix);

} // namespace GuiDialogs
