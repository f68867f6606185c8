#include "os/OsError.h"

#include <cerrno>

#include "base/VlmErrors.h"

std::string OsErrorText(uint32_t code)
{
    switch (code)
    {
    case ERROR_FILE_NOT_FOUND: return "no such file";
    case ERROR_PATH_NOT_FOUND: return "a folder on its path does not exist";
    case ERROR_ACCESS_DENIED: return "permission denied";
    case ERROR_DIRECTORY: return "it is a folder";
    case ERROR_NOT_READY: return "the device is not ready (no medium?)";
    case ERROR_SHARING_VIOLATION: return "the device is busy";
    case ERROR_IO_DEVICE: return "input/output error";
    case ERROR_INVALID_DATA: return "it is damaged or not in a known format";
    case ERROR_NOT_SUPPORTED: return "not supported";
    default: return "error " + std::to_string(code);
    }
}

uint32_t OsErrorFromErrno(int err)
{
    switch (err)
    {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case EACCES:
    case EPERM: return ERROR_ACCESS_DENIED;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EROFS: return ERROR_WRITE_PROTECT;
    case ENXIO:
    case ENODEV:
    case ENOMEDIUM: return ERROR_NOT_READY;
    case EBUSY:
    case ETXTBSY: return ERROR_SHARING_VIOLATION;
    case EEXIST: return ERROR_FILE_EXISTS;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    case EFBIG: return ERROR_FILE_TOO_LARGE;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case EISDIR: return ERROR_DIRECTORY;
    case EIO: return ERROR_IO_DEVICE;
    case ENOTSUP: return ERROR_NOT_SUPPORTED;
    case ECANCELED: return ERROR_CANCELLED;
    default: return ERROR_FUNCTION_FAILED;
    }
}
