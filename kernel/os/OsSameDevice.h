#pragma once
// Whether a target path lies on a device that is being recovered, so that the user can be
// warned before anything is written there.
#include <string>

// True when the file system holding `path` (or its nearest existing parent) is the block
// device `devicePath` or one of its partitions. False for an image file, a device that
// cannot be examined, or any other target.
bool OsPathOnDevice(const std::string& path, const std::string& devicePath);
