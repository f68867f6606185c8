#pragma once
// Recovery checked against a committed image's manifest: every file the manifest lists found at
// its path in the built tree, marked deleted when the manifest says so (a set formatted over still
// reads as in use), of its size, and copied out byte for byte without an unread byte.
#include <functional>
#include <string>
#include <vector>

#include "support/TestImages.h"

class IFileSystem;
class KNodeTree;
struct tagFileNode;

struct ManifestRecovery
{
    int Wanted = 0;  // manifest files in the states asked for
    int Listed = 0;  // found at their path
    int Exact = 0;   // copied out byte for byte, nothing unread
    int Streams = 0; // of the listed, records of named streams
    std::vector<std::string> Missing, Wrong;
};

/// Checks each file of `image`'s manifest whose state is in `states` against `tree` and `fs`
/// (the kind and size as test expectations; a missing or inexact file is listed in the result
/// and left to the caller). `each` sees every file found, for checks of the test's own.
ManifestRecovery RecoverManifestFiles(IFileSystem& fs, const KNodeTree& tree, const std::string& image,
                                      const std::vector<std::string>& states = {"present", "deleted"},
                                      const std::function<void(const ManifestFile&, const tagFileNode&)>& each = {});
