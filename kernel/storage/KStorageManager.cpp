#include "storage/KStorageManager.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "base/VlmErrors.h"

KStorageManager::KStorageManager() : m_pBuffer(new (std::nothrow) uint8_t[kBufferSize]) {}

KStorageManager::~KStorageManager() { Close(); }

int KStorageManager::Open(const std::string& path, bool write)
{
    Close();
    if (!m_pBuffer) return 0;
    const uint32_t error = write ? m_File.CreateAlways(path) : m_File.OpenRead(path);
    if (error != ERROR_SUCCESS) return 0;
    return Opened(path, write);
}

int KStorageManager::OpenNew(const std::string& path, uint32_t* error)
{
    Close();
    const uint32_t rc = m_pBuffer ? m_File.CreateNew(path) : ERROR_NOT_ENOUGH_MEMORY;
    if (error) *error = rc;
    if (rc != ERROR_SUCCESS) return 0;
    return Opened(path, true);
}

int KStorageManager::Opened(const std::string& path, bool write)
{
    try
    {
        m_strPath = path;
    }
    catch (const std::bad_alloc&)
    {
        m_File.Close();
        return 0;
    }
    m_bWrite = write;
    m_nPos = 0;
    m_nLevel = write ? kBufferSize : 0;
    m_dwWriteError = 0;
    return 1;
}

// Writes the bytes before the position to the file. A failing write is remembered: from then
// on nothing more is accepted and Flush/Close report the failure.
bool KStorageManager::WriteOut()
{
    if (m_dwWriteError != ERROR_SUCCESS) return false;
    if (m_nPos > 0)
    {
        const uint32_t error = m_File.Write(m_pBuffer.get(), static_cast<size_t>(m_nPos));
        if (error != ERROR_SUCCESS)
        {
            m_dwWriteError = error;
            return false;
        }
    }
    m_nPos = 0;
    return true;
}

int KStorageManager::Write(const void* buffer, int length, int* done)
{
    if (done) *done = 0;
    if (!IsOpen() || !m_bWrite || length < 0 || (!buffer && length > 0) || m_dwWriteError) return 0;
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    int accepted = 0;
    while (accepted < length)
    {
        if (m_nPos == m_nLevel && !WriteOut())
        {
            if (done) *done = accepted;
            return 0;
        }
        const int n = std::min(length - accepted, m_nLevel - m_nPos);
        std::memcpy(m_pBuffer.get() + m_nPos, bytes + accepted, static_cast<size_t>(n));
        m_nPos += n;
        accepted += n;
    }
    if (done) *done = accepted;
    return 1;
}

int KStorageManager::Read(void* buffer, int length, int* done)
{
    if (done) *done = 0;
    if (!IsOpen() || m_bWrite || length < 0 || (!buffer && length > 0)) return 0;
    auto* bytes = static_cast<uint8_t*>(buffer);
    int delivered = 0;
    while (delivered < length)
    {
        if (m_nPos == m_nLevel)
        {
            size_t got = 0;
            m_nPos = 0;
            m_nLevel = 0;
            if (m_File.Read(m_pBuffer.get(), kBufferSize, &got) != ERROR_SUCCESS || got == 0) break;
            m_nLevel = static_cast<int>(got);
        }
        const int n = std::min(length - delivered, m_nLevel - m_nPos);
        std::memcpy(bytes + delivered, m_pBuffer.get() + m_nPos, static_cast<size_t>(n));
        m_nPos += n;
        delivered += n;
    }
    if (done) *done = delivered;
    return 1;
}

int KStorageManager::Flush()
{
    if (!IsOpen()) return 0;
    if (!m_bWrite) return 1;
    return WriteOut() ? 1 : 0;
}

int KStorageManager::Close()
{
    if (!IsOpen()) return 1;
    int ok = 1;
    // What was written is on the disk before the file counts as saved: a result renamed into
    // place must not turn out empty after a power cut.
    if (m_bWrite) ok = WriteOut() && m_File.Sync() == ERROR_SUCCESS ? 1 : 0;
    if (m_File.Close() != ERROR_SUCCESS && m_bWrite) ok = 0;
    m_bWrite = false;
    m_nPos = 0;
    m_nLevel = 0;
    return ok;
}
