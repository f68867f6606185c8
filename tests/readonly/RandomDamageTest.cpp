// Damaged images, many times over with a fixed seed: about 1% of the bytes of each image's
// used sectors are overwritten at random, then discovery, the direct open with listing, tree
// building and reading files back (and a full scan of the small images) run over the result.
// Nothing may crash, and the work done stays within a bound of what the intact image costs.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "FuzzDrive.h"
#include "fat/KFatFileSystem.h"
#include "ntfs/KNtfsFileSystem.h"
#include "support/TestFiles.h"
#include "support/TestImages.h"
#include "support/MemoryMedia.h"
#include "volume/VolumeDiscovery.h"

namespace {

struct tagDamageCase
{
    const char* image;
    bool ntfs;
    int rounds;
    uint64_t fullScanSectors; // scanned from sector 0 each round; 0 for none
};

const tagDamageCase kCases[] = {
    {"fat12-floppy", false, 100, 2880},   {"superfloppy", false, 40, 0}, {"fat16-nested", false, 25, 0},
    {"ntfs-reformatted", true, 40, 2048}, {"ntfs-basic", true, 25, 0},
};

// Damaged work may cost more than intact work (a broken chain is followed until its bound),
// but never without limit.
constexpr uint64_t kReadFactor = 20;
constexpr uint64_t kReadAllowance = 100000;

// A small deterministic generator, the same on every platform and library.
class Rng
{
public:
    explicit Rng(uint64_t seed) : m_State(seed) {}
    uint64_t Next()
    {
        m_State = m_State * 6364136223846793005ull + 1442695040888963407ull;
        return m_State >> 33;
    }
    uint64_t Below(uint64_t n) { return n ? Next() % n : 0; }

private:
    uint64_t m_State;
};

std::vector<uint64_t> UsedSectors(const std::vector<uint8_t>& image)
{
    std::vector<uint64_t> used;
    for (uint64_t s = 0; s < image.size() / 512; ++s)
        for (size_t i = 0; i < 512; ++i)
            if (image[s * 512 + i])
            {
                used.push_back(s);
                break;
            }
    return used;
}

// The pipeline over one image; returns the sectors read through the volume and the disk.
uint64_t RunPipeline(std::vector<uint8_t> bytes, const tagDamageCase& c)
{
    MemoryVolume volume(std::move(bytes));
    const std::vector<uint8_t>& image = volume.Image();
    MemoryDisk device(kBorrow, image); // the damaged bytes themselves, for discovery
    std::vector<tagVolumeInfo> found;
    ParseBasicDisk(&device, &found);

    std::unique_ptr<IFileSystem> fs;
    if (c.ntfs)
        fs = std::make_unique<KNtfsFileSystem>();
    else
        fs = std::make_unique<KFatFileSystem>();
    fs->SetVolume(&volume);
    fs->SetSectorInfo(0, 512);
    if (fs->SelectCandidate(FS_CANDIDATE_VOLUME) == 0) FuzzExerciseListing(*fs);

    uint64_t scanReads = 0;
    if (c.fullScanSectors)
    {
        const size_t bytes = static_cast<size_t>(std::min<uint64_t>(c.fullScanSectors * 512, image.size()));
        MemoryVolume headVolume(
            std::vector<uint8_t>(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(bytes)));
        std::unique_ptr<IFileSystem> scan;
        if (c.ntfs)
            scan = std::make_unique<KNtfsFileSystem>();
        else
            scan = std::make_unique<KFatFileSystem>();
        FuzzScanPass(*scan, headVolume);
        uint32_t count = 0;
        scan->GetCandidateCount(&count);
        for (uint32_t i = 0; i < std::min<uint32_t>(count, 4); ++i)
            if (scan->SelectCandidate(i) == 0) FuzzExerciseListing(*scan);
        scanReads = headVolume.ReadCount();
    }
    return volume.ReadCount() + device.ReadCount() + scanReads;
}

} // namespace

TEST(RandomDamage, PipelineSurvivesAndStaysBounded)
{
    const auto start = std::chrono::steady_clock::now();
    Rng rng(20240917);
    int rounds = 0;
    for (const tagDamageCase& c : kCases)
    {
        const std::vector<uint8_t> intact = LoadFixtureImage(c.image);
        ASSERT_FALSE(intact.empty()) << c.image;
        const std::vector<uint64_t> used = UsedSectors(intact);
        const uint64_t damagePerRound = used.size() * 512 / 100;
        const uint64_t intactReads = RunPipeline(intact, c);
        const uint64_t bound = intactReads * kReadFactor + kReadAllowance;
        uint64_t worst = 0;
        for (int r = 0; r < c.rounds; ++r)
        {
            std::vector<uint8_t> damaged = intact;
            for (uint64_t k = 0; k < damagePerRound; ++k)
                damaged[used[rng.Below(used.size())] * 512 + rng.Below(512)] = static_cast<uint8_t>(rng.Next());
            const uint64_t reads = RunPipeline(std::move(damaged), c);
            worst = std::max(worst, reads);
            EXPECT_LE(reads, bound) << c.image << " round " << r;
            ++rounds;
        }
        std::fprintf(stderr, "%s: %d rounds, intact %llu reads, worst damaged %llu\n", c.image, c.rounds,
                     static_cast<unsigned long long>(intactReads), static_cast<unsigned long long>(worst));
    }
    EXPECT_EQ(rounds, 230);
    std::fprintf(stderr, "random damage: %.1f s\n",
                 std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
}
