#include "os/OsSameDevice.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdio>
#include <fstream>

namespace {

// The nearest existing ancestor of `path` (the path itself when it exists).
bool StatNearest(std::string path, struct stat* st)
{
    for (int guard = 0; guard < 4096; ++guard)
    {
        if (::stat(path.c_str(), st) == 0)
            return true;
        const size_t slash = path.find_last_of('/');
        if (slash == std::string::npos)
            return ::stat(".", st) == 0;
        if (slash == 0)
            return ::stat("/", st) == 0;
        path.resize(slash);
    }
    return false;
}

// The whole disk a partition's device number belongs to (itself for a whole disk), read from
// the block-device tree: a partition's node has a "partition" file, its parent node is the disk.
dev_t WholeDisk(dev_t dev)
{
    char base[96];
    std::snprintf(base, sizeof(base), "/sys/dev/block/%u:%u", major(dev), minor(dev));
    struct stat st;
    if (::stat((std::string(base) + "/partition").c_str(), &st) != 0)
        return dev;
    std::ifstream parent(std::string(base) + "/../dev");
    unsigned maj = 0;
    unsigned min = 0;
    char colon = 0;
    if (parent >> maj >> colon >> min && colon == ':')
        return makedev(maj, min);
    return dev;
}

} // namespace

bool OsPathOnDevice(const std::string& path, const std::string& devicePath)
{
    struct stat device;
    if (::stat(devicePath.c_str(), &device) != 0 || !S_ISBLK(device.st_mode))
        return false;
    struct stat target;
    if (!StatNearest(path, &target))
        return false;
    return WholeDisk(target.st_dev) == WholeDisk(device.st_rdev);
}
