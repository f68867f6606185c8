#include "CPreviewStreamDevice.h"

#include "fs/IOutStream.h"

namespace {
constexpr int kStreamOk = 1;
constexpr int kStreamEnd = 4;
} // namespace

CPreviewStreamDevice::CPreviewStreamDevice(std::unique_ptr<IOutStream> stream, QObject* parent)
    : QIODevice(parent), m_pStream(std::move(stream))
{
    int64_t size = 0;
    if (m_pStream) m_pStream->GetSize(&size);
    m_s64Size = size > 0 ? size : 0;
    open(QIODevice::ReadOnly);
}

CPreviewStreamDevice::~CPreviewStreamDevice() = default;

qint64 CPreviewStreamDevice::readData(char* data, qint64 maxSize)
{
    if (!m_pStream || maxSize <= 0) return maxSize == 0 ? 0 : -1;
    const qint64 position = pos();
    if (position >= m_s64Size) return 0;
    const qint64 want = std::min(maxSize, m_s64Size - position);
    int64_t done = 0;
    int rc = m_pStream->Seek(SEEK_ORIGIN_BEGIN, position, nullptr);
    if (rc == kStreamOk) rc = m_pStream->Read(reinterpret_cast<uint8_t*>(data), want, &done);
    if (rc == kStreamOk || rc == kStreamEnd) return done;
    ++m_nFailures;
    return -1;
}
