#pragma once
// The label the user gave a volume: the volume-label entry of a FAT root folder, or the
// $VOLUME_NAME of an NTFS volume.
#include <string>

#include "base/ByteView.h"

class IVolumeIO;

// The label of a FAT root folder (`root`: its first sectors): the first entry with the volume
// bit, skipping long-name parts and deleted entries, ending at an unused entry; blanks and tabs
// around it removed and the DOS code page converted. False when there is none.
bool FatRootLabel(ByteView root, std::string* label);

// False when there is no label (unreadable sector 0, unknown file system, no label entry).
bool GetVolumeLabel(IVolumeIO* volume, std::string* label);
