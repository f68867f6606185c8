#pragma once
// Renders the first page of a PDF file or an office document into a picture on a worker thread:
// a PDF page is drawn directly; an office document is first converted to PDF by an installed office suite running headless in a child process
// (its own profile folder per job, a time limit, killed on cancel), and the PDF's first page is
// drawn with the PDF module. Either missing: the document cannot be rendered.
#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <atomic>
#include <memory>
#include <thread>

class CDocumentRenderer : public QObject
{
    Q_OBJECT
public:
    /// Longest a conversion may take.
    static constexpr int kTimeoutMs = 60000;

    explicit CDocumentRenderer(QObject* parent = nullptr);
    ~CDocumentRenderer() override;

    /// True when this machine and build can render office documents at all.
    static bool Available();
    /// True when this build draws PDF pages (no office suite needed for them).
    static bool PdfAvailable();
    /// Starts rendering `path` (a temporary copy, left untouched) to fit `bound`. Finished()
    /// follows on this object's thread. A running job is cancelled first.
    void Start(const QString& path, QSize bound);
    /// Stops a running job (the child process is killed); Finished() is not emitted for it.
    void Cancel();
    bool Running() const { return m_Thread.joinable() && !m_bDone; }

    /// Renders synchronously (the worker's job; also for tests). A null image on failure.
    static QImage Render(const QString& path, QSize bound, const std::atomic<bool>& cancel);

signals:
    void Finished(QImage image);

private:
    void Join();

    std::thread m_Thread;
    std::shared_ptr<std::atomic<bool>> m_pCancel;
    std::atomic<bool> m_bDone{true};
};
