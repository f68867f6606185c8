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
        if (::stat(path.c_str(), st) == 0) return true;
        const size_t slash = path.find_last_of('/');
        if (slash == std::string::npos) return ::stat(".", st) == 0;
        if (slash == 0) return ::stat("/", st) == 0;
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
    if (::stat((std::string(base) + "/partition").c_str(), &st) != 0) return dev;
    std::ifstream parent(std::string(base) + "/../dev");
    unsigned maj = 0;
    unsigned min = 0;
    char colon = 0;
    if (parent >> maj >> colon >> min && colon == ':') return makedev(maj, min);
    return dev;
}

// The file behind a loop device (or behind the loop device a loop partition belongs to).
bool LoopBackingFile(dev_t dev, struct stat* backing)
{
    const dev_t disk = WholeDisk(dev);
    char name[96];
    std::snprintf(name, sizeof(name), "/sys/dev/block/%u:%u/loop/backing_file", major(disk), minor(disk));
    std::ifstream in(name);
    std::string path;
    if (!std::getline(in, path) || path.empty()) return false;
    return ::stat(path.c_str(), backing) == 0;
}

// True when block device `dev` (a disk, a partition, or a loop device) holds `source`.
bool DeviceHoldsSource(dev_t dev, const struct stat& source)
{
    if (S_ISBLK(source.st_mode)) return WholeDisk(dev) == WholeDisk(source.st_rdev);
    struct stat backing;
    return S_ISREG(source.st_mode) && LoopBackingFile(dev, &backing) && backing.st_dev == source.st_dev &&
        backing.st_ino == source.st_ino;
}

} // namespace

bool OsTargetIsOnSource(const std::string& target, const std::string& source)
{
    struct stat src;
    if (source.empty() || target.empty() || ::stat(source.c_str(), &src) != 0) return false;
    struct stat t;
    if (::stat(target.c_str(), &t) == 0)
    {
        if (t.st_dev == src.st_dev && t.st_ino == src.st_ino) return true;
        if (S_ISBLK(t.st_mode) && DeviceHoldsSource(t.st_rdev, src)) return true;
    }
    // The file system the target is (or would be) written to.
    if (!StatNearest(target, &t)) return false;
    return DeviceHoldsSource(t.st_dev, src);
}
