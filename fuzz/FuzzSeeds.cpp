// Writes the seed inputs that cannot be cut from the image files by the seed script:
//   fuzz_seeds ldm <folder>
//     member images of small dynamic-disk groups made by the test writer, with every option
//     of its layout (MBR and GPT members), as sparse inputs;
//   fuzz_seeds results <result folder> <store folder> <image>...
//     for each flat image: a full scan with the FAT, NTFS and deep-scan file systems, a
//     selection, and the scan-result file and each record store as they are saved.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "FuzzDrive.h"
#include "FuzzImage.h"
#include "LdmWriter.h"
#include "fs/IFileSystem.h"
#include "engine/KFileSystemMgr.h"
#include "fat/KFatFileSystem.h"
#include "ntfs/KNtfsFileSystem.h"
#include "raw/KRawFileSystem.h"
#ifdef VLM_FUZZ_HAVE_APPCORE
#include "core/CScanResultFile.h"
#endif

namespace {

constexpr uint64_t kDiskSectors = 40000;

LdmTestGroup MakeGroup()
{
    LdmTestGroup g;
    g.DiskGuids = {"0b9c6d1e-2f3a-4b5c-8d7e-6f5a4b3c2d1e", "1c2d3e4f-5a6b-4c7d-8e9f-0a1b2c3d4e5f"};
    LdmTestPartition simple{0, 0, 0, 2048, -1};
    LdmTestPartition spanA{0, 4096, 0, 1024, -1};
    LdmTestPartition spanB{1, 0, 1024, 1024, -1};
    LdmTestPartition stripeA{0, 8192, 0, 1024, 0};
    LdmTestPartition stripeB{1, 8192, 0, 1024, 1};
    LdmTestPartition raidA{0, 12288, 0, 1024, 0};
    LdmTestPartition raidB{1, 12288, 0, 1024, 1};
    g.Volumes.push_back({"Volume1", false, 2048, 0x07, {{2, 0, 0, {simple}}}});
    g.Volumes.push_back({"Volume2", false, 2048, 0x0C, {{2, 0, 0, {spanA, spanB}}}});
    g.Volumes.push_back({"Volume3", false, 2048, 0x07, {{1, 128, 2, {stripeA, stripeB}}}});
    g.Volumes.push_back({"Volume4", true, 1024, 0x07, {{3, 128, 2, {raidA, raidB}}}});
    return g;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool WriteSeed(const std::string& path, const std::vector<uint8_t>& image)
{
    std::map<uint64_t, std::vector<uint8_t>> present;
    for (uint64_t s = 0; s < image.size() / 512; ++s)
    {
        const auto* p = image.data() + s * 512;
        for (size_t i = 0; i < 512; ++i)
            if (p[i])
            {
                present[s].assign(p, p + 512);
                break;
            }
    }
    return WriteFile(path, EncodeSparseInput(image.size() / 512, present));
}

class KVectorSink final : public IStorageManager
{
public:
    int Read(void*, int, int* done) override
    {
        *done = 0;
        return 0;
    }
    int Write(const void* buffer, int length, int* done) override
    {
        const auto* p = static_cast<const uint8_t*>(buffer);
        Bytes.insert(Bytes.end(), p, p + length);
        *done = length;
        return 1;
    }
    std::vector<uint8_t> Bytes;
};

std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The store of a file system, saved with the selector byte of the store target in front.
void SaveStore(KFileNode& store, uint8_t selector, const std::string& path)
{
    KVectorSink sink;
    sink.Bytes.push_back(selector);
    store.SaveTo(&sink);
    WriteFile(path, sink.Bytes);
}

int MakeResults(const std::string& results, const std::string& stores, int argc, char** argv)
{
    for (int a = 0; a < argc; ++a)
    {
        const std::vector<uint8_t> bytes = ReadFile(argv[a]);
        MemoryVolume volume(kBorrow, bytes);
        KFileSystemMgr mgr;
        auto* fat = static_cast<KFatFileSystem*>(mgr.Create(KFileSystemMgr::kKindFat32));
        auto* ntfs = static_cast<KNtfsFileSystem*>(mgr.Create(KFileSystemMgr::kKindNtfs));
        auto* raw = static_cast<KRawFileSystem*>(mgr.Create(KFileSystemMgr::kKindRaw));
        IFileSystem* current = nullptr;
        for (IFileSystem* fs :
             {static_cast<IFileSystem*>(fat), static_cast<IFileSystem*>(ntfs), static_cast<IFileSystem*>(raw)})
        {
            if (!fs) continue;
            FuzzScanPass(*fs, volume);
            uint32_t count = 0;
            fs->GetCandidateCount(&count);
            if (count && fs->SelectCandidate(0) == 0 && !current) current = fs;
        }
        const std::string n = std::to_string(a);
        if (fat) SaveStore(fat->Store(), 1, stores + "/fat-" + n);
        if (ntfs) SaveStore(ntfs->Nodes(), 2, stores + "/ntfs-" + n);
#ifdef VLM_FUZZ_HAVE_APPCORE
        tagVolumeInfo record;
        record.VolumeType = 1;
        record.SectorCount = volume.TotalSectors();
        record.Extents.push_back({0, 3, 0, 0, 0, volume.TotalSectors()});
        KVectorSink sink;
        CScanResultFile::WriteHeader(&sink, CScanResultFile::MakeHeader(record, &volume, 1));
        CScanResultFile::WriteFileSystems(&sink, 2, mgr, current);
        WriteFile(results + "/result-" + n, sink.Bytes);
#else
        (void)results;
        (void)current;
#endif
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 4 && std::strcmp(argv[1], "results") == 0) return MakeResults(argv[2], argv[3], argc - 4, argv + 4);
    if (argc != 3 || std::strcmp(argv[1], "ldm") != 0)
    {
        std::fprintf(stderr, "usage: fuzz_seeds ldm <folder> | results <results> <stores> <image>...\n");
        return 2;
    }
    const std::string folder = argv[2];
    const LdmTestGroup group = MakeGroup();
    int n = 0;
    for (int variant = 0; variant < 6; ++variant)
    {
        LdmWriteOptions o;
        o.TotalSectors = kDiskSectors;
        o.PrivHeadAtSector6 = variant != 1;
        o.WriteVmdb = variant != 2;
        o.TocInFirstSector = variant != 3;
        o.ScatterFragments = variant == 4;
        o.PartitionsReversed = variant == 5;
        for (size_t disk = 0; disk < group.DiskGuids.size(); ++disk)
            if (!WriteSeed(folder + "/ldm-" + std::to_string(n++), MakeLdmMemberImage(group, disk, o))) return 1;
    }
    // Both members as dynamic disks on GPT (the seed script gives these to discovery too).
    LdmWriteOptions gpt;
    gpt.TotalSectors = kDiskSectors;
    gpt.GptMembers = 0b11;
    for (size_t disk = 0; disk < group.DiskGuids.size(); ++disk)
        if (!WriteSeed(folder + "/ldm-gpt-" + std::to_string(disk), MakeLdmMemberImage(group, disk, gpt))) return 1;
    return 0;
}
