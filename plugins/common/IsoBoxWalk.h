#pragma once
// The top-level box chain of ISO base media files (MP4, M4A, 3GP, QuickTime movies, HEIF and
// AVIF pictures): { u32 big-endian size, four-character type, data }, where size 1 means a
// 64-bit size follows the type and size 0 means "to the end of the file". Shared by every
// type whose files are such a chain; each decides by the brand and the boxes seen whether the
// file is one of its own.
#include <cstdint>

#include "base/ByteView.h"
#include "common/KRawReader.h"

struct tagIsoBoxes
{
    uint64_t end = 0;     // offset after the last box walked
    bool openEnd = false; // the last box runs to an end that cannot be told (size 0, or past the limit)
    int count = 0;        // boxes walked
    bool moov = false;    // a movie box
    bool mdat = false;    // media data
    bool moof = false;    // a movie fragment
    bool meta = false;    // a metadata box (the item tree of a still picture)
};

bool IsoTypeIs(const uint8_t* type, const char* name);
/// The first box is an "ftyp" box of a plausible size, all of it inside `head` (pure).
bool IsoFtypInHead(ByteView head, uint32_t& ftypSize);
/// True when `brand` is the major brand or among the compatible brands of the ftyp box at the
/// start of `head` (which IsoFtypInHead accepted).
bool IsoHasBrand(ByteView head, uint32_t ftypSize, const char* brand);
/// Walks the chain of known top-level boxes from the file's first byte.
tagIsoBoxes WalkIsoBoxes(KRawReader& reader);
