#include "CDeepScanSettingDlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

#include "CFileTypeTreeWidget.h"
#include "GuiDialogs.h"
#include "GuiTexts.h"
#include "core/CFileTypeTree.h"
#include "core/VlmStrings.h"

CDeepScanSettingDlg::CDeepScanSettingDlg(CFileTypeTree& types, IUserPort& port, QWidget* parent)
    : QDialog(parent), m_Types(types), m_Port(port)
{
    setWindowTitle(QString::fromUtf8(GuiText::kDeepScanTitle));
    resize(440, 480);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QString::fromUtf8(VlmString(IDS_DEEP_SCAN_PROMPT)), this));
    m_pTree = new CFileTypeTreeWidget(types, this);
    layout->addWidget(m_pTree);
    auto* more = new QLabel(this);
    more->setText(QStringLiteral("<a href='#more'>%1</a>").arg(GuiText::kDeepScanMore));
    connect(more, &QLabel::linkActivated, this, [this] {
        GuiDialogs::Box(this, GuiDialogs::EBox::Information,
                        QStringLiteral("Deep Scan reads every sector and recognises files by the internal format of "
                                       "each type (their headers and ends), also where no file system is left. "
                                       "Files found this way have no names or folders: they are named by type and "
                                       "number. Tick only the types you need: the scan is faster and the list "
                                       "shorter."));
    });
    layout->addWidget(more);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CDeepScanSettingDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CDeepScanSettingDlg::reject);
    layout->addWidget(buttons);
}

void CDeepScanSettingDlg::accept()
{
    if (m_Types.AcceptChoice(m_Port)) QDialog::accept();
}
