#pragma once
// The label the user gave a volume: the volume-label entry of a FAT root folder, or the
// $VOLUME_NAME of an NTFS volume.
#include <string>

#include "base/ByteView.h"

class IVolumeIO;

// The label entry among the 16 entries of one root-folder sector. Returns 1 when found
// (label set, blanks and tabs trimmed), -1 when an end-of-folder entry stops the search, 0 to
// go on with the next sector.
int FindLabelInFolderSector(ByteView sector, std::string* label);

// False when there is no label (unreadable sector 0, unknown file system, no label entry).
bool GetVolumeLabel(IVolumeIO* volume, std::string* label);
