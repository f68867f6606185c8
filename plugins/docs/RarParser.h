#pragma once
// RAR archives, both block formats: 1.5 to 4.x (marker "Rar!\x1A\x07\x00", fixed block heads
// with HEAD_SIZE and ADD_SIZE) and 5.x (marker "Rar!\x1A\x07\x01\x00", variable-length
// integers). The walk goes from block to block to the end-of-archive block, checking each
// header's CRC.
#include "DocProbe.h"
#include "ole/IDocSource.h"

// kind None: no RAR marker. size 0: the end could not be reached (encrypted headers,
// truncated or damaged archive).
DocProbe ParseRar(IDocSource& src);
