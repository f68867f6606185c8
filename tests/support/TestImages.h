#pragma once
// The committed test images (tests/data and samples/, made by scripts/make-test-images): their
// bytes, their manifests (format in tests/data/README.md) and how a recovered path stands for
// a manifest path.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

/// One file line: `state size sha256 path`, tab-separated.
struct ManifestFile
{
    std::string State; // present, deleted, deleted-overwritten or formatted
    int64_t Size = 0;
    std::string Sha256; // of the contents, lower-case hex
    std::string Path;   // '/'-separated, UTF-8; "FILE:NAME" is the named stream NAME of FILE
};

/// One `# partition <label> key=value...` header line: a file system read back from its boot
/// sector.
struct ManifestPartition
{
    std::string Label;   // p0 (bare volume), p1.., lost-..., previous
    int64_t Start = 0;   // first sector on the image
    int64_t Sectors = 0; // the boot sector's own count
    std::string Fs;      // fat12, fat16, fat32, ntfs
    int64_t ClusterBytes = 0;
    std::string Serial;        // as the boot sector holds it, lower-case hex
    int64_t EntrySectors = 0;  // size in the partition table entry; 0 when not given
    int64_t SectorBytes = 512; // the disk's sector size, in which Start and the sizes count
    std::string State;         // "", deleted or overwritten-by-format
};

struct ImageManifest
{
    std::vector<ManifestFile> Files;
    std::vector<ManifestPartition> Partitions;
    /// Lines that are neither a comment nor a well-formed file or partition line.
    std::vector<std::string> Malformed;
};

/// tests/data/<name><suffix>, or samples/<name><suffix> when only that exists.
std::string FixturePath(const std::string& name, const std::string& suffix);
/// Reads one manifest file; a missing file reads as empty.
ImageManifest ReadManifestFile(const std::string& path);
/// The manifest of image `name`; fails the running test when it is missing, has no file line
/// or has a malformed line.
ImageManifest LoadManifest(const std::string& name);

/// Decompresses image `name` into `target`; false when the image is missing.
bool UnpackFixtureImage(const std::string& name, const std::string& target);
/// The bytes of image `name`, decompressed straight into memory; empty when missing.
std::vector<uint8_t> LoadFixtureImage(const std::string& name);

/// Every regular file below `folder`: path relative to it -> SHA-256.
std::map<std::string, std::string> HashTree(const std::string& folder);
/// A recovered path stands for a manifest path: components equal ignoring ASCII case, except
/// that a recovered component of a deleted 8.3 entry may carry '_' for its lost first byte.
bool SameRecoveredPath(const std::string& recovered, const std::string& manifest);
/// The recovered path in `tree` that stands for `manifestPath`, or "" when none.
std::string FindRecovered(const std::map<std::string, std::string>& tree, const std::string& manifestPath);
