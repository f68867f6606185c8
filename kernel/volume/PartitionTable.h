#pragma once
// Basic disks: the master boot record with its extended-partition chain, the GUID partition
// table behind a protective MBR, whole-device file systems (superfloppies, floppies), the
// dynamic-disk marker and the physical-device record.
#include <cstdint>
#include <vector>

#include "base/ByteView.h"
#include "device/IDeviceIO.h"
#include "volume/tagVolumeInfo.h"

// A one-extent record on the device (kind, number) from `start` for `count` sectors.
tagVolumeInfo MakeExtentRecord(int32_t volumeType, int32_t partitionType, uint32_t kind, uint32_t number,
                               uint64_t start, uint64_t count);

// Sector 0 of a dynamic disk on MBR: at least one partition entry is used and every used
// entry has type 0x42.
bool IsDynamicDiskSector(ByteView sector0);

// How a disk is dynamic: not at all; by the MBR marker (IsDynamicDiskSector: the whole disk
// belongs to the database); or by a GPT holding an LDM metadata partition (the LDM partitions
// belong to the database, other GPT partitions such as the EFI system partition stay basic).
enum class DynamicDiskKind
{
    None,
    Mbr,
    Gpt
};
DynamicDiskKind DynamicKindOf(IDeviceIO* device);

// Appends the volumes of the partition table of an open device (unsorted). A boot sector in
// sector 0, or a floppy, makes the whole device one volume. An MBR with a protective entry
// (0xEE), or with no entry at all, leads to the GUID partition table (primary or backup copy), whose used entries become the volumes; without a
// sound GPT the MBR is read as any other. An entry with a boot indicator other than 0x00 or
// 0x80 makes an MBR invalid: no volumes. When `ldm` is given, the GPT's LDM metadata and data
// partitions are appended there instead of to `out`: their volumes are the database's. When
// `unbacked` is given, a protective entry read as an MBR entry (its GPT is unsound) is appended
// there instead of to `out`: a volume over the partitions the lost GPT held.
void ReadPartitionTable(IDeviceIO* device, std::vector<tagVolumeInfo>* out, std::vector<tagVolumeInfo>* ldm = nullptr,
                        std::vector<tagVolumeInfo>* unbacked = nullptr);

// The record of the whole device; false when its kind cannot be read.
bool MakePhysicalDeviceRecord(IDeviceIO* device, tagVolumeInfo* out);
