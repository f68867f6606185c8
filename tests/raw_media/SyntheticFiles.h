#pragma once
// Small files of the formats no Debian tool writes (camera raw files, Windows programs and
// system files, MIDI, DjVu, AMR), built byte by byte to their specifications with a payload
// of pattern bytes, so that a scan can be checked for the exact length.
#include <cstdint>
#include <string>
#include <vector>

/// A TIFF-layout file: `magic` (the four header bytes), an optional maker mark after the
/// header (Canon: "CR\2\0"), a first directory naming `make`, a DNG version tag when `dng`,
/// and one strip of `payload` bytes, which ends the file.
std::vector<uint8_t> TiffLikeFile(const char magic[4], const std::string& make, bool canonMark, bool dng,
                                  uint32_t payload);
std::vector<uint8_t> RafFile();
/// A cursor made from an icon: type 2 and a hot spot in the middle of every image.
std::vector<uint8_t> CursorFromIcon(std::vector<uint8_t> icon);
/// A PE image of two sections and an attached signature; `library` sets the DLL flag.
std::vector<uint8_t> PeFile(bool library);
std::vector<uint8_t> RegistryHive();
std::vector<uint8_t> ShortcutFile();
std::vector<uint8_t> MidiFile();
std::vector<uint8_t> DjvuFile();
std::vector<uint8_t> AmrFile();
std::vector<uint8_t> EmfFile();
/// An event log of two chunks.
std::vector<uint8_t> EventLog();
/// A version 4 password database: header fields, header codes, two data blocks and the end block.
std::vector<uint8_t> KdbxFile();
