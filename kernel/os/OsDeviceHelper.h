#pragma once
// The privileged side of device access: what the device helper program (run as root through
// pkexec) does with each request it gets. Kept here, apart from the program's main, so that
// the rules are tested directly.
#include <cstdint>
#include <string>

// Opens `path` for reading when it names a block device under /dev (after resolving links);
// anything else is refused. Never opens for writing. Returns a system error number.
uint32_t OsOpenBlockDeviceForPeer(const std::string& path, int* fd);

// Answers requests on `sock` until the peer closes it or sends something that is not a
// request. Returns the process exit code: 0 after a clean end, 2 after a malformed request.
int OsServeDeviceRequests(int sock);
