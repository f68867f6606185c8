#pragma once
// Whether a target path lies on a device that is being recovered, so that the user can be
// warned before anything is written there.
#include <string>

// True when writing to `target` could change `source` (an image file or a block device being
// recovered): `target` is the source itself (by device and inode, so links and other names
// count), a block device that is the source's disk or a loop device backed by the source
// image, or a path whose file system lives on the source's disk or on a loop device backed
// by the source image.
bool OsTargetIsOnSource(const std::string& target, const std::string& source);
