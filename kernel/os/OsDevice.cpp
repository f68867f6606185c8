#include "os/OsDevice.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <linux/fs.h>
#include <linux/hdreg.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/VlmErrors.h"
#include "os/OsError.h"

uint32_t OsOpenReadOnly(const std::string& path, int* fd)
{
    *fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOATIME);
    if (*fd < 0 && errno == EPERM) // O_NOATIME needs ownership; retry without it
        *fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    return *fd < 0 ? OsErrorFromErrno(errno) : ERROR_SUCCESS;
}

uint32_t OsCloseFd(int fd) { return ::close(fd) == 0 ? ERROR_SUCCESS : OsErrorFromErrno(errno); }

uint32_t OsReadAt(int fd, uint64_t offset, void* buffer, size_t length, size_t* got)
{
    *got = 0;
    auto* out = static_cast<uint8_t*>(buffer);
    while (*got < length)
    {
        if (offset + *got > static_cast<uint64_t>(LLONG_MAX)) return ERROR_INVALID_PARAMETER;
        const ssize_t n = ::pread(fd, out + *got, length - *got, static_cast<off_t>(offset + *got));
        if (n < 0)
        {
            if (errno == EINTR) continue;
            return OsErrorFromErrno(errno);
        }
        if (n == 0) break;
        *got += static_cast<size_t>(n);
    }
    return ERROR_SUCCESS;
}

void OsAdviseSequential(int fd) { (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL); }

bool OsIsBlockDevice(int fd)
{
    struct stat st;
    return ::fstat(fd, &st) == 0 && S_ISBLK(st.st_mode);
}

bool OsQueryLength(int fd, uint64_t* bytes)
{
    struct stat st;
    if (::fstat(fd, &st) != 0) return false;
    if (S_ISBLK(st.st_mode)) return ::ioctl(fd, BLKGETSIZE64, bytes) == 0;
    if (S_ISREG(st.st_mode))
    {
        *bytes = static_cast<uint64_t>(st.st_size);
        return true;
    }
    return false;
}

bool OsQuerySectorSize(int fd, uint32_t* bytesPerSector)
{
    int size = 0;
    if (!OsIsBlockDevice(fd) || ::ioctl(fd, BLKSSZGET, &size) != 0 || size <= 0) return false;
    *bytesPerSector = static_cast<uint32_t>(size);
    return true;
}

bool OsQueryCylinderGeometry(int fd, OsCylinderGeometry* geometry)
{
    hd_geometry geo{};
    if (!OsIsBlockDevice(fd) || ::ioctl(fd, HDIO_GETGEO, &geo) != 0 || geo.heads == 0 || geo.sectors == 0) return false;
    geometry->Heads = geo.heads;
    geometry->SectorsPerTrack = geo.sectors;
    geometry->Cylinders = geo.cylinders;
    return true;
}

bool OsScsiReadCapacity(int fd, uint64_t* blocks)
{
    if (!OsIsBlockDevice(fd)) return false;
    unsigned char cdb[10] = {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    unsigned char data[8] = {};
    unsigned char sense[32] = {};
    sg_io_hdr_t io{};
    io.interface_id = 'S';
    io.cmd_len = sizeof(cdb);
    io.cmdp = cdb;
    io.dxfer_direction = SG_DXFER_FROM_DEV;
    io.dxfer_len = sizeof(data);
    io.dxferp = data;
    io.mx_sb_len = sizeof(sense);
    io.sbp = sense;
    io.timeout = 4000;
    if (::ioctl(fd, SG_IO, &io) != 0 || io.status != 0 || io.host_status != 0 || io.driver_status != 0) return false;
    const uint32_t lastLba = (uint32_t{data[0]} << 24) | (uint32_t{data[1]} << 16) | (uint32_t{data[2]} << 8) | data[3];
    *blocks = uint64_t{lastLba} + 1;
    return true;
}

namespace {

std::string ReadSysText(const std::string& path)
{
    std::ifstream in(path);
    std::string line;
    if (!in || !std::getline(in, line)) return {};
    const size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    const size_t last = line.find_last_not_of(" \t\r\n");
    return line.substr(first, last - first + 1);
}

std::string ResolveLink(const std::string& path)
{
    char buf[4096];
    const ssize_t n = ::readlink(path.c_str(), buf, sizeof(buf) - 1);
    if (n <= 0) return {};
    buf[n] = 0;
    return buf;
}

} // namespace

bool OsQueryIdentity(const std::string& sysName, OsDeviceIdentity* identity)
{
    if (sysName.empty()) return false;
    const std::string base = "/sys/block/" + sysName;
    identity->Vendor = ReadSysText(base + "/device/vendor");
    identity->Model = ReadSysText(base + "/device/model");
    if (identity->Model.empty()) identity->Model = ReadSysText(base + "/device/name"); // mmc cards
    identity->Removable = ReadSysText(base + "/removable") == "1";
    // The bus shows in the device's path: .../usbN/... for USB, .../host*/target* for SCSI.
    const std::string devicePath = ResolveLink(base);
    if (devicePath.find("/usb") != std::string::npos)
        identity->Bus = 7;
    else if (devicePath.find("/rport-") != std::string::npos)
        identity->Bus = 6;
    else if (devicePath.find("/target") != std::string::npos)
        identity->Bus = 1;
    else
        identity->Bus = 0;
    return true;
}
