#pragma once
// Which container a disk-image file is, told from its first and last bytes. Pure: the caller
// reads the head and the tail of the file; nothing here trusts anything beyond the magic.
//   EWF (".E01"):  "EVF" 09 0D 0A FF 00 at offset 0 (EWF-E01), "EVF2" 0D 0A 81 00 (Ex01)
//   VHDX:          "vhdxfile" at offset 0
//   VHD:           "conectix" at offset 0 of the 512-byte footer that ends the file (a dynamic
//                  disk also has a copy of it at offset 0)
//   VMDK:          "KDMV" at offset 0 (sparse extent), "COWD" (older sparse extent), or a text
//                  descriptor starting "# Disk DescriptorFile"
//   QCOW:          "QFI" FB at offset 0 (versions 1 to 3)
// Anything else is a raw sector-by-sector copy.
#include <cstdint>
#include <span>

enum class ImageFormat
{
    Raw,
    Ewf,
    Vhd, // VHD and VHDX: one library reads both
    Vmdk,
    Qcow,
};

/// `head`: the file's first bytes (up to 512); `tail`: its last 512 bytes (empty when the file
/// is shorter than that).
ImageFormat DetectImageFormat(std::span<const uint8_t> head, std::span<const uint8_t> tail);
