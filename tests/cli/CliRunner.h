#pragma once
// Runs the built vlm program on committed test images and reads what it left behind.
#include <map>
#include <string>
#include <vector>

#include "support/TestFiles.h"

struct CliResult
{
    int Exit = -1;
    std::string Out;
    std::string Err;
};

struct ManifestEntry
{
    std::string State;  // present, deleted, deleted-overwritten, formatted
    long long Size = 0;
    std::string Sha;
    std::string Path;
};

// A private folder with unpacked images and a resume folder; vlm runs with only these images
// as its hard disks, never the machine's.
class CliFixture
{
public:
    CliFixture();
    /// Unpacks tests/data/<name>.img.zst (or samples/<name>.img.zst); returns the image's path.
    std::string Image(const std::string& name);
    /// vlm --no-machine-devices [--image each] ARGS, standard input from /dev/null.
    /// `shell` runs first in the same shell (limits, traps); with `interruptAfterMs` the
    /// program gets SIGINT that long after its start.
    CliResult Run(const std::vector<std::string>& images, const std::vector<std::string>& args,
                  const std::string& shell = "", int interruptAfterMs = 0);
    /// A new empty folder inside the fixture.
    std::string NewFolder(const std::string& name);

    TempDir Dir;
};

/// tests/data/<name>.manifest, or samples/<name>.manifest.
std::vector<ManifestEntry> ReadManifest(const std::string& name);
/// Every regular file below `folder`: path relative to it -> SHA-256.
std::map<std::string, std::string> HashTree(const std::string& folder);
/// A recovered path stands for a manifest path: components equal ignoring case, except that a
/// recovered 8.3 component of a deleted entry may carry "_" for its lost first character.
bool SamePath(const std::string& recovered, const std::string& manifest);
/// The recovered file that stands for `manifestPath`, or "" when none.
std::string FindRecovered(const std::map<std::string, std::string>& tree, const std::string& manifestPath);
