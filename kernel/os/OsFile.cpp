#include "os/OsFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <glob.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "base/VlmErrors.h"
#include "os/OsError.h"
#include "os/OsTime.h"

namespace {
constexpr mode_t kFileMode = 0644;
constexpr mode_t kFolderMode = 0755;

uint32_t LastError() { return OsErrorFromErrno(errno); }

int OpenRetrying(const std::string& path, int flags)
{
    int fd = -1;
    do fd = ::open(path.c_str(), flags | O_CLOEXEC, kFileMode);
    while (fd < 0 && errno == EINTR);
    return fd;
}
} // namespace

OsFile::~OsFile()
{
    if (m_Fd >= 0) ::close(m_Fd);
}

uint32_t OsFile::CreateNew(const std::string& path)
{
    Close();
    // O_EXCL also refuses a symbolic link planted at the path, dangling or not.
    m_Fd = OpenRetrying(path, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW);
    return m_Fd < 0 ? LastError() : ERROR_SUCCESS;
}

uint32_t OsFile::OpenRead(const std::string& path)
{
    Close();
    m_Fd = OpenRetrying(path, O_RDONLY);
    return m_Fd < 0 ? LastError() : ERROR_SUCCESS;
}

uint32_t OsFile::Sync()
{
    if (m_Fd < 0) return ERROR_INVALID_HANDLE;
    return ::fsync(m_Fd) == 0 ? ERROR_SUCCESS : LastError();
}

uint32_t OsFile::CreateAlways(const std::string& path)
{
    Close();
    m_Fd = OpenRetrying(path, O_WRONLY | O_CREAT | O_TRUNC);
    return m_Fd < 0 ? LastError() : ERROR_SUCCESS;
}

uint32_t OsFile::OpenWrite(const std::string& path)
{
    Close();
    m_Fd = OpenRetrying(path, O_WRONLY | O_CREAT);
    return m_Fd < 0 ? LastError() : ERROR_SUCCESS;
}

uint32_t OsFile::Grow(uint64_t length)
{
    struct stat st;
    if (m_Fd < 0 || ::fstat(m_Fd, &st) != 0) return m_Fd < 0 ? ERROR_INVALID_HANDLE : LastError();
    if (static_cast<uint64_t>(st.st_size) >= length) return ERROR_SUCCESS;
    return ::ftruncate(m_Fd, static_cast<off_t>(length)) == 0 ? ERROR_SUCCESS : LastError();
}

