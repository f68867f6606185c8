#pragma once
// The archive types as a scan runs them.
#include <string>
#include <vector>

#include "RawScanHarness.h"

/// One object of every archive type.
std::vector<RawTypePtr> ArchiveTypes();
/// The archive type with this extension.
RawTypePtr ArchiveType(const std::string& extension);
/// A committed sample under tests/data/raw/archives/.
std::vector<uint8_t> ArchiveSample(const std::string& name);
