#pragma once
// Recognising FAT boot sectors and turning them into candidates.
#include <cstdint>

#include "base/ByteView.h"
#include "format/fat/FatLayout.h"

// True when `sector` (at least 512 bytes) is an acceptable boot sector of `type`; then `out`
// is the zero-filled candidate it describes, positioned at volume sector `first`.
bool FatCandidateFromBootSector(ByteView sector, int32_t type, int64_t first, uint32_t bytesPerSector,
                                FatCandidate* out);

// An empty, zero-filled candidate with the record length set.
FatCandidate FatEmptyCandidate();
