#include "CSaveSettingDlg.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "GuiDialogs.h"
#include "GuiTexts.h"
#include "core/SaveSetting.h"
#include "core/TextFormat.h"
#include "core/VlmStrings.h"

CSaveSettingDlg::CSaveSettingDlg(CGlobalParamTable& session, uint64_t selectedBytes, uint32_t selectedCount,
                                 const QString& lastPath, QWidget* parent)
    : QDialog(parent), m_Session(session), m_u64Bytes(selectedBytes), m_dwCount(selectedCount)
{
    setWindowTitle(QString::fromUtf8(GuiText::kSaveSettingTitle));
    setMinimumWidth(500);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QString::fromUtf8(GuiText::kTargetFolder), this));
    auto* line = new QHBoxLayout;
    m_pPath = new QLineEdit(lastPath.isEmpty() ? SuggestedFolder() : lastPath, this);
    auto* browse = new QPushButton(QString::fromUtf8(GuiText::kBrowse), this);
    line->addWidget(m_pPath, 1);
    line->addWidget(browse);
    layout->addLayout(line);
    auto* figures = new QFormLayout;
    m_pFree = new QLabel(this);
    m_pRequired = new QLabel(this);
    figures->addRow(QString::fromUtf8(GuiText::kFreeSpace), m_pFree);
    figures->addRow(QString::fromUtf8(GuiText::kRequiredSpace), m_pRequired);
    layout->addLayout(figures);
    auto* warning = new QLabel(QString::fromUtf8(VlmString(IDS_SAVE_TARGET_WARNING)), this);
    warning->setWordWrap(true);
    warning->setStyleSheet(QStringLiteral("color: rgb(255,0,0);"));
    layout->addWidget(warning);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &CSaveSettingDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(browse, &QPushButton::clicked, this, &CSaveSettingDlg::Browse);
    connect(m_pPath, &QLineEdit::textChanged, this, &CSaveSettingDlg::UpdateSpace);
    UpdateSpace();
}

QString CSaveSettingDlg::SuggestedFolder()
{
    return QDir(QDir::homePath()).filePath(QStringLiteral("Recovered files"));
}

QString CSaveSettingDlg::Path() const { return m_pPath->text(); }

QString CSaveSettingDlg::FreeText() const { return m_pFree->text(); }

QString CSaveSettingDlg::RequiredText() const { return m_pRequired->text(); }

void CSaveSettingDlg::UpdateSpace()
{
    const tagSpaceFigures figures = CSaveSetting::SpaceFigures(Path().toStdString(), m_u64Bytes, m_dwCount);
    m_pFree->setText(QString::fromStdString(figures.strFree));
    m_pRequired->setText(QString::fromStdString(figures.strRequired));
}

void CSaveSettingDlg::Browse()
{
    const QString folder = GuiDialogs::ChooseFolder(this, QString::fromUtf8(VlmString(IDS_SELECT_TARGET_DIR)), Path());
    if (!folder.isEmpty()) m_pPath->setText(folder);
}

void CSaveSettingDlg::accept()
{
    const std::string path = Path().toStdString();
    std::string text;
    uint32_t refusal = CSaveSetting::CheckTarget(m_Session, path, m_u64Bytes, m_dwCount, &text);
    // A folder that is not there yet may be made, after asking: never on the source, which the
    // check above refuses first.
    if (refusal == IDS_PATH_NOT_EXIST && CSaveSetting::TargetMissing(path))
    {
        const QString question = QString::fromStdString(FormatText(VlmString(IDS_CREATE_TARGET_DIR), path.c_str()));
        if (GuiDialogs::Box(this, GuiDialogs::EBox::YesNo, question) != QMessageBox::Yes) return;
        if (const uint32_t error = CSaveSetting::CreateTarget(path); error != 0)
        {
            GuiDialogs::Box(
                this, GuiDialogs::EBox::Error,
                QString::fromStdString(FormatText(VlmString(IDS_SAVE_CREATE_FOLDER_FAILED), path.c_str(), error)));
            return;
        }
        UpdateSpace();
        refusal = CSaveSetting::CheckTarget(m_Session, path, m_u64Bytes, m_dwCount, &text);
    }
    if (refusal != 0)
    {
        GuiDialogs::Box(this, refusal == IDS_OUTPUT_ON_SOURCE ? GuiDialogs::EBox::Error : GuiDialogs::EBox::Information,
                        QString::fromStdString(text));
        return;
    }
    QDialog::accept();
}
