#pragma once
// A read-only QIODevice over a recovered file's engine stream, so that Qt's decoders read the
// file where it lies, piece by piece, instead of from a copy in memory.
#include <QIODevice>
#include <memory>

class IOutStream;

class CPreviewStreamDevice final : public QIODevice
{
    Q_OBJECT
public:
    /// Takes the stream over and opens itself for reading.
    explicit CPreviewStreamDevice(std::unique_ptr<IOutStream> stream, QObject* parent = nullptr);
    ~CPreviewStreamDevice() override;

    bool isSequential() const override { return false; }
    qint64 size() const override { return m_s64Size; }
    /// Pieces that could not be read (bad sectors) so far; they read as failures.
    int ReadFailures() const { return m_nFailures; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    std::unique_ptr<IOutStream> m_pStream;
    qint64 m_s64Size = 0;
    int m_nFailures = 0;
};
