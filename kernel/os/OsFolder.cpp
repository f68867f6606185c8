#include "os/OsFolder.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/VlmErrors.h"
#include "os/OsError.h"

namespace {

constexpr mode_t kFolderMode = 0755;

uint32_t LastError() { return OsErrorFromErrno(errno); }

} // namespace

OsFolder::~OsFolder() { Close(); }

OsFolder::OsFolder(OsFolder&& other) noexcept : m_Fd(other.m_Fd), m_strPath(std::move(other.m_strPath))
{
    other.m_Fd = -1;
}

OsFolder& OsFolder::operator=(OsFolder&& other) noexcept
{
    if (this != &other)
    {
        Close();
        m_Fd = other.m_Fd;
        m_strPath = std::move(other.m_strPath);
        other.m_Fd = -1;
    }
    return *this;
}

void OsFolder::Close()
{
    if (m_Fd >= 0) ::close(m_Fd);
    m_Fd = -1;
}

uint32_t OsFolder::Open(const std::string& path)
{
    Close();
    m_Fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_Fd < 0) return LastError();
    m_strPath = path;
    return ERROR_SUCCESS;
}

uint32_t OsFolder::MakeChild(const std::string& name) const
{
    if (m_Fd < 0) return ERROR_INVALID_HANDLE;
    return ::mkdirat(m_Fd, name.c_str(), kFolderMode) == 0 ? ERROR_SUCCESS : LastError();
}

uint32_t OsFolder::OpenChild(const std::string& name, OsFolder* child) const
{
    if (m_Fd < 0) return ERROR_INVALID_HANDLE;
    child->Close();
    child->m_Fd = ::openat(m_Fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (child->m_Fd < 0) return LastError();
    child->m_strPath = m_strPath + "/" + name;
    return ERROR_SUCCESS;
}

uint32_t OsFolder::RenameNoReplace(const std::string& from, const std::string& to) const
{
    if (m_Fd < 0) return ERROR_INVALID_HANDLE;
    if (::renameat2(m_Fd, from.c_str(), m_Fd, to.c_str(), RENAME_NOREPLACE) == 0) return ERROR_SUCCESS;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return LastError();
    // File systems that cannot rename that way: a hard link fails on an existing name; without
    // hard links either (FAT, exFAT) the check comes right before a plain rename.
    if (::linkat(m_Fd, from.c_str(), m_Fd, to.c_str(), 0) == 0)
    {
        ::unlinkat(m_Fd, from.c_str(), 0);
        return ERROR_SUCCESS;
    }
    if (errno == EEXIST) return LastError();
    if (Exists(to)) return ERROR_FILE_EXISTS;
    return ::renameat(m_Fd, from.c_str(), m_Fd, to.c_str()) == 0 ? ERROR_SUCCESS : LastError();
}

uint32_t OsFolder::Delete(const std::string& name) const
{
    if (m_Fd < 0) return ERROR_INVALID_HANDLE;
    return ::unlinkat(m_Fd, name.c_str(), 0) == 0 ? ERROR_SUCCESS : LastError();
}

bool OsFolder::Exists(const std::string& name) const
{
    struct stat st
    {};
    return m_Fd >= 0 && ::fstatat(m_Fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

std::string OsFolder::PathOf(const std::string& name) const
{
    if (m_Fd < 0) return {};
    static const bool s_bProc = ::access("/proc/self/fd", X_OK) == 0;
    if (!s_bProc) return m_strPath + "/" + name;
    return "/proc/self/fd/" + std::to_string(m_Fd) + "/" + name;
}
