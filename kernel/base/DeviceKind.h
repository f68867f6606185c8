#pragma once
#include <cstdint>

// Device kinds given to Open and returned by GetKind. Values 1 and 2 are not used.
enum DeviceKind : uint32_t
{
    DEVICE_FLOPPY = 0,   // number 0 is drive A:, 1 is drive B:
    DEVICE_HARDDISK = 3, // number n is the n-th entry of the physical-drive table
    DEVICE_CDROM = 4,    // number n is /dev/srN
    DEVICE_LOGICAL = 5,  // logical drives: not supported on this platform (see KDeviceIOPosix)
};
