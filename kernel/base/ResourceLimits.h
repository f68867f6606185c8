#pragma once
// Every bound the engine puts on what a disk, a database, a plug-in or a stored scan result
// may make it allocate or walk, in one place. Everything read from a device or a stored file
// is untrusted: a count, length or link taken from it is checked against one of these before
// memory is reserved or a loop is entered. Each bound lies well above what a real volume
// produces, so a genuine structure is never cut; only a damaged or hostile one is.
//
// The format folders give these their own names (kNtfsMaxRecordBytes, kMaxExtendedRecords,
// ...) next to the structures they bound; those names are defined from the values here.
#include <cstddef>
#include <cstdint>

namespace VlmLimits {

// --- Partition tables and dynamic disks ---------------------------------------------------

// Extended boot records followed along one chain. A chain that points back into itself would
// otherwise never end; real disks have a few dozen logical drives at most.
inline constexpr uint32_t kMaxExtendedChain = 100;
// GPT partition entries believed from one header, and the bytes of its entry array read at
// once. Partitioning tools write 128 entries of 128 bytes (16 KiB); a header declaring
// millions of entries must not turn into a huge read.
inline constexpr uint32_t kMaxGptEntries = 4096;
inline constexpr uint64_t kMaxGptArrayBytes = 1024 * 1024;
// Searches of unallocated gaps for deleted partitions. Every search that finds a volume
// splits a gap, so a disk full of old boot sectors is searched at most this many times.
inline constexpr int kMaxGapSearchPasses = 128;
// ... and reads at most this many times in all (a read of 63 sectors or of one boundary sector).
inline constexpr uint64_t kMaxGapSearchReads = 16384;
// Dynamic-disk database: the largest area read (real ones are 1 MiB), the largest slot, the
// fragments one record may span, components per volume and partitions per component.
inline constexpr uint64_t kMaxLdmDatabaseBytes = 64ull * 1024 * 1024;
inline constexpr uint32_t kMaxLdmSlotBytes = 64 * 1024;
inline constexpr uint32_t kMaxLdmFragments = 4096;
inline constexpr uint64_t kMaxLdmComponents = 32;
inline constexpr uint64_t kMaxLdmPartitions = 256;

// --- Unreadable sectors ------------------------------------------------------------------

// Ranges of unreadable sectors remembered for one volume (16 bytes each). A dying disk can
// fail on scattered sectors by the million; past this the nearest ranges are joined.
inline constexpr size_t kMaxBadSectorRanges = 65536;
// Lines of a rescue map file read (one block each). A map of a disk with a million scattered
// bad sectors has about two million lines; a file of more is not a map of a real disk.
inline constexpr size_t kMaxRescueMapBlocks = 4 * 1024 * 1024;
// Split raw image parts (name.001, name.002, ...) joined; the numbering has three digits.
inline constexpr uint32_t kMaxSplitImageParts = 999;

// --- File conditions ----------------------------------------------------------------------

// The allocation map held while the files of one listing are judged: one bit per cluster.
// 256 MiB covers 2^31 clusters (8 TiB in 4 KiB clusters; every FAT32 table fits in 32 MiB);
// a larger file system leaves its deleted files' condition unknown.
inline constexpr uint64_t kMaxClusterBitmapBytes = 256ull * 1024 * 1024;
// Runs of deleted NTFS files kept until every live record of the listing has been seen
// (16 bytes each). Deleted files past this stay unknown.
inline constexpr size_t kMaxDeferredConditionRuns = 1u << 22;
// Chain steps taken to check present FAT files against their table: each cluster belongs to
// one chain, so a real volume needs at most its cluster count; records that share a chain
// (cross-linked entries) cannot make the walk longer than twice that.
inline constexpr uint64_t kChainCheckFactor = 2;

// --- FAT -------------------------------------------------------------------------------

// Bytes of entries a folder's chain is followed for: a FAT folder holds at most 65,536
// entries of 32 bytes (2 MiB), so its chain is followed for at most as many clusters as hold
// them (4,096 of 512 bytes, 32 of 64 KiB). A cyclic chain ends there too, if the visited
// clusters have not ended it before.
inline constexpr uint64_t kMaxFolderEntryBytes = 65536ull * 32;
// The search for the free clusters that continue deleted folders, in one walk of a volume:
// sectors read (512 MiB of single-sector reads) and folders whose search waits until every
// reachable folder is walked (each keeps about 1 KiB of long-name state).
inline constexpr uint64_t kMaxFolderContinuationReads = 1u << 20;
inline constexpr size_t kMaxDeferredFolderSearches = 16384;
// Pieces one file's chain is cut into when it is read (16 MiB of run records). Past them,
// as past a chain longer than the table (it came back on itself), the rest of the file is
// read as if it followed the last cluster reached.
inline constexpr uint32_t kMaxFatFileRuns = 1u << 20;
// Sectors of one FAT copy loaded into memory: 1 GiB of table, 256 M FAT32 entries.
inline constexpr uint32_t kMaxFatTableSectors = 0x200000;
// Long-name parts collected for one entry (20 parts hold the 255-character maximum) and the
// bytes of a converted name.
inline constexpr uint32_t kMaxLongNameParts = 20;
inline constexpr uint32_t kMaxNameBytes = 519;

// --- NTFS ------------------------------------------------------------------------------

// A FILE record: real ones are 1 or 4 KiB.
inline constexpr uint32_t kMaxFileRecordBytes = 8192;
// An index record: real ones are 4 KiB.
inline constexpr uint32_t kMaxIndexRecordBytes = 65536;
// Index records beyond this VCN of a directory are not believed.
inline constexpr int64_t kMaxIndexVcn = 10000;
// Runs decoded from one runlist, and blocks one file's runs become after splitting into
// compression units. A runlist inside a record of kMaxFileRecordBytes holds a few thousand
// runs; a hostile run length must not turn into millions of blocks.
inline constexpr uint32_t kMaxRunsPerRunList = 1u << 20;
// Runs and candidates restored from a stored scan result.
inline constexpr uint32_t kMaxStoredRuns = 1u << 20;
inline constexpr uint32_t kMaxStoredCandidates = 1u << 16;
// An $ATTRIBUTE_LIST read through its own runs.
inline constexpr uint64_t kMaxAttributeListBytes = 1u << 20;
// A compression unit in sectors (2 MiB) and an encrypted file's $EFS metadata.
inline constexpr uint64_t kMaxCompressionUnitSectors = 4096;
inline constexpr uint64_t kMaxEfsBytes = 1u << 20;

// --- Record stores and stored results --------------------------------------------------------

// A name loaded from a stored record store: a 255-unit UTF-16 name is at most 765 bytes.
inline constexpr int kMaxLoadedNameLength = 1023;
// A scan-result file: description, extents of its volume, file systems of its session.
inline constexpr uint32_t kMaxStoredDescription = 4096;
inline constexpr uint32_t kMaxStoredExtents = 256;
inline constexpr uint32_t kMaxStoredFileSystems = 16;

// --- Deep scan -------------------------------------------------------------------------

// Files one deep scan records: four million, several times the pictures and documents of a
// full multi-terabyte disk. Each costs its 42-byte record, its name, an index slot and later a
// tree node (about 180 bytes together), so this many stay under 800 MB; a volume of tiny
// pictures back to back, or a type that matches everywhere, is cut here. Later hits are
// dropped and counted, and the scan goes on.
inline constexpr uint32_t kMaxDeepScanHits = 1u << 22;
// Types one plug-in factory may list.
inline constexpr int kMaxTypesPerFactory = 4096;
// Bytes a type's structure walk sees at once. A hit's own size is bounded by the type's
// declared maximum and by the end of the volume (the deep-scan file system corrects it).
inline constexpr uint64_t kMaxPluginView = 64 * 1024;
// Bytes of one properties part a type reads a found file's name from, after inflating it when
// it is compressed (an office document's properties: a few KiB in real files). A larger part,
// or one that would inflate to more, is not read.
inline constexpr size_t kMaxPluginPropertyBytes = 64 * 1024;

} // namespace VlmLimits
