#pragma once
// Raw access to a device node or image file, always read-only. These are the only calls into
// the operating system that the device objects make; every one may fail, and the optional
// queries report failure rather than guess.
#include <cstdint>
#include <string>

// Opens `path` with O_RDONLY (never for writing). Returns a system error number.
uint32_t OsOpenReadOnly(const std::string& path, int* fd);
uint32_t OsCloseFd(int fd);

// pread until `length` bytes arrived or the data ends; `got` receives the count.
// Returns 0 unless the read call itself failed (then the mapped errno).
uint32_t OsReadAt(int fd, uint64_t offset, void* buffer, size_t length, size_t* got);

// Tells the kernel that fd will be read from start to end (wider read-ahead, pages dropped
// behind the reader sooner). Only a hint: failure is not reported.
void OsAdviseSequential(int fd);

// True when fd is a block device.
bool OsIsBlockDevice(int fd);
// Length in bytes: BLKGETSIZE64 for block devices, the file size for files.
bool OsQueryLength(int fd, uint64_t* bytes);
// Logical sector size (BLKSSZGET); false for files.
bool OsQuerySectorSize(int fd, uint32_t* bytesPerSector);

struct OsCylinderGeometry
{
    uint64_t Cylinders = 0;
    uint32_t Heads = 0;
    uint32_t SectorsPerTrack = 0;
};
// HDIO_GETGEO. Its cylinder field is 16 bits wide and wraps on large disks, so the cylinder
// count is recomputed from the length when the length is known.
bool OsQueryCylinderGeometry(int fd, OsCylinderGeometry* geometry);
// READ CAPACITY(10) through SG_IO: the number of logical blocks (last LBA + 1).
bool OsScsiReadCapacity(int fd, uint64_t* blocks);

// "vendor model" from /sys/block/<name>/device and the bus the device hangs on.
struct OsDeviceIdentity
{
    std::string Vendor;
    std::string Model;
    int Bus = 0; // 0 unknown, 1 SCSI, 6 Fibre Channel, 7 USB, 8 RAID
    bool Removable = false;
};
bool OsQueryIdentity(const std::string& sysName, OsDeviceIdentity* identity);
