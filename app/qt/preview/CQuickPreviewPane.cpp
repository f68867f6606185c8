#include "CQuickPreviewPane.h"

#include <QFile>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "CDocumentRenderer.h"
#include "CFitImageView.h"
#include "CMediaViewDlg.h"
#include "PreviewImageDecode.h"
#include "PreviewMessages.h"
#include "base/VlmErrors.h"
#include "core/CPreviewTempFile.h"
#include "core/PreviewCheck.h"
#include "core/PreviewHexDump.h"
#include "core/PreviewText.h"
#include "core/QuickFilter.h"
#include "fs/IFileSystem.h"
#include "core/VlmStrings.h"

namespace {

// Text has no zero bytes and few control characters other than tabs and line ends; UTF-16
// text is recognised by its byte-order mark.
bool LooksLikeText(const QByteArray& head)
{
    if (head.startsWith("\xff\xfe") || head.startsWith("\xfe\xff")) return true;
    if (head.isEmpty()) return false;
    qsizetype control = 0;
    for (const char c : head)
    {
        const auto u = static_cast<unsigned char>(c);
        if (u == 0) return false;
        if (u < 0x20 && u != '\t' && u != '\n' && u != '\r' && u != '\f' && u != 0x1b) ++control;
    }
    return control * 100 <= head.size();
}

} // namespace

CQuickPreviewPane::CQuickPreviewPane(QWidget* parent) : QWidget(parent)
{
    m_pStack = new QStackedWidget(this);
    m_pView = new CFitImageView(m_pStack);
    m_pText = new QPlainTextEdit(m_pStack);
    m_pText->setReadOnly(true);
    m_pText->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_pMedia = new QWidget(m_pStack);
    auto* media = new QVBoxLayout(m_pMedia);
    m_pMediaText = new QLabel(m_pMedia);
    m_pMediaText->setWordWrap(true);
    m_pMediaText->setAlignment(Qt::AlignCenter);
    m_pPlay = new QPushButton(tr("Play"), m_pMedia);
    media->addStretch(1);
    media->addWidget(m_pMediaText);
    media->addWidget(m_pPlay, 0, Qt::AlignHCenter);
    media->addStretch(1);
    m_pStack->addWidget(m_pView);
    m_pStack->addWidget(m_pText);
    m_pStack->addWidget(m_pMedia);
    m_pRenderer = new CDocumentRenderer(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_pStack);
    connect(m_pRenderer, &CDocumentRenderer::Finished, this, &CQuickPreviewPane::OnRendered);
    connect(m_pView, &CFitImageView::DoubleClicked, this, [this] {
        if (!m_pRenderer->Running()) return;
        m_pRenderer->Cancel();
        ShowUnsupported();
    });
    connect(m_pPlay, &QPushButton::clicked, this, [this] {
        if (m_Play) m_Play();
    });
}

CQuickPreviewPane::~CQuickPreviewPane()
{
    // The renderer's child process lets go of the copy before the copy is deleted.
    m_pRenderer->Cancel();
}

bool CQuickPreviewPane::Rendering() const { return m_pRenderer->Running(); }

QString CQuickPreviewPane::ShownText() const
{
    return m_Showing == EShows::Text || m_Showing == EShows::Hex ? m_pText->toPlainText() : QString();
}

void CQuickPreviewPane::Clear()
{
    m_pRenderer->Cancel();
    m_pCopy.reset();
    m_pView->SetText(QString());
    m_pText->clear();
    m_pStack->setCurrentWidget(m_pView);
    m_Shown = EQuickPreview::Unsupported;
    m_Showing = EShows::Nothing;
}

void CQuickPreviewPane::ShowNotice(const QString& text)
{
    m_Showing = EShows::Notice;
    m_pView->SetText(text);
    m_pStack->setCurrentWidget(m_pView);
}

void CQuickPreviewPane::ShowUnsupported()
{
    m_Shown = EQuickPreview::Unsupported;
    ShowNotice(PreviewMessages::Text(IDS_QUICK_UNSUPPORTED));
}

