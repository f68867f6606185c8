#include "os/OsDeviceHelper.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/VlmErrors.h"
#include "os/OsError.h"
#include "os/OsFdPassing.h"

uint32_t OsOpenBlockDeviceForPeer(const std::string& path, int* fd)
{
    *fd = -1;
    if (path.rfind("/dev/", 0) != 0) return ERROR_ACCESS_DENIED;
    // /dev/disk/by-id and friends are links; what they point at must still be a node in /dev.
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) return OsErrorFromErrno(errno);
    const std::string target = resolved;
    if (target.rfind("/dev/", 0) != 0) return ERROR_ACCESS_DENIED;
    const int opened = ::open(target.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY);
    if (opened < 0) return OsErrorFromErrno(errno);
    struct stat st;
    if (::fstat(opened, &st) != 0 || !S_ISBLK(st.st_mode))
    {
        ::close(opened);
        return ERROR_ACCESS_DENIED;
    }
    *fd = opened;
    return ERROR_SUCCESS;
}

int OsServeDeviceRequests(int sock)
{
    std::string line;
    while (OsReceiveRequestLine(sock, &line))
    {
        if (line.rfind("OPEN ", 0) != 0) return 2;
        int fd = -1;
        const uint32_t status = OsOpenBlockDeviceForPeer(line.substr(5), &fd);
        const bool sent = OsSendStatusAndFd(sock, status, fd);
        if (fd >= 0) ::close(fd); // the peer holds its own copy now
        if (!sent) return 0;
    }
    return 0;
}
