#pragma once
// The sector size a disk-image file was written with, told by its own first sectors. A disk
// image is a plain file: nothing but its content says whether it came from a disk of 512-byte
// sectors or from a "4Kn" drive or a USB enclosure that shows 4096-byte ones, and every
// position in its partition tables counts in those sectors.
#include <cstdint>

#include "base/ByteView.h"

class IDeviceIO;

// The bytes the probe looks at: up to the GPT header of a 4096-byte-sector disk.
inline constexpr uint32_t kSectorProbeBytes = 8192;

// 512, 1024, 2048 or 4096 when `first` (the first bytes of the image) tells it: a GPT header
// in sector 1 (at byte 512, 1024, 2048 or 4096, naming itself as sector 1), else a FAT or
// NTFS boot sector at byte 0 (a volume image) whose bytes-per-sector field is one of them.
// 0 when nothing tells.
uint32_t ProbeSectorSize(ByteView first);

// For an image whose sector size was only assumed: reads its first sectors and, when they
// tell another size, has the device read in that size from now on (with a trace line).
void AdoptImageSectorSize(IDeviceIO* device);