uint32_t OsFile::Write(const void* data, size_t size)
{
    if (m_Fd < 0) return ERROR_INVALID_HANDLE;
    const auto* bytes = static_cast<const uint8_t*>(data);
    size_t done = 0;
    while (done < size)
    {
        const ssize_t n = ::write(m_Fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return LastError();
        if (n == 0) return ERROR_DISK_FULL; // nothing more accepted: the target is full
        done += static_cast<size_t>(n);
    }
    return ERROR_SUCCESS;
}

uint32_t OsFile::WriteAt(uint64_t offset, const void* data, size_t size)
{
    if (m_Fd < 0) return ERROR_INVALID_HANDLE;
    if (offset > static_cast<uint64_t>(INT64_MAX) - size) return ERROR_INVALID_PARAMETER;
    const auto* bytes = static_cast<const uint8_t*>(data);
    size_t done = 0;
    while (done < size)
    {
        const ssize_t n = ::pwrite(m_Fd, bytes + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return LastError();
        if (n == 0) return ERROR_DISK_FULL;
        done += static_cast<size_t>(n);
    }
    return ERROR_SUCCESS;
}

uint32_t OsFile::Read(void* data, size_t size, size_t* done)
{
    *done = 0;
    if (m_Fd < 0) return ERROR_INVALID_HANDLE;
    auto* bytes = static_cast<uint8_t*>(data);
    while (*done < size)
    {
        const ssize_t n = ::read(m_Fd, bytes + *done, size - *done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return LastError();
        if (n == 0) break;
        *done += static_cast<size_t>(n);
    }
    return ERROR_SUCCESS;
}

uint32_t OsFile::Seek(int64_t offset, int whence, int64_t* newPos)
{
    if (m_Fd < 0) return ERROR_INVALID_HANDLE;
    const off_t pos = ::lseek(m_Fd, static_cast<off_t>(offset), whence);
    if (pos < 0) return LastError();
    if (newPos != nullptr) *newPos = static_cast<int64_t>(pos);
    return ERROR_SUCCESS;
}

uint32_t OsFile::Close()
{
    if (m_Fd < 0) return ERROR_SUCCESS;
    // A write the file system deferred can fail only here (quota, network file systems): the
    // error is returned so a copy is not reported as saved. The descriptor is gone either way
    // on Linux, so close is never retried.
    const int rc = ::close(m_Fd);
    m_Fd = -1;
    return rc != 0 && errno != EINTR ? LastError() : ERROR_SUCCESS;
}

namespace {

// The two times utimensat and futimens take; a time of 0 is left as it is.
void FileTimePair(int64_t accessUtc, int64_t writeUtc, timespec (&times)[2])
{
    times[0] = FileTimeToTimespec(accessUtc);
    times[1] = FileTimeToTimespec(writeUtc);
    if (accessUtc == 0) times[0].tv_nsec = UTIME_OMIT;
    if (writeUtc == 0) times[1].tv_nsec = UTIME_OMIT;
}

} // namespace

uint32_t OsFile::SetTimes(int64_t accessUtc, int64_t writeUtc)
{
    if (m_Fd < 0) return ERROR_INVALID_HANDLE;
    timespec times[2]{};
    FileTimePair(accessUtc, writeUtc, times);
    return ::futimens(m_Fd, times) == 0 ? ERROR_SUCCESS : LastError();
}

// Linux has no settable creation (birth) time, so only access and modification are set.
uint32_t OsSetFileTimes(const std::string& path, int64_t accessUtc, int64_t writeUtc)
{
    timespec times[2]{};
    FileTimePair(accessUtc, writeUtc, times);
    if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) return LastError();
    return ERROR_SUCCESS;
}

uint32_t OsCreateFolder(const std::string& path)
{
    if (::mkdir(path.c_str(), kFolderMode) != 0) return LastError();
    return ERROR_SUCCESS;
}

uint32_t OsCreateFolders(const std::string& path)
{
    if (path.empty()) return ERROR_PATH_NOT_FOUND;
    // Create each prefix that ends before a '/', then the whole path.
    for (size_t pos = path.find('/', 1);; pos = path.find('/', pos + 1))
    {
        const std::string prefix = pos == std::string::npos ? path : path.substr(0, pos);
        if (!prefix.empty() && ::mkdir(prefix.c_str(), kFolderMode) != 0 && errno != EEXIST) return LastError();
        if (pos == std::string::npos) break;
    }
    // A file of that name is not the folder the caller asked for.
    return OsIsFolder(path) ? ERROR_SUCCESS : ERROR_FILE_EXISTS;
}

bool OsPathExists(const std::string& path)
{
    struct stat st
    {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool OsIsFolder(const std::string& path)
{
    struct stat st
    {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

uint32_t OsDeleteFile(const std::string& path)
{
    if (::unlink(path.c_str()) != 0) return LastError();
    return ERROR_SUCCESS;
}

uint32_t OsRename(const std::string& from, const std::string& to)
{
    if (::rename(from.c_str(), to.c_str()) != 0) return LastError();
    return ERROR_SUCCESS;
}

uint32_t OsFreeSpace(const std::string& path, uint64_t* freeBytes)
{
    *freeBytes = 0;
    struct statvfs info
    {};
    if (::statvfs(path.c_str(), &info) != 0) return LastError();
    const uint64_t blocks = info.f_bavail;
    const uint64_t blockSize = info.f_frsize != 0 ? info.f_frsize : info.f_bsize;
    *freeBytes = blockSize != 0 && blocks > UINT64_MAX / blockSize ? UINT64_MAX : blocks * blockSize;
    return ERROR_SUCCESS;
}

uint32_t OsProcessId() { return static_cast<uint32_t>(::getpid()); }

std::string OsTempFolder()
{
    const char* dir = std::getenv("TMPDIR");
    if (dir != nullptr && dir[0] != '\0') return dir;
    return "/tmp";
}

std::vector<std::string> OsFindFiles(const std::string& pattern)
{
    std::vector<std::string> paths;
    glob_t found{};
    if (::glob(pattern.c_str(), GLOB_NOSORT, nullptr, &found) == 0)
    {
        for (size_t i = 0; i < found.gl_pathc; ++i) paths.emplace_back(found.gl_pathv[i]);
    }
    ::globfree(&found);
    // Byte order, not the locale's collation, so results are the same on every machine.
    std::sort(paths.begin(), paths.end());
    return paths;
}

std::string OsProgramFolder()
{
    std::string path(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
    if (n <= 0 || static_cast<size_t>(n) >= path.size()) return {};
    path.resize(static_cast<size_t>(n));
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}
