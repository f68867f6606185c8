#include "GuiDialogs.h"

#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>

#include "GuiTexts.h"

namespace GuiDialogs {
namespace {

BoxHook& TheBoxHook()
{
    static BoxHook s_Hook;
    return s_Hook;
}

ExecHook& TheExecHook()
{
    static ExecHook s_Hook;
    return s_Hook;
}

ChooserHook& TheChooserHook()
{
    static ChooserHook s_Hook;
    return s_Hook;
}

} // namespace

void SetBoxHook(BoxHook hook) { TheBoxHook() = std::move(hook); }
void SetExecHook(ExecHook hook) { TheExecHook() = std::move(hook); }
void SetChooserHook(ChooserHook hook) { TheChooserHook() = std::move(hook); }

void ClearHooks()
{
    TheBoxHook() = nullptr;
    TheExecHook() = nullptr;
    TheChooserHook() = nullptr;
}

QMessageBox::StandardButton Box(QWidget* parent, EBox kind, const QString& text)
{
    if (TheBoxHook()) return TheBoxHook()(kind, text);
    const QString title = GuiText::kAppTitle;
    switch (kind)
    {
    case EBox::Information: return QMessageBox::information(parent, title, text);
    case EBox::Warning: return QMessageBox::warning(parent, title, text);
    case EBox::Error: return QMessageBox::critical(parent, title, text);
    case EBox::YesNo: return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No);
    case EBox::YesNoCancel:
        return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    }
    return QMessageBox::NoButton;
}

int Exec(QDialog& dialog)
{
    if (TheExecHook()) return TheExecHook()(dialog);
    return dialog.exec();
}

QString ChooseFolder(QWidget* parent, const QString& title, const QString& start)
{
    if (TheChooserHook()) return TheChooserHook()(EChooser::Folder, title);
    return QFileDialog::getExistingDirectory(parent, title, start, QFileDialog::ShowDirsOnly);
}

QString ChooseOpenFile(QWidget* parent, const QString& title, const QString& filter)
{
    if (TheChooserHook()) return TheChooserHook()(EChooser::OpenFile, title);
    return QFileDialog::getOpenFileName(parent, title, QString(), filter);
}

QString ChooseSaveFile(QWidget* parent, const QString& title, const QString& filter, const QString& suggested,
                       const QString& suffix)
{
    if (TheChooserHook()) return TheChooserHook()(EChooser::SaveFile, title);
    QFileDialog chooser(parent, title, QString(), filter);
    chooser.setAcceptMode(QFileDialog::AcceptSave);
    chooser.setDefaultSuffix(suffix);
    chooser.selectFile(suggested);
    // Never replace a file without asking: the chooser's own overwrite question stays on.
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) return QString();
    return chooser.selectedFiles().front();
}

} // namespace GuiDialogs
