#pragma once
// Compound files: a FAT-allocated container of streams. The kind (word-processing document,
// spreadsheet, presentation, publication) follows from the names of the root's streams and
// storages; the size from the highest sector the FAT allocates.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "DocProbe.h"
#include "IDocSource.h"

// kind None: not a compound file, or one of another kind. size 0: the kind is known but the
// FAT could not be read in full (truncated or damaged file).
DocProbe ParseOle(IDocSource& src);

// The names directly below the root storage, from directory entries laid end to end (128
// bytes each, entry 0 the root). Exposed for tests.
std::vector<std::string> OleRootNames(ByteView directory);

// The bytes of the stream `name` directly below the root (names with characters above U+007F
// compare as '?'); nothing when it is absent, larger than `cap` or cannot be read in full.
std::optional<std::vector<uint8_t>> ReadOleRootStream(IDocSource& src, std::string_view name, size_t cap);
