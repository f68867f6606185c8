#pragma once
#include <cstdint>

// Maps an errno value to the matching system error number (ENOENT -> 2, EEXIST -> 80,
// ENOSPC -> 112, EACCES -> 5, EIO -> 1117, ...). Unknown values map to 1627.
uint32_t OsErrorFromErrno(int err);
