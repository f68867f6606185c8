#pragma once
// The label of an NTFS volume, from the $VOLUME_NAME of record 3 ($Volume). Used by the NTFS
// scanner and by partition discovery.
#include <cstdint>
#include <string>

class IVolumeIO;

// Reads record 3 of the MFT that starts at `mftSector`, checks it and converts its
// $VOLUME_NAME. The record size is the one record 0 ($MFT) names for itself (1024 bytes on
// disks of 512-byte sectors, 4096 on 4K ones). False when the sector lies outside the volume,
// a record cannot be read or fails its check, or it has no label attribute.
bool ReadVolumeLabel(IVolumeIO* volume, int64_t mftSector, std::string* label);
