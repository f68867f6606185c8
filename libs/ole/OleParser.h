#pragma once
// Compound files: a FAT-allocated container of streams. The kind (word-processing document,
// spreadsheet, presentation, publication, saved mail message) follows from the names of the
// root's streams and storages; the size from the highest sector the FAT allocates.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/ByteView.h"
#include "ole/IDocSource.h"

enum class EOleKind : uint8_t
{
    None, // not a compound file, or one of another kind
    Doc,
    Xls,
    Ppt,
    Pub,
    Msg,
};

struct OleProbe
{
    EOleKind kind = EOleKind::None;
    uint64_t size = 0; // bytes; 0 when the kind is known but the FAT could not be read in full
};

// The first bytes of a compound file: signature, byte order, and a sector size its version
// allows. False also when fewer than a header's bytes are given.
[[nodiscard]] bool IsOleHeader(ByteView head);

// Kind and size of the compound file at the source's first byte.
[[nodiscard]] OleProbe ParseOle(IDocSource& src);

// The names directly below the root storage, from directory entries laid end to end (128
// bytes each, entry 0 the root). Exposed for tests.
[[nodiscard]] std::vector<std::string> OleRootNames(ByteView directory);

// The bytes of the stream `name` directly below the root (names with characters above U+007F
// compare as '?'); nothing when it is absent, larger than `cap` or cannot be read in full.
[[nodiscard]] std::optional<std::vector<uint8_t>> ReadOleRootStream(IDocSource& src, std::string_view name, size_t cap);
