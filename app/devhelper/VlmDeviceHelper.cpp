// vlm-device-helper: started by the desktop program through pkexec when the user is not root.
// It opens the disks the program asks for, read-only, and hands the open descriptors back over
// the Unix socket that is its standard input. It reads nothing from the disks itself.
#include <cstdio>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "os/OsDeviceHelper.h"

int main(int argc, char**)
{
    if (argc != 1)
    {
        std::fprintf(stderr, "vlm-device-helper takes no arguments; it serves the program that started it\n");
        return 2;
    }
    struct stat st;
    int type = 0;
    socklen_t length = sizeof(type);
    if (::fstat(STDIN_FILENO, &st) != 0 || !S_ISSOCK(st.st_mode) ||
        ::getsockopt(STDIN_FILENO, SOL_SOCKET, SO_TYPE, &type, &length) != 0 || type != SOCK_STREAM)
    {
        std::fprintf(stderr, "vlm-device-helper must be started by Vellumar (its input is not a socket)\n");
        return 2;
    }
    return OsServeDeviceRequests(STDIN_FILENO);
}
