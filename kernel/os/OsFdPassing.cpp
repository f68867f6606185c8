#include "os/OsFdPassing.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

bool SendAll(int sock, const char* data, size_t length)
{
    while (length > 0)
    {
        const ssize_t n = ::send(sock, data, length, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

} // namespace

bool OsSendStatusAndFd(int sock, uint32_t status, int fd)
{
    uint8_t payload[4] = {static_cast<uint8_t>(status), static_cast<uint8_t>(status >> 8),
                          static_cast<uint8_t>(status >> 16), static_cast<uint8_t>(status >> 24)};
    iovec iov{payload, sizeof(payload)};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    if (fd >= 0)
    {
        msg.msg_control = control;
        msg.msg_controllen = sizeof(control);
        cmsghdr* cmsg = CMSG_FIRSTHDR(&msg);
        cmsg->cmsg_level = SOL_SOCKET;
        cmsg->cmsg_type = SCM_RIGHTS;
        cmsg->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(cmsg), &fd, sizeof(int));
    }
    for (;;)
    {
        const ssize_t n = ::sendmsg(sock, &msg, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        return n == static_cast<ssize_t>(sizeof(payload));
    }
}

bool OsReceiveStatusAndFd(int sock, uint32_t* status, int* fd)
{
    *status = 0;
    *fd = -1;
    uint8_t payload[4] = {};
    iovec iov{payload, sizeof(payload)};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    // Room for a few descriptors, so that a peer sending more than one cannot leave any open.
    alignas(cmsghdr) char control[CMSG_SPACE(4 * sizeof(int))] = {};
    msg.msg_control = control;
    msg.msg_controllen = sizeof(control);
    ssize_t n;
    do n = ::recvmsg(sock, &msg, MSG_CMSG_CLOEXEC | MSG_WAITALL);
    while (n < 0 && errno == EINTR);

    int received = -1;
    bool extra = false;
    for (cmsghdr* cmsg = CMSG_FIRSTHDR(&msg); cmsg != nullptr; cmsg = CMSG_NXTHDR(&msg, cmsg))
    {
        if (cmsg->cmsg_level != SOL_SOCKET || cmsg->cmsg_type != SCM_RIGHTS || cmsg->cmsg_len < CMSG_LEN(0)) continue;
        const size_t count = (cmsg->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (size_t i = 0; i < count; ++i)
        {
            int one;
            std::memcpy(&one, CMSG_DATA(cmsg) + i * sizeof(int), sizeof(int));
            if (received < 0)
                received = one;
            else
            {
                ::close(one);
                extra = true;
            }
        }
    }
    const bool whole = n == static_cast<ssize_t>(sizeof(payload)) && (msg.msg_flags & MSG_CTRUNC) == 0 && !extra;
    if (!whole)
    {
        if (received >= 0) ::close(received);
        return false;
    }
    *status =
        uint32_t{payload[0]} | uint32_t{payload[1]} << 8 | uint32_t{payload[2]} << 16 | uint32_t{payload[3]} << 24;
    *fd = received;
    return true;
}

bool OsSendOpenRequest(int sock, const std::string& path)
{
    if (path.empty() || path.size() > kOsDeviceRequestMax - 6 || path.find('\n') != std::string::npos ||
        path.find('\0') != std::string::npos)
        return false;
    const std::string line = "OPEN " + path + "\n";
    return SendAll(sock, line.data(), line.size());
}

bool OsReceiveRequestLine(int sock, std::string* line)
{
    line->clear();
    for (;;)
    {
        char c;
        const ssize_t n = ::read(sock, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        if (c == '\n') return true;
        if (line->size() >= kOsDeviceRequestMax) return false;
        line->push_back(c);
    }
}
