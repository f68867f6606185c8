#include "CHelpViewPage.h"

#include <QFile>
#include <QTextBrowser>
#include <QVBoxLayout>

CHelpViewPage::CHelpViewPage(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_pBrowser = new QTextBrowser(this);
    m_pBrowser->setOpenExternalLinks(false);
    QFile help(QStringLiteral(":/vellumar/help.html"));
    if (help.open(QIODevice::ReadOnly))
        m_pBrowser->setHtml(QString::fromUtf8(help.readAll()));
    layout->addWidget(m_pBrowser);
}
