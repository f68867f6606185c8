#pragma once
// Member images of one test disk group carrying five dynamic volumes (simple, spanned,
// mirrored, striped and RAID-5, 64 KiB stripes over 3 members), each holding the same FAT32
// file system made by mkfs.fat (files put in by mcopy) on a flat image and then laid out over
// the members. Members may be MBR or GPT dynamic disks (LdmWriteOptions::GptMembers).
#include <cstdint>
#include <string>
#include <vector>

#include "LdmWriter.h"

struct DynamicTestFile
{
    std::string Path; // in the file system, '/' between names
    std::vector<uint8_t> Bytes;
};

struct DynamicTestSet
{
    std::vector<uint8_t> Flat;          // the file system every volume holds
    std::vector<DynamicTestFile> Files; // the files in it
    std::vector<std::string> Members;   // member image paths, disk order
    LdmTestGroup Group;
    LdmWriteOptions Options; // as the members were written
};

inline constexpr uint64_t kFlatSectors = 73728; // 36 MiB: enough clusters for FAT32
inline constexpr uint32_t kTestStripe = 128;

// Makes the flat file system and the three member images in `dir`; false when mkfs.fat or
// mcopy fails.
bool MakeDynamicTestSet(const std::string& dir, const LdmWriteOptions& options, DynamicTestSet* out);

// Writes `bytes` to `path`, leaving all-zero 64 KiB blocks as holes.
void WriteSparse(const std::string& path, const std::vector<uint8_t>& bytes);
