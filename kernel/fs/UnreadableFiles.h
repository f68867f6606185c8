#pragma once
// Files whose data lies partly on sectors that could not be read: after a scan that met read
// errors, every file of the built tree is located (IFileSystem::GetDataRuns) and compared with
// the unreadable ranges. A file already known to be overwritten stays overwritten: that is the
// worse news, and the sectors are not its own anyway.
#include <cstdint>

class IFileSystem;
class KNodeTree;
class KSectorRanges;

/// Marks the files of `tree` that touch `unreadable` (volume-relative sectors) with
/// FN_COND_UNREADABLE and returns how many were marked. Stops early when `fs` is cancelled.
uint32_t MarkUnreadableFiles(IFileSystem& fs, const KNodeTree& tree, const KSectorRanges& unreadable);
