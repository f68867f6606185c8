#pragma once
#include <cstdint>
#include <string>

// Maps an errno value to the matching system error number (ENOENT -> 2, EEXIST -> 80,
// ENOSPC -> 112, EACCES -> 5, EIO -> 1117, ...). Unknown values map to 1627.
uint32_t OsErrorFromErrno(int err);
// A few words on a system error number, for a message that names a file.
std::string OsErrorText(uint32_t code);
