#pragma once
// Files and folders of the target side: recovered files, scan results, temporary files.
// Errors are system error numbers (OsErrorFromErrno).
#include <cstdint>
#include <string>
#include <vector>

class OsFile
{
public:
    OsFile() = default;
    ~OsFile();
    OsFile(const OsFile&) = delete;
    OsFile& operator=(const OsFile&) = delete;

    /// Creates a new file for reading and writing; fails with 80 when it exists (O_EXCL).
    uint32_t CreateNew(const std::string& path);
    /// Opens an existing file read-only.
    uint32_t OpenRead(const std::string& path);
    /// Opens (creating or truncating) a file for writing.
    uint32_t CreateAlways(const std::string& path);
    /// Opens a file for writing, creating it when missing and keeping what it holds.
    uint32_t OpenWrite(const std::string& path);
    /// Extends the file to `length` bytes (a sparse hole); a longer file stays as it is.
    uint32_t Grow(uint64_t length);
    /// Writes all bytes or returns the error (112 when the disk is full, also on a short write;
    /// 223 when the file may grow no further, as on a file system with a file-size limit).
    uint32_t Write(const void* data, size_t size);
    /// Writes all bytes at `offset`, leaving the file position alone (errors as Write).
    uint32_t WriteAt(uint64_t offset, const void* data, size_t size);
    /// Reads up to `size` bytes; `done` gets the count (0 at the end of the file).
    uint32_t Read(void* data, size_t size, size_t* done);
    uint32_t Seek(int64_t offset, int whence, int64_t* newPos = nullptr);
    /// Sets last-access and last-write times as OsSetFileTimes does, through the open file
    /// (no second walk of its path); set after the last write, which would change them.
    uint32_t SetTimes(int64_t accessUtc, int64_t writeUtc);
    /// Forces the written data to the disk.
    uint32_t Sync();
    /// Closes the file; an error the system reports only now (a deferred write) is returned.
    uint32_t Close();
    bool IsOpen() const { return m_Fd >= 0; }
    int Fd() const { return m_Fd; }

private:
    int m_Fd = -1;
};

// Sets last-access and last-write times (UTC file times; 0 leaves a time unchanged).
// Linux keeps no settable creation time, so a recovered file's creation time cannot be restored.
uint32_t OsSetFileTimes(const std::string& path, int64_t accessUtc, int64_t writeUtc);
// Creates one folder; 80 when it exists.
uint32_t OsCreateFolder(const std::string& path);
// Creates a folder and its missing parents; succeeds when it exists already.
uint32_t OsCreateFolders(const std::string& path);
bool OsPathExists(const std::string& path);
bool OsIsFolder(const std::string& path);
uint32_t OsDeleteFile(const std::string& path);
// Renames or moves within one file system; an existing `to` is replaced.
uint32_t OsRename(const std::string& from, const std::string& to);
// Free bytes available to this user on the file system that holds `path`.
uint32_t OsFreeSpace(const std::string& path, uint64_t* freeBytes);
// $TMPDIR, or /tmp.
std::string OsTempFolder();
// This process's id (to tell apart the temporary files of two running programs).
uint32_t OsProcessId();
// Paths matching a shell pattern, sorted; empty when none.
std::vector<std::string> OsFindFiles(const std::string& pattern);
// The folder of the running program (from /proc/self/exe), with a trailing '/'; empty when
// it cannot be found.
std::string OsProgramFolder();
