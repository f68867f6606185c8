#include "CHelpViewPage.h"

#include <QTextBrowser>
#include <QVBoxLayout>

#include "GuiResources.h"

CHelpViewPage::CHelpViewPage(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_pBrowser = new QTextBrowser(this);
    m_pBrowser->setOpenExternalLinks(false);
    m_pBrowser->setHtml(GuiResources::HelpHtml());
    layout->addWidget(m_pBrowser);
}
