#include "CTextViewDlg.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QVBoxLayout>

#include "PreviewMessages.h"
#include "base/VlmErrors.h"
#include "core/PreviewCheck.h"
#include "core/PreviewRtf.h"
#include "core/PreviewStream.h"
#include "core/PreviewText.h"
#include "core/TextFormat.h"
#include "core/VlmStrings.h"

CTextViewDlg::CTextViewDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(PreviewMessages::Text(IDS_VIEW_TEXT_TITLE));
    resize(760, 560);
    m_pPlain = new QPlainTextEdit(this);
    m_pPlain->setReadOnly(true);
    m_pPlain->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_pPlain->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_pRich = new QTextEdit(this);
    m_pRich->setReadOnly(true);
    m_pRich->hide();
    m_pNote = new QLabel(this);
    m_pNote->hide();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pPlain);
    layout->addWidget(m_pRich);
    layout->addWidget(m_pNote);
    layout->addWidget(buttons);
}

uint32_t CTextViewDlg::Load(IOutStream& stream)
{
    std::vector<uint8_t> bytes;
    tagStreamCopy copy;
    const uint32_t status = ReadStreamHead(stream, kPreviewTextLimit, bytes, &copy);
    Show(bytes);
    const uint32_t error = status != ERROR_SUCCESS ? status : (copy.dwBadPieces ? ERROR_IO_DEVICE : 0);
    if (error != 0)
    {
        m_pNote->setText(QString::fromStdString(FormatText(VlmString(IDS_PREVIEW_READ_FAILED), error)));
        m_pNote->show();
    }
    return error;
}

void CTextViewDlg::Show(const std::vector<uint8_t>& bytes)
{
    std::string html;
    m_bRich = IsRichText(bytes) && RtfToHtml(bytes, html);
    if (m_bRich)
        m_pRich->setHtml(QString::fromStdString(html));
    else
        m_pPlain->setPlainText(QString::fromStdString(PlainTextToUtf8(bytes)));
    m_pRich->setVisible(m_bRich);
    m_pPlain->setVisible(!m_bRich);
}

QString CTextViewDlg::ShownText() const { return m_bRich ? m_pRich->toPlainText() : m_pPlain->toPlainText(); }
