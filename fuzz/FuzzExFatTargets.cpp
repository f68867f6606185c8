// The exFAT scanner over fuzzed volumes: the sector scan with candidate placement and the
// rebuild of every candidate; the direct open (boot regions, FAT, bitmap, folder walk); and
// the pure parsers (boot region, entry sets, chains) over raw bytes.
#include <algorithm>
#include <vector>

#include "FuzzDrive.h"
#include "FuzzImage.h"
#include "FuzzTargets.h"
#include "exfat/KExFatFileSystem.h"
#include "format/exfat/ExFatBootSector.h"
#include "format/exfat/ExFatChain.h"
#include "format/exfat/ExFatEntrySet.h"
#include "format/exfat/ExFatUpcase.h"

int FuzzExFatScan(const uint8_t* data, size_t size)
{
    MemoryVolume volume(kBorrow, {data, size});
    KExFatFileSystem fs;
    FuzzScanPass(fs, volume);
    FuzzListCandidates(fs, [&fs] { FuzzExerciseListing(fs); });
    return 0;
}

int FuzzExFatVolume(const uint8_t* data, size_t size)
{
    MemoryVolume volume;
    LoadSparseInput(data, size, volume);
    KExFatFileSystem fs;
    fs.SetVolume(&volume);
    if (fs.SelectCandidate(FS_CANDIDATE_VOLUME) == 0) FuzzExerciseListing(fs);
    return 0;
}

int FuzzExFatEntries(const uint8_t* data, size_t size)
{
    const ByteView bytes(data, size);
    ExFatBoot boot;
    for (uint32_t bps = 512; bps <= 4096; bps *= 2) ChooseExFatBootRegion(bytes, bps, &boot);
    ParseExFatBootSector(bytes, &boot);
    for (size_t off = 0; off + 32 <= bytes.size(); off += 32)
    {
        ExFatEntrySet set;
        if (ParseExFatEntrySet(bytes, off, &set) == ExFatSetStatus::Ok)
        {
            char name[1024];
            size_t n = 0;
            ExFatNameToUtf8(set.Name, set.NameLength, name, sizeof(name), &n);
        }
        char16_t label[11];
        uint32_t length = 0;
        ParseExFatLabel(bytes, off, label, &length);
    }
    ExFatUpcase upcase;
    upcase.Decode(bytes, ExFatUpcaseChecksum(bytes));
    char16_t units[64] = {};
    for (size_t i = 0; i < 64 && 2 * i + 1 < bytes.size(); ++i)
        units[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    ExFatNameHash(units, 64, upcase);
    // The same bytes as a table: every chain from the first clusters, unbounded length.
    const auto clusters = static_cast<uint32_t>(bytes.size() / 4);
    for (uint32_t c = 2; c < std::min<uint32_t>(clusters + 2, 66); ++c)
    {
        std::vector<ExFatRun> runs;
        WalkExFatChain(bytes, clusters, c, UINT64_MAX, &runs, 4096);
    }
    return 0;
}
