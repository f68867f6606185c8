#pragma once
// The archive types as a scan runs them, alone or beside every other family's types.
#include <string>
#include <vector>

#include "RawScanHarness.h"

/// One object of every archive type.
std::vector<RawTypePtr> ArchiveTypes();
/// One object of every type of every family (archives, documents, pictures, audio/video).
std::vector<RawTypePtr> EveryType();
/// The archive type with this extension.
RawTypePtr ArchiveType(const std::string& extension);
/// A committed sample under tests/data/raw/archives/.
std::vector<uint8_t> ArchiveSample(const std::string& name);
