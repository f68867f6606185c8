#include "CFindFileDlg.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "GuiTexts.h"

namespace {

QString& LastText()
{
    static QString s_Text;
    return s_Text;
}

} // namespace

CFindFileDlg::CFindFileDlg(FindNext find, QWidget* parent) : QDialog(parent), m_Find(std::move(find))
{
    setWindowTitle(QString::fromUtf8(GuiText::kFindTitle));
    auto* layout = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    auto* line = new QHBoxLayout;
    line->addWidget(new QLabel(QString::fromUtf8(GuiText::kFindName), this));
    m_pName = new QLineEdit(LastText(), this);
    m_pName->setMinimumWidth(240);
    line->addWidget(m_pName);
    left->addLayout(line);
    m_pCase = new QCheckBox(QString::fromUtf8(GuiText::kMatchCase), this);
    m_pWord = new QCheckBox(QString::fromUtf8(GuiText::kMatchWord), this);
    left->addWidget(m_pCase);
    left->addWidget(m_pWord);
    layout->addLayout(left);
    auto* right = new QVBoxLayout;
    auto* next = new QPushButton(QString::fromUtf8(GuiText::kFindNext), this);
    auto* close = new QPushButton(QString::fromUtf8(GuiText::kClose), this);
    next->setDefault(true);
    right->addWidget(next);
    right->addWidget(close);
    right->addStretch();
    layout->addLayout(right);
    connect(next, &QPushButton::clicked, this, &CFindFileDlg::Next);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_pName, &QLineEdit::textChanged, this, [](const QString& text) { LastText() = text; });
}

bool CFindFileDlg::Next()
{
    if (m_pName->text().isEmpty()) return false;
    return m_Find(m_pName->text(), m_pCase->isChecked(), m_pWord->isChecked());
}
