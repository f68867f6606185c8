#pragma once
// The common copy routine for a recovered file whose data is read through a stream: it copies
// the record's data to a new file in pieces, writes zeros only for the sectors that cannot be
// read (a damaged sector must not cost the rest of the file), and gives the copy the record's
// last-write time.
#include <cstdint>
#include <string>

class IFileSystem;
struct tagFileNode;

/// Pieces of this many sectors are read and written at a time.
inline constexpr uint32_t kCopyPieceSectors = 126;
/// A file of at most this many bytes is one piece whatever the sector size: it is read whole
/// before its file is made.
inline constexpr uint64_t kCopyWholeBytes = uint64_t{kCopyPieceSectors} * 512;

/// Copies `record` through fs.OpenStream to a new file at `path` (which must not exist). The
/// file is made once the first piece is read (all of a file of one piece), and a copy that
/// fails or is cancelled after that removes it again.
/// Returns 0; 1627 without a stream; 8 without memory; the creation error (80 when the file
/// exists); the write error (112 disk full, 223 file too large, ...); 1223 when cancelled. Progress (stage 3) and cancel go through `fs`; the bytes written
/// as zeros because they could not be read are added to fs.AddUnreadBytes.
uint32_t CopyFileOut(IFileSystem& fs, const tagFileNode* record, const std::string& path, uint32_t bytesPerSector);
