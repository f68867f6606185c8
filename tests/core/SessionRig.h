#pragma once
// A recovery session over disk images assembled from the committed test volumes: the images are
// registered as the only hard disks, discovered as the program would, and driven through the
// scripted port. Scan results go to a private resume folder.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "FakeUserPort.h"
#include "core/CGlobalParamTable.h"
#include "core/CRecoveryLauncher.h"
#include "support/TestFiles.h"
#include "support/TestImages.h"

// A disk under construction: an MBR with up to four primary entries.
struct DiskImage
{
    explicit DiskImage(uint64_t sectors) : Bytes(sectors * 512, 0) {}
    void Partition(int slot, uint8_t type, uint32_t first, const std::vector<uint8_t>& content, uint32_t sectors = 0);
    std::vector<uint8_t> Bytes;
};

// FAT16 volume at 2048, NTFS volume behind it, and a partition of zeros behind that.
constexpr uint64_t kFatStart = 2048;
constexpr uint64_t kNtfsStart = 2048 + 65536;
constexpr uint64_t kBlankStart = kNtfsStart + 65536;
constexpr uint64_t kBlankSectors = 2048;
DiskImage MakeTwoVolumeDisk();

class SessionRig
{
public:
    SessionRig();
    ~SessionRig();

    /// Writes the disks into files, registers them as the only hard disks and lets the session
    /// discover them.
    void Attach(const std::vector<const DiskImage*>& disks);
    /// Index of the volume of disk `disk` with VolumeType `type` starting at device sector `start`.
    int FindVolume(int32_t type, uint64_t start, uint32_t disk = 0) const;
    std::string ResumeFolder() const { return Dir.File("resume"); }
    /// Paths of the records below the current tree's root whose kind has a bit of `kindMask`,
    /// with "/" between folders, sorted.
    std::vector<std::string> TreeListing(uint8_t kindMask = 0xFF, bool leavesOnly = false);
    std::vector<std::string> ResumeFiles() const;

    TempDir Dir;
    FakeUserPort Port;
    SteppingClock Clock{50};
    std::unique_ptr<CGlobalParamTable> Session;
    std::unique_ptr<CRecoveryLauncher> Launcher;
};
