#pragma once
// Where an NTFS file's data runs lie (through its attribute list) and its compression unit, and
// the copy-out of encrypted files, the one kind no stream can read: they are written in the raw
// backup format (their $EFS metadata and the encrypted bytes), beside a ".$EFS" backup file.
// Every write is checked: a full target disk ends the copy with its error.
#include <cstdint>
#include <string>
#include <vector>

#include "base/ResourceLimits.h"
#include "fs/IOutStream.h"
#include "fs/tagFileNode.h"
#include "format/ntfs/NtfsRunList.h"

class KNtfsFileSystem;
class OsFile;

class KNtfsFileExport
{
public:
    /// Largest compression unit accepted (2 MiB of 512-byte sectors); larger ones are garbage.
    static constexpr uint64_t kMaxUnitSectors = VlmLimits::kMaxCompressionUnitSectors;
    /// Largest $EFS metadata stream accepted.
    static constexpr uint64_t kMaxEfsBytes = VlmLimits::kMaxEfsBytes;

    explicit KNtfsFileExport(KNtfsFileSystem& fs) : m_Fs(fs) {}

    /// SaveFile for an encrypted node (resident data goes through the common copy). 0, 1223 after a cancel (the partial file stays for the caller to remove),
    /// 1627 for an unreadable or invalid record or missing $EFS, the creation error, or the
    /// first write error. Bytes that could not be read are written as zeros and counted in
    /// the file system's unread tally.
    uint32_t Save(const tagNtfsFileNode* node, const std::string& path);

    /// Builds "<path>.$EFS" from the written destination: stream header with the $EFS stream,
    /// data header and data blocks. Without the platform's raw-import functions (as on this
    /// platform) the destination keeps the raw data and the ".$EFS" file is the importable
    /// backup. 0 or the first error.
    uint32_t FinishEncryptedFile(const tagNtfsFileNode* node, const std::string& path, OsFile& file);

    struct Plan
    {
        StreamVector runs;
        uint64_t unitSectors = 0; // the compression unit; 0 when no volume uses it
        int64_t efsRecordSector = -1;
        int64_t size = 0;
    };
    /// The runs of the node's data (every extent, through the attribute list), its compression
    /// unit and size; `resident` when the data lies in the record. 1627 for a record that
    /// cannot be read or fails its check, or an extension record that is invalid.
    uint32_t CollectRuns(const tagNtfsFileNode* node, Plan* plan, bool* resident);

private:
    uint32_t WriteEfsStream(const Plan& plan, OsFile& file);
    uint32_t CopyRuns(const Plan& plan, OsFile& file, int64_t* remaining);
    uint32_t WriteZeros(OsFile& file, uint64_t count, int64_t* remaining, bool* cancelled);
    uint32_t CopyPlainRun(const tagStreamBlock& run, OsFile& file, int64_t* remaining, bool* cancelled);

    KNtfsFileSystem& m_Fs;
    std::vector<uint8_t> m_Buffer;
};