void CQuickPreviewPane::ShowFile(IFileSystem* fs, const tagFileNode* record, const std::string& name)
{
    Clear();
    if (record == nullptr) return;
    if (fs == nullptr) return ShowUnsupported();
    // A folder, a compressed or encrypted file or one too large to copy: say why in the
    // previews' own words.
    if (const uint32_t refusal = PreviewRefusal(record); refusal != 0)
        return ShowNotice(PreviewMessages::Text(refusal));
    if (!QuickPreviewAllowed(record)) return ShowUnsupported();
    m_pCopy = std::make_unique<CPreviewTempFile>();
    if (m_pCopy->Prepare(name) != ERROR_SUCCESS || m_pCopy->SaveWhole(*fs, record) != ERROR_SUCCESS)
    {
        m_pCopy.reset();
        return ShowNotice(PreviewMessages::Text(IDS_PREVIEW_TEMP_FAILED));
    }
    const QString path = QString::fromStdString(m_pCopy->Path());
    const QImage image = DecodePreviewImage(path, size().expandedTo(QSize(64, 64)));
    std::unique_ptr<IOutStream> stream(image.isNull() ? fs->OpenStream(record) : nullptr);
    m_Shown = QuickPreviewChoice(name, !image.isNull(), stream.get());
    const bool pdf = QString::fromStdString(name).endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive);
    if (m_Shown == EQuickPreview::Image)
    {
        m_Showing = EShows::Image;
        m_pView->SetImage(image);
        return;
    }
    if ((m_Shown == EQuickPreview::Document && CDocumentRenderer::Available()) ||
        (pdf && CDocumentRenderer::PdfAvailable()))
    {
        m_Shown = EQuickPreview::Document;
        m_Showing = EShows::Document;
        m_pView->SetText(PreviewMessages::Text(IDS_QUICK_LOADING));
        m_pRenderer->Start(path, size().expandedTo(QSize(64, 64)));
        return;
    }
    const EFileCategory category = CQuickFilter::CategoryOf(name.c_str());
    if (category == EFileCategory::Audio || category == EFileCategory::Video) return ShowMedia();
    if (pdf || m_Shown == EQuickPreview::Document)
    {
        // The renderer is missing from this build or machine: say so, then show the bytes.
        m_pText->setPlainText(PreviewMessages::Text(IDS_QUICK_NO_RENDERER));
    }
    ShowHead(path);
}

void CQuickPreviewPane::ShowHead(const QString& path)
{
    QFile file(path);
    const QByteArray head = file.open(QIODevice::ReadOnly) ? file.read(kTextHead) : QByteArray();
    const QString notice = m_pText->toPlainText();
    QString shown;
    if (LooksLikeText(head))
    {
        m_Showing = EShows::Text;
        const ByteView bytes(reinterpret_cast<const uint8_t*>(head.constData()), static_cast<size_t>(head.size()));
        shown = QString::fromStdString(PlainTextToUtf8(bytes));
        m_pText->setFont(QFont());
    }
    else
    {
        m_Showing = EShows::Hex;
        const qsizetype n = std::min<qsizetype>(head.size(), kHexHead);
        const ByteView bytes(reinterpret_cast<const uint8_t*>(head.constData()), static_cast<size_t>(n));
        shown = QString::fromStdString(HexDump(bytes));
        m_pText->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    }
    m_pText->setPlainText(notice.isEmpty() ? shown : notice + QStringLiteral("\n\n") + shown);
    m_pStack->setCurrentWidget(m_pText);
}

void CQuickPreviewPane::ShowMedia()
{
    m_Showing = EShows::Media;
    const bool player = CMediaViewDlg::HasPlayer();
    m_pMediaText->setText(player ? QString::fromStdString(m_pCopy ? m_pCopy->Path() : std::string()).section('/', -1)
                                 : PreviewMessages::Text(IDS_PREVIEW_NO_PLAYER));
    m_pPlay->setVisible(player && m_Play != nullptr);
    m_pStack->setCurrentWidget(m_pMedia);
}

void CQuickPreviewPane::OnRendered(const QImage& image)
{
    if (image.isNull())
        ShowUnsupported();
    else
        m_pView->SetImage(image);
    emit RenderFinished();
}

CQuickPreviewLink::CQuickPreviewLink(QWidget* parent) : QLabel(parent)
{
    setTextFormat(Qt::RichText);
    setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    connect(this, &QLabel::linkActivated, this, [this] {
        SetOpen(!m_bOpen);
        emit Toggled(m_bOpen);
    });
    SetOpen(false);
}

void CQuickPreviewLink::SetOpen(bool open)
{
    m_bOpen = open;
    const QString text = PreviewMessages::Text(open ? IDS_QUICK_CLOSE : IDS_QUICK_OPEN).toHtmlEscaped();
    setText(QStringLiteral("<a href=\"toggle\">%1</a>").arg(text));
}
