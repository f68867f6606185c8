#include "CDocumentRenderer.h"

#include <QDir>
#include <QFileInfo>
#include <QMetaObject>
#include <QProcess>
#include <QStandardPaths>
#include <QPainter>
#include <QTemporaryDir>
#include <QUrl>

#ifdef VLM_HAVE_QT_PDF
#include <QPdfDocument>
#endif

namespace {

#ifdef VLM_HAVE_QT_PDF
constexpr int kPollMs = 100;

QString OfficeProgram()
{
    for (const char* name : {"libreoffice", "soffice"})
        if (const QString path = QStandardPaths::findExecutable(QString::fromLatin1(name)); !path.isEmpty())
            return path;
    return {};
}

QImage RenderPdf(const QString& pdf, QSize bound)
{
    QPdfDocument document;
    if (document.load(pdf) != QPdfDocument::Error::None || document.pageCount() < 1) return {};
    const QSizeF points = document.pagePointSize(0);
    if (points.width() <= 0 || points.height() <= 0) return {};
    const QSize size = points.toSize().scaled(bound, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    QImage page = document.render(0, size);
    if (page.isNull()) return {};
    // Pages come with a transparent background; the pane shows them on white.
    QImage white(page.size(), QImage::Format_RGB32);
    white.fill(Qt::white);
    QPainter(&white).drawImage(0, 0, page);
    return white;
}
#endif

} // namespace

CDocumentRenderer::CDocumentRenderer(QObject* parent) : QObject(parent) {}

CDocumentRenderer::~CDocumentRenderer() { Cancel(); }

bool CDocumentRenderer::Available()
{
#ifdef VLM_HAVE_QT_PDF
    return !OfficeProgram().isEmpty();
#else
    return false;
#endif
}

bool CDocumentRenderer::PdfAvailable()
{
#ifdef VLM_HAVE_QT_PDF
    return true;
#else
    return false;
#endif
}

QImage CDocumentRenderer::Render(const QString& path, QSize bound, const std::atomic<bool>& cancel)
{
#ifdef VLM_HAVE_QT_PDF
    if (path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive)) return cancel ? QImage() : RenderPdf(path, bound);
    const QString program = OfficeProgram();
    QTemporaryDir job;
    if (program.isEmpty() || !job.isValid()) return {};
    // A profile of its own: a suite already running for the user, or a second job, would
    // otherwise take the conversion over or lock it out.
    const QString profile = QUrl::fromLocalFile(job.filePath(QStringLiteral("profile"))).toString();
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program,
                  {QStringLiteral("-env:UserInstallation=") + profile, QStringLiteral("--headless"),
                   QStringLiteral("--norestore"), QStringLiteral("--convert-to"), QStringLiteral("pdf"),
                   QStringLiteral("--outdir"), job.path(), path});
    if (!process.waitForStarted(10000)) return {};
    for (int waited = 0; !process.waitForFinished(kPollMs); waited += kPollMs)
    {
        if (cancel || waited >= kTimeoutMs || process.state() == QProcess::NotRunning)
        {
            process.kill();
            process.waitForFinished(5000);
            return {};
        }
    }
    const QString pdf = job.filePath(QFileInfo(path).completeBaseName() + QStringLiteral(".pdf"));
    if (process.exitStatus() != QProcess::NormalExit || !QFileInfo::exists(pdf) || cancel) return {};
    return RenderPdf(pdf, bound);
#else
    (void)path;
    (void)bound;
    (void)cancel;
    return {};
#endif
}

void CDocumentRenderer::Start(const QString& path, QSize bound)
{
    Cancel();
    m_pCancel = std::make_shared<std::atomic<bool>>(false);
    m_bDone = false;
    auto cancel = m_pCancel;
    m_Thread = std::thread([this, cancel, path, bound] {
        QImage image = Render(path, bound, *cancel);
        m_bDone = true;
        if (*cancel) return;
        // Delivered on this object's thread; a cancelled job never delivers.
        QMetaObject::invokeMethod(
            this,
            [this, cancel, image] {
                if (!*cancel) emit Finished(image);
            },
            Qt::QueuedConnection);
    });
}

void CDocumentRenderer::Cancel()
{
    if (m_pCancel) *m_pCancel = true;
    Join();
}

void CDocumentRenderer::Join()
{
    if (m_Thread.joinable()) m_Thread.join();
}
