#pragma once
// The label the user gave a volume: the volume-label entry of a FAT root folder, or the
// $VOLUME_NAME of an NTFS volume.
#include <string>

class IVolumeIO;

// False when there is no label (unreadable sector 0, unknown file system, no label entry).
bool GetVolumeLabel(IVolumeIO* volume, std::string* label);
