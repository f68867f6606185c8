#pragma once
// ZIP containers: plain archives and the office formats built on them (OOXML documents,
// spreadsheets and presentations; OpenDocument text, spreadsheets and presentations).
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "DocProbe.h"
#include "ole/IDocSource.h"

// Checks the local header at offset 0, finds the archive's end record and names the kind from
// its members. kind None: not a ZIP start. size 0: a ZIP start whose end was not found (the
// archive is truncated or damaged).
DocProbe ParseZip(IDocSource& src);

// The checks on the first local header alone (name, version, flags, method).
bool CheckZipLocalHeader(ByteView header30, ByteView name);

// The OpenDocument kind named by a stored "mimetype" first member, from the first bytes of the
// file alone; None when the first member is something else.
DocKind OdfKindOfHead(ByteView head);

// The bytes of member `name` (stored or deflated) of the archive that starts at offset 0 and
// ends at `size`: found through the central directory, or with `size` 0 (the end was not
// found) by following the local headers from the start. Nothing when the member is absent,
// encrypted, compressed otherwise, damaged or larger than `cap` bytes.
std::optional<std::vector<uint8_t>> ReadZipMember(IDocSource& src, uint64_t size, std::string_view name, size_t cap);
