#pragma once
// The conversation between the program and its privileged device helper, over a Unix stream
// socket. The program sends one request line per device, "OPEN <absolute path>\n"; the helper
// answers each with a 4-byte little-endian system error number, and on success the opened
// descriptor travels with it as SCM_RIGHTS ancillary data.
#include <cstdint>
#include <string>

inline constexpr size_t kOsDeviceRequestMax = 4096; // longest request line accepted (PATH_MAX)

// Sends one reply: `status`, and `fd` attached when fd >= 0. False when the socket is gone.
bool OsSendStatusAndFd(int sock, uint32_t status, int fd);

// Receives one reply. `fd` gets the attached descriptor (close-on-exec) or -1. Returns false
// when the peer has gone (end of stream, error) or the reply is malformed; extra descriptors
// smuggled into the message are closed.
bool OsReceiveStatusAndFd(int sock, uint32_t* status, int* fd);

// Sends "OPEN <path>\n". False when the path cannot be sent (empty, too long, holds a newline
// or a NUL) or the socket is gone.
bool OsSendOpenRequest(int sock, const std::string& path);

// Reads one request line byte by byte (the helper owns the socket; no read-ahead is lost).
// Returns false at end of stream or on a line longer than kOsDeviceRequestMax, which ends the
// conversation.
bool OsReceiveRequestLine(int sock, std::string* line);
