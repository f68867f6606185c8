// The NTFS scanner over fuzzed input: the normal listing of a volume, the full scan with its
// candidate search, and the pure record parsers (FILE record check and attribute walk,
// runlists, index records, LZNT1 chunks).
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzDrive.h"
#include "FuzzImage.h"
#include "FuzzTargets.h"
#include "ntfs/KNtfsFileSystem.h"
#include "ntfs/NtfsFileRecordParser.h"
#include "format/ntfs/NtfsIndexRecord.h"
#include "format/ntfs/NtfsLznt1.h"
#include "ntfs/NtfsNamedStreams.h"
#include "format/ntfs/NtfsRecord.h"
#include "format/ntfs/NtfsRunList.h"
#include "format/ntfs/NtfsScanRecord.h"

namespace {

constexpr int kSpecialCopiesPerListing = 4;
// File size for the walk by compression unit: larger than any file of a fuzzed volume, small
// enough that a walk over hostile runs costs microseconds.
constexpr uint64_t kUnitWalkSectors = 1u << 20;

// A folder of this process for the copy-out of compressed and encrypted files.
const std::string& CopyFolder()
{
    static const std::string s_Folder = [] {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/vlm-fuzz-XXXXXX";
        return mkdtemp(pattern.data()) ? pattern : std::string();
    }();
    return s_Folder;
}

// Compressed and encrypted files are copied out through the export path, not a stream.
void CopySpecialFiles(KNtfsFileSystem& fs)
{
    if (CopyFolder().empty()) return;
    const std::string target = CopyFolder() + "/out";
    int copies = 0;
    for (int i = 0; i < fs.Nodes().GetCount() && copies < kSpecialCopiesPerListing; ++i)
    {
        const tagFileNode* record = fs.Nodes().GetNode(i);
        if (!record || !(record->wAttributes & (FN_ATTR_COMPRESSED | FN_ATTR_ENCRYPTED)) ||
            (record->wAttributes & FN_ATTR_FOLDER) || record->s64Size > (int64_t{1} << 24))
            continue;
        ++copies;
        fs.SaveFile(record, target);
        unlink(target.c_str());
        unlink((target + ".$EFS").c_str());
    }
}

void ListSelected(KNtfsFileSystem& fs)
{
    FuzzExerciseListing(fs);
    CopySpecialFiles(fs);
}

// The runs unit by unit, as the copy of a compressed file walks them.
void WalkUnits(const StreamVector& runs, uint32_t unitSectors)
{
    NtfsUnitReader reader(runs, unitSectors);
    NtfsCompressionUnit unit;
    for (uint64_t done = 0; done < kUnitWalkSectors && reader.Next(&unit); done += unit.sectors)
    {}
}

void WalkAttributes(KNtfsMft& mft, ByteView record)
{
    const uint32_t types[] = {kNtfsAttrStandardInformation, kNtfsAttrAttributeList, kNtfsAttrFileName,
                              kNtfsAttrVolumeName,          kNtfsAttrData,          kNtfsAttrIndexAllocation};
    for (uint32_t type : types)
        for (int nth = 0; nth < 4; ++nth)
        {
            const NtfsAttribute attribute = FindAttribute(record, type, nth);
            if (!attribute) break;
            ByteView value;
            ResidentValue(attribute, &value);
            tagNtfsNonResidentAttribute header;
            ByteView pairs;
            if (NonResidentHeader(attribute, &header, &pairs))
            {
                StreamVector runs;
                if (DecodeRunList(pairs, 8, 0, &runs))
                {
                    RunSectorTotal(runs);
                    WalkUnits(runs, 128);
                }
            }
        }
    FindUnnamedData(record);
    WalkAttributeList(mft, record, [](const tagNtfsAttributeListEntry&) { return true; });
    std::string name;
    tagNtfsFileNode node{};
    ParseFileRecord(mft, record, 40, &name, &node);
    // Every named stream is found again by its name, as its copy finds it.
    ForEachNamedStream(mft, record, [&](const std::string& stream, const NtfsAttribute& data) {
        tagNtfsFileNode streamNode{};
        MakeStreamNode(node, data, &streamNode);
        NtfsStreamData found;
        LocateNamedStream(mft, record, stream, &found);
        return true;
    });
    NtfsScanRecord scan;
    ParseScanRecord(record, 512, &scan, &name);
}

} // namespace

int FuzzNtfsVolume(const uint8_t* data, size_t size)
{
    MemoryVolume volume;
    LoadSparseInput(data, size, volume);
    KNtfsFileSystem fs;
    fs.SetVolume(&volume);
    fs.SetSectorInfo(0, 512);
    if (fs.SelectCandidate(FS_CANDIDATE_VOLUME) == 0) ListSelected(fs);
    return 0;
}

int FuzzNtfsFullScan(const uint8_t* data, size_t size)
{
    MemoryVolume volume(kBorrow, {data, size});
    KNtfsFileSystem fs;
    FuzzScanPass(fs, volume);
    FuzzListCandidates(fs, [&fs] { ListSelected(fs); });
    return 0;
}

int FuzzNtfsRecord(const uint8_t* data, size_t size)
{
    // The whole input is one FILE record and, separately, one index record.
    if (size > 65536) return 0;
    const auto bytes = static_cast<uint32_t>(size);
    KNtfsMft mft;
    std::vector<uint8_t> record(data, data + size);
    CheckFileRecord(MutableByteView(record).first(bytes), true);
    if (CheckFileRecord(MutableByteView(record).first(bytes), false)) WalkAttributes(mft, record);

    std::vector<uint8_t> index(data, data + size);
    IndexRecordBytes(index);
    if (CheckIndexRecord(MutableByteView(index).first(bytes), 512, false))
    {
        std::vector<NtfsScanRecord> entries;
        CollectIndexEntries(7, index, &entries);
    }

    // The bytes as a runlist, with the cluster sizes of small and large volumes.
    for (uint32_t spc : {1u, 8u, 128u})
    {
        StreamVector runs;
        if (DecodeRunList(ByteView(data, size), spc, 63, &runs)) WalkUnits(runs, 16 * spc);
    }
    return 0;
}

int FuzzLznt1(const uint8_t* data, size_t size)
{
    // Chunk after chunk, as a compressed unit is decoded.
    std::vector<uint8_t> out(65536);
    ByteView rest(data, size);
    for (int chunk = 0; chunk < 64 && rest.size() >= 2; ++chunk)
    {
        DecompressChunk(rest, out.data());
        const uint16_t h = static_cast<uint16_t>(rest[0] | (rest[1] << 8));
        if (h == 0) break;
        const uint32_t length = Lznt1ChunkLength(h);
        if (length >= rest.size()) break;
        rest = rest.subspan(length);
    }
    return 0;
}
