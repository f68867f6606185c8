#include "CSaveResultDlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "GuiDialogs.h"
#include "GuiTexts.h"
#include "core/VlmStrings.h"

CSaveResultDlg::CSaveResultDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QString::fromUtf8(GuiText::kSaveResultTitle));
    setMinimumWidth(480);
    auto* layout = new QVBoxLayout(this);
    auto* line = new QHBoxLayout;
    line->addWidget(new QLabel(QString::fromUtf8(GuiText::kPathName), this));
    m_pPath = new QLineEdit(this);
    line->addWidget(m_pPath, 1);
    auto* browse = new QPushButton(QString::fromUtf8(GuiText::kBrowse), this);
    line->addWidget(browse);
    layout->addLayout(line);
    auto* warning = new QLabel(QString::fromUtf8(VlmString(IDS_SAVE_RESULT_WARNING)), this);
    warning->setWordWrap(true);
    warning->setStyleSheet(QStringLiteral("color: rgb(255,0,0);"));
    layout->addWidget(warning);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString path =
            GuiDialogs::ChooseSaveFile(this, QString::fromUtf8(GuiText::kSaveResultTitle),
                                       QString::fromUtf8(GuiText::kResultFilter), QString(), QStringLiteral("rrs"));
        if (!path.isEmpty()) m_pPath->setText(path);
    });
    // An empty path is refused here and the dialog stays open.
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (m_pPath->text().isEmpty())
        {
            GuiDialogs::Box(this, GuiDialogs::EBox::Error, QString::fromUtf8(VlmString(IDS_PATH_EMPTY)));
            return;
        }
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

QString CSaveResultDlg::Path() const { return m_pPath->text(); }
