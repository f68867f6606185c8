#pragma once
// The basic-disk parse of one open device: its partition table, then deleted partitions in
// the large unallocated gaps, searched again after every find.
#include <vector>

#include "device/IDeviceIO.h"
#include "volume/tagVolumeInfo.h"

// Appends the device's volumes, sorted by start sector. With `leaveLdm` (a dynamic disk on
// GPT) its LDM partitions are not listed, and no deleted volume is searched for inside them:
// the file systems there belong to the dynamic volumes.
void ParseBasicDisk(IDeviceIO* device, std::vector<tagVolumeInfo>* out, bool leaveLdm = false);

// Exchange sort by the first extent's DeviceStart.
void SortByDeviceStart(std::vector<tagVolumeInfo>* list);
