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

// The sector size a boot sector of FAT, NTFS or exFAT declares (512 .. 4096), else 0.
uint32_t DeclaredSectorSize(ByteView boot);

// An MBR counts in the sectors of the disk it was written on, and so does the file system each
// entry points at. The first used entry of `sector0` (an MBR) and the byte where its partition
// starts when the table counts in sectors of `size` bytes; false when there is none.
bool FirstMbrPartitionStart(ByteView sector0, uint32_t size, uint64_t* byteOffset);

// For an image whose sector size was only assumed: reads its first sectors and, when they
// tell another size, has the device read in that size from now on (with a trace line). An MBR
// disk tells it through its first partition: no boot sector where 512-byte sectors put it, one
// declaring its size where larger sectors do (a disk partitioned in a USB enclosure that shows
// 4096-byte sectors, imaged through a plain SATA port). A GPT disk whose first sectors were
// wiped tells it by its backup header in the last sector; a disk without any table left, by
// the file system at 1 MiB.
void AdoptImageSectorSize(IDeviceIO* device);
