#include "CQuickPreviewPane.h"

#include <QVBoxLayout>

#include "CDocumentRenderer.h"
#include "CFitImageView.h"
#include "PreviewImageDecode.h"
#include "PreviewMessages.h"
#include "base/VlmErrors.h"
#include "core/CPreviewTempFile.h"
#include "core/PreviewCheck.h"
#include "fs/IFileSystem.h"
#include "core/VlmStrings.h"

CQuickPreviewPane::CQuickPreviewPane(QWidget* parent) : QWidget(parent)
{
    m_pView = new CFitImageView(this);
    m_pRenderer = new CDocumentRenderer(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_pView);
    connect(m_pRenderer, &CDocumentRenderer::Finished, this, &CQuickPreviewPane::OnRendered);
    connect(m_pView, &CFitImageView::DoubleClicked, this, [this] {
        if (!m_pRenderer->Running())
            return;
        m_pRenderer->Cancel();
        ShowUnsupported();
    });
}

CQuickPreviewPane::~CQuickPreviewPane()
{
    // The renderer's child process lets go of the copy before the copy is deleted.
    m_pRenderer->Cancel();
}

bool CQuickPreviewPane::Rendering() const
{
    return m_pRenderer->Running();
}

void CQuickPreviewPane::Clear()
{
    m_pRenderer->Cancel();
    m_pCopy.reset();
    m_pView->SetText(QString());
    m_Shown = EQuickPreview::Unsupported;
}

void CQuickPreviewPane::ShowUnsupported()
{
    m_Shown = EQuickPreview::Unsupported;
    m_pView->SetText(PreviewMessages::Text(IDS_QUICK_UNSUPPORTED));
}

void CQuickPreviewPane::ShowFile(IFileSystem* fs, const tagFileNode* record, const std::string& name)
{
    Clear();
    if (fs == nullptr || !QuickPreviewAllowed(record))
        return ShowUnsupported();
    m_pCopy = std::make_unique<CPreviewTempFile>();
    if (m_pCopy->Prepare(name) != ERROR_SUCCESS || m_pCopy->SaveWhole(*fs, record) != ERROR_SUCCESS)
    {
        m_pCopy.reset();
        return ShowUnsupported();
    }
    const QString path = QString::fromStdString(m_pCopy->Path());
    const QImage image = DecodePreviewImage(path, size().expandedTo(QSize(64, 64)));
    std::unique_ptr<IOutStream> stream(image.isNull() ? fs->OpenStream(record) : nullptr);
    m_Shown = QuickPreviewChoice(name, !image.isNull(), stream.get());
    switch (m_Shown)
    {
    case EQuickPreview::Image:
        m_pView->SetImage(image);
        return;
    case EQuickPreview::Document:
        if (!CDocumentRenderer::Available())
            return ShowUnsupported();
        m_pView->SetText(PreviewMessages::Text(IDS_QUICK_LOADING));
        m_pRenderer->Start(path, size().expandedTo(QSize(64, 64)));
        return;
    case EQuickPreview::Unsupported:
        return ShowUnsupported();
    }
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
