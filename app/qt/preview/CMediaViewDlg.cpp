#include "CMediaViewDlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "PreviewMessages.h"
#include "core/CPreviewTempFile.h"
#include "core/VlmStrings.h"

#ifdef VLM_HAVE_QT_MULTIMEDIA
#include <QAudioOutput>
#include <QMediaFormat>
#include <QMediaPlayer>
#include <QVideoWidget>
#endif

CMediaViewDlg::CMediaViewDlg(std::unique_ptr<CPreviewTempFile> copy, QWidget* parent)
    : QDialog(parent), m_pCopy(std::move(copy))
{
    setWindowTitle(PreviewMessages::Text(IDS_VIEW_MEDIA_TITLE));
    resize(640, 480);
    auto* layout = new QVBoxLayout(this);
    m_pStatus = new QLabel(this);
    m_pStatus->setWordWrap(true);
#ifdef VLM_HAVE_QT_MULTIMEDIA
    if (!HasPlayer())
    {
        m_pStatus->setText(PreviewMessages::Text(IDS_PREVIEW_NO_PLAYER));
        m_pStatus->setAlignment(Qt::AlignCenter);
        layout->addStretch(1);
        layout->addWidget(m_pStatus);
        auto* close = new QDialogButtonBox(QDialogButtonBox::Close, this);
        connect(close, &QDialogButtonBox::rejected, this, &QDialog::reject);
        layout->addWidget(close);
        return;
    }
    auto* video = new QVideoWidget(this);
    layout->addWidget(video, 1);
    m_pPlayer = new QMediaPlayer(this);
    auto* audio = new QAudioOutput(this);
    m_pPlayer->setAudioOutput(audio);
    m_pPlayer->setVideoOutput(video);
    connect(m_pPlayer, &QMediaPlayer::errorOccurred, this,
            [this](QMediaPlayer::Error, const QString& text) { m_pStatus->setText(text); });
    auto* play = new QPushButton(tr("Play / Pause"), this);
    connect(play, &QPushButton::clicked, this, [this] {
        m_pPlayer->playbackState() == QMediaPlayer::PlayingState ? m_pPlayer->pause() : m_pPlayer->play();
    });
    layout->addWidget(play);
    m_pPlayer->setSource(QUrl::fromLocalFile(QString::fromStdString(m_pCopy->Path())));
    m_pPlayer->play();
#else
    m_pStatus->setText(PreviewMessages::Text(IDS_PREVIEW_NO_PLAYER));
    m_pStatus->setAlignment(Qt::AlignCenter);
    layout->addStretch(1);
#endif
    layout->addWidget(m_pStatus);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

CMediaViewDlg::~CMediaViewDlg()
{
#ifdef VLM_HAVE_QT_MULTIMEDIA
    // The player lets go of the file before the file is deleted.
    if (m_pPlayer) m_pPlayer->setSource(QUrl());
#endif
}

bool CMediaViewDlg::HasPlayer()
{
#ifdef VLM_HAVE_QT_MULTIMEDIA
    // A media back end without its decoders lists no formats; playing through it can bring
    // the whole program down, so such a back end counts as no player.
    static const bool usable = !QMediaFormat().supportedFileFormats(QMediaFormat::Decode).isEmpty();
    return usable;
#else
    return false;
#endif
}

QString CMediaViewDlg::Status() const { return m_pStatus->text(); }
