#pragma once
// The label of an NTFS volume, from the $VOLUME_NAME of record 3 ($Volume). Used by the NTFS
// scanner and by partition discovery.
#include <cstdint>
#include <string>

class IVolumeIO;

// Reads record 3 of the MFT that starts at `mftSector` (1024-byte records), checks it and
// converts its $VOLUME_NAME. False when the sector lies outside the volume, the record cannot
// be read or fails its check, or it has no label attribute.
bool ReadVolumeLabel(IVolumeIO* volume, int64_t mftSector, std::string* label);
