#pragma once
// A scan-result file behind a 2 MiB buffer: record stores make hundreds of thousands of small
// writes and reads, which the buffer turns into large file transfers.
//
// Reading opens the file read-only, so a read-only result file loads. A file write that fails
// (disk full, size limit) is reported: Write returns 0 from then on, and Flush and Close
// return 0, so a save never passes a truncated file off as complete.
#include <cstdint>
#include <memory>
#include <string>

#include "os/OsFile.h"
#include "storage/IStorageManager.h"

class KStorageManager final : public IStorageManager
{
public:
    static constexpr int kBufferSize = 0x200000;

    KStorageManager();
    ~KStorageManager() override;
    KStorageManager(const KStorageManager&) = delete;
    KStorageManager& operator=(const KStorageManager&) = delete;

    int Read(void* buffer, int length, int* done) override;
    int Write(const void* buffer, int length, int* done) override;

    /// Opens an existing file for reading, or creates/truncates one for writing. 1 or 0.
    int Open(const std::string& path, bool write);
    /// Creates `path` for writing only when nothing exists there (no file, no symbolic link).
    /// 0 (with the system error in `error`) when it cannot.
    int OpenNew(const std::string& path, uint32_t* error = nullptr);
    /// Writes out the buffered bytes (write mode) and closes. 1, or 0 when any write failed.
    int Close();
    /// Writes out the buffered bytes. 1, or 0 when any write failed.
    int Flush();
    bool IsOpen() const { return m_File.IsOpen(); }
    /// The system error of the first failed file write, 0 when none failed.
    uint32_t GetWriteError() const { return m_dwWriteError; }

private:
    int Opened(const std::string& path, bool write);
    bool WriteOut();

    OsFile m_File;
    std::string m_strPath;
    std::unique_ptr<uint8_t[]> m_pBuffer;
    int m_nPos = 0;
    int m_nLevel = 0; // fill level (reading) or capacity (writing)
    bool m_bWrite = false;
    uint32_t m_dwWriteError = 0;
};
