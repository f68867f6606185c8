#pragma once
// System error numbers returned by every engine interface (0 = success). The numbering is the
// one stored scan results and callers already rely on; errno values from the operating system
// are mapped onto it by kernel/os (OsErrorFromErrno).
#include <cstdint>

inline constexpr uint32_t ERROR_SUCCESS = 0;
inline constexpr uint32_t ERROR_INVALID_FUNCTION = 1;
inline constexpr uint32_t ERROR_FILE_NOT_FOUND = 2;
inline constexpr uint32_t ERROR_PATH_NOT_FOUND = 3;
inline constexpr uint32_t ERROR_TOO_MANY_OPEN_FILES = 4;
inline constexpr uint32_t ERROR_ACCESS_DENIED = 5;
inline constexpr uint32_t ERROR_INVALID_HANDLE = 6;
inline constexpr uint32_t ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr uint32_t ERROR_INVALID_DATA = 13;      // a container or map that is not well formed
inline constexpr uint32_t ERROR_CURRENT_DIRECTORY = 16; // file system used without a volume
inline constexpr uint32_t ERROR_NOT_SAME_DEVICE = 17;   // file system used without a sector size
inline constexpr uint32_t ERROR_WRITE_PROTECT = 19;
inline constexpr uint32_t ERROR_NOT_READY = 21;
inline constexpr uint32_t ERROR_READ_FAULT = 30; // short read
inline constexpr uint32_t ERROR_SHARING_VIOLATION = 32;
inline constexpr uint32_t ERROR_HANDLE_EOF = 38;
inline constexpr uint32_t ERROR_NOT_SUPPORTED = 50;
inline constexpr uint32_t ERROR_FILE_EXISTS = 80;
inline constexpr uint32_t ERROR_INVALID_PARAMETER = 87;
inline constexpr uint32_t ERROR_DISK_FULL = 112;
inline constexpr uint32_t ERROR_INVALID_NAME = 123;
inline constexpr uint32_t ERROR_DIR_NOT_EMPTY = 145;
inline constexpr uint32_t ERROR_ALREADY_EXISTS = 183;
inline constexpr uint32_t ERROR_FILENAME_EXCED_RANGE = 206;
inline constexpr uint32_t ERROR_FILE_TOO_LARGE = 223;
inline constexpr uint32_t ERROR_DIRECTORY = 267;
inline constexpr uint32_t ERROR_END_OF_MEDIA = 1100; // read past the end of a device
inline constexpr uint32_t ERROR_IO_DEVICE = 1117;
inline constexpr uint32_t ERROR_CANCELLED = 1223;
inline constexpr uint32_t ERROR_FUNCTION_FAILED = 1627; // no device, missing member, no data
inline constexpr uint32_t ERROR_DEVICE_NOT_AVAILABLE = 4319;

// Result codes of streams and the storage manager (they are not system error numbers).
inline constexpr int STREAM_OK = 1;
inline constexpr int STREAM_FAIL = 2;
inline constexpr int STREAM_END = 4;
