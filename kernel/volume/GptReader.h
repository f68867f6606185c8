#pragma once
// Reads a device's GUID partition table, falling back to the backup copy.
#include <cstdint>
#include <vector>

#include "device/IDeviceIO.h"
#include "format/gpt/GptTable.h"

// Reads the header in sector 1 and its array; when either is damaged, the backup header in
// the device's last sector and the array it points at. False when neither copy is sound (or
// memory runs out); `out` is filled only on success.
bool ReadGpt(IDeviceIO* device, uint32_t bytesPerSector, uint64_t totalSectors, std::vector<tagGptPartition>* out);

// The first LDM metadata partition of an open device whose sector 0 holds a protective MBR
// entry and whose GPT is sound: the mark of a dynamic disk on GPT. False otherwise.
bool FindLdmMetadataPartition(IDeviceIO* device, tagGptPartition* out);
