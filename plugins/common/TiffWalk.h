#pragma once
// The directory tree of TIFF files and of the camera raw formats built on it: a header (byte
// order, a magic number, the offset of the first image file directory), then directories of
// 12-byte entries whose values point at strips, tiles, thumbnails, value arrays and further
// directories (the next in the chain, sub-images, EXIF, GPS). The file ends with the last byte
// any of them covers. Shared by the TIFF type and every raw format that keeps this layout.
#include <cstdint>
#include <string>

#include "base/ByteView.h"
#include "common/KRawReader.h"

struct tagTiffHeader
{
    bool littleEndian = true;
    uint16_t magic = 0; // 42 for TIFF; raw formats put their own number here
    uint32_t firstIfd = 0;
};

/// The 8-byte header (pure); false when the byte order mark is not "II" or "MM" or the first
/// directory offset cannot be one.
bool ReadTiffHeader(ByteView head, tagTiffHeader& out);

struct tagTiffTree
{
    bool found = false; // the first directory is sound
    uint64_t end = 0;   // 0: the tree goes on beyond what can be read
    std::string make;   // the camera maker (tag 271 of the first directory), as stored
    bool dng = false;   // a DNGVersion tag: a digital negative
};

/// Walks every directory reachable from the header, bounded in count and against cycles.
tagTiffTree WalkTiff(KRawReader& reader, const tagTiffHeader& header);

/// What a picture's main directory and its EXIF directory tell about where it came from.
struct tagTiffMeta
{
    std::string make; // as stored, cut to a bounded length
    std::string model;
    std::string dateTime; // "YYYY:MM:DD HH:MM:SS": when taken, else when last written
};

/// Reads the maker, model and date of a TIFF structure whose header lies at `base` of the file
/// and whose offsets stay below `span` (an EXIF block inside a JPEG segment, or a whole TIFF or
/// raw file). Only the first directory and its EXIF directory are read; false when the header
/// or the first directory is not sound.
bool ReadTiffMeta(KRawReader& reader, uint64_t base, uint64_t span, tagTiffMeta& out);
