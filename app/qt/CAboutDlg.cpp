#include "CAboutDlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "GuiResources.h"
#include "GuiTexts.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QString::fromUtf8(GuiText::kAboutTitle));
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    auto* icon = new QLabel(this);
    icon->setPixmap(GuiResources::AppIcon().pixmap(64, 64));
    icon->setAlignment(Qt::AlignTop);
    row->addWidget(icon);
    m_pText = new QLabel(this);
    m_pText->setTextFormat(Qt::RichText);
    m_pText->setWordWrap(true);
    m_pText->setMinimumWidth(380);
    m_pText->setText(QStringLiteral("<h3>%1 %2</h3><p>%3</p><p>%4</p>")
                         .arg(QString::fromUtf8(GuiText::kAppTitle), QStringLiteral(VLM_VERSION),
                              QString::fromUtf8(GuiText::kAboutText).toHtmlEscaped(),
                              QString::fromUtf8(GuiText::kAboutLicence).toHtmlEscaped()));
    row->addWidget(m_pText, 1);
    layout->addLayout(row);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

QString CAboutDlg::Text() const { return m_pText->text(); }
