#include "core/CScanResultFile.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "fs/IFileSystem.h"
#include "engine/KFileSystemMgr.h"
#include "os/OsFile.h"
#include "os/OsTime.h"
#include "format/FileSystemType.h"
#include "volume/IVolumeIO.h"
#include "volume/VolumeTypes.h"

namespace {

constexpr int64_t kMsPerDay = 86400000;
constexpr int64_t kTicksPerMs = 10000;
// Days from 1601-01-01 to 1970-01-01.
constexpr int64_t kDays1601To1970 = 134774;

constexpr char kStatusTag[8] = {'V', 'L', 'M', 'S', 'T', 'A', 'T', 'E'};

std::string FileSystemName(int32_t code)
{
    std::string name;
    FileSystemTypeName(code, &name);
    return name;
}

} // namespace

std::string CScanResultFile::DescribeVolume(const tagVolumeInfo& record, IVolumeIO* volume)
{
    if (record.VolumeType == VOLUME_PHYSICAL)
    {
        std::string text;
        if (volume) volume->GetDescription(&text);
        return text;
    }
    const std::string fs = FileSystemName(record.PartitionType);
    if (!record.Drive.empty()) return record.Label + "(" + record.Drive + "," + fs + ")";
    return record.Label + "(" + fs + ")";
}

tagScanResultHeader CScanResultFile::MakeHeader(const tagVolumeInfo& record, IVolumeIO* volume, uint32_t module)
{
    tagScanResultHeader header;
    header.strDescription = DescribeVolume(record, volume);
    if (header.strDescription.size() > kMaxDescription) header.strDescription.resize(kMaxDescription);
    header.Time = LocalNow();
    header.dwModule = module;
    header.Identity.dwStripeSize = record.StripeSize;
    header.Identity.dwPartitionType = static_cast<uint32_t>(record.PartitionType);
    header.Identity.dwVolumeType = static_cast<uint32_t>(record.VolumeType);
    header.Identity.s64SectorCount = static_cast<int64_t>(record.SectorCount);
    for (const tagVolumeExtent& e : record.Extents)
    {
        tagStoredExtent stored{};
        stored.dwDeviceKind = e.DeviceKind;
        stored.dwDeviceNumber = e.DeviceNumber;
        stored.s64SectorCount = static_cast<int64_t>(e.SectorCount);
        stored.s64VolumeStart = static_cast<int64_t>(e.VolumeStart);
        stored.s64DeviceStart = static_cast<int64_t>(e.DeviceStart);
        header.Extents.push_back(stored);
    }
    return header;
}

bool CScanResultFile::MatchesVolume(const tagScanResultHeader& header, const tagVolumeInfo& record)
{
    const tagStoredIdentity& id = header.Identity;
    if (id.dwStripeSize != record.StripeSize || id.dwPartitionType != static_cast<uint32_t>(record.PartitionType) ||
        id.dwVolumeType != static_cast<uint32_t>(record.VolumeType) ||
        id.s64SectorCount != static_cast<int64_t>(record.SectorCount) || header.Extents.size() != record.Extents.size())
        return false;
    for (size_t i = 0; i < header.Extents.size(); ++i)
    {
        const tagStoredExtent& s = header.Extents[i];
        const tagVolumeExtent& e = record.Extents[i];
        if (s.dwDeviceKind != e.DeviceKind || s.dwDeviceNumber != e.DeviceNumber ||
            s.s64SectorCount != static_cast<int64_t>(e.SectorCount) ||
            s.s64VolumeStart != static_cast<int64_t>(e.VolumeStart) ||
            s.s64DeviceStart != static_cast<int64_t>(e.DeviceStart))
            return false;
    }
    return true;
}

bool CScanResultFile::WriteHeader(IStorageManager* out, const tagScanResultHeader& header)
{
    if (header.strDescription.size() > kMaxDescription || header.Extents.size() > kMaxExtents) return false;
    const auto length = static_cast<uint32_t>(header.strDescription.size());
    bool ok = StorageWriteExact(out, kSignature, sizeof(kSignature)) && StorageWrite(out, length);
    if (ok && length > 0) ok = StorageWriteExact(out, header.strDescription.data(), static_cast<int>(length));
    ok = ok && StorageWrite(out, header.Time) && StorageWrite(out, header.dwModule) &&
        StorageWrite(out, header.Identity) && StorageWrite(out, static_cast<uint32_t>(header.Extents.size()));
    for (size_t i = 0; ok && i < header.Extents.size(); ++i) ok = StorageWrite(out, header.Extents[i]);
    return ok;
}

bool CScanResultFile::ReadHeader(IStorageManager* in, tagScanResultHeader* header)
{
    uint8_t signature[sizeof(kSignature)] = {};
    if (!StorageReadExact(in, signature, sizeof(signature)) ||
        std::memcmp(signature, kSignature, sizeof(kSignature)) != 0)
        return false;
    uint32_t length = 0;
    if (!StorageRead(in, length) || length > kMaxDescription) return false;
    header->strDescription.assign(length, '\0');
    if (length > 0 && !StorageReadExact(in, header->strDescription.data(), static_cast<int>(length))) return false;
    // The text ends at its first zero byte, as an 8-bit string would.
    header->strDescription.resize(std::strlen(header->strDescription.c_str()));
    uint32_t extents = 0;
    if (!StorageRead(in, header->Time) || !StorageRead(in, header->dwModule) || header->dwModule >= kModuleCount ||
        !StorageRead(in, header->Identity) || !StorageRead(in, extents) || extents > kMaxExtents)
        return false;
    header->Extents.assign(extents, tagStoredExtent{});
    for (tagStoredExtent& e : header->Extents)
        if (!StorageRead(in, e)) return false;
    return true;
}

bool CScanResultFile::WriteFileSystems(IStorageManager* out, uint32_t view, const KFileSystemMgr& fileSystems,
                                       const IFileSystem* current)
{
    const int count = fileSystems.GetCount();
    if (!StorageWrite(out, view) || !StorageWrite(out, static_cast<uint32_t>(count))) return false;
    for (int i = 0; i < count; ++i)
    {
        IFileSystem* fs = fileSystems.GetAt(i);
        const uint32_t flag = fs == current ? 1 : 0;
        if (!StorageWrite(out, flag) || !StorageWrite(out, fileSystems.GetKind(i)) || !fs->SaveTo(out)) return false;
    }
    return true;
}

bool CScanResultFile::ReadFileSystems(IStorageManager* in, IVolumeIO* volume, KFileSystemMgr* into,
                                      IFileSystem** current, uint32_t* view)
{
    *current = nullptr;
    uint32_t count = 0;
    if (!StorageRead(in, *view) || !StorageRead(in, count) || count > kMaxFileSystems) return false;
    for (uint32_t i = 0; i < count; ++i)
    {
        uint32_t flag = 0;
        uint32_t kind = 0;
        if (!StorageRead(in, flag) || !StorageRead(in, kind)) return false;
        IFileSystem* fs = into->Create(kind);
        if (!fs || !fs->LoadFrom(in)) return false;
        fs->SetVolume(volume);
        if (flag == 1) *current = fs;
    }
    return true;
}

bool CScanResultFile::WriteStatus(IStorageManager* out, const tagScanResultStatus& status)
{
    const std::string& device = status.strDevice.size() > kMaxDescription ? std::string() : status.strDevice;
    const auto length = static_cast<uint32_t>(device.size());
    return StorageWrite(out, status.dwFlags) &&
        (length == 0 || StorageWriteExact(out, device.data(), static_cast<int>(length))) && StorageWrite(out, length) &&
        StorageWriteExact(out, kStatusTag, sizeof(kStatusTag));
}

bool CScanResultFile::ParseStatus(const uint8_t* tail, size_t size, tagScanResultStatus* status)
{
    *status = tagScanResultStatus{};
    if (size < 16 || std::memcmp(tail + size - sizeof(kStatusTag), kStatusTag, sizeof(kStatusTag)) != 0) return false;
    uint32_t length = 0;
    std::memcpy(&length, tail + size - 12, sizeof(length));
    if (length > kMaxDescription || size - 16 < length) return false;
    const uint8_t* flags = tail + size - 16 - length;
    std::memcpy(&status->dwFlags, flags, sizeof(status->dwFlags));
    status->strDevice.assign(reinterpret_cast<const char*>(flags + 4), length);
    status->strDevice.resize(std::strlen(status->strDevice.c_str()));
    return true;
}

tagScanResultStatus CScanResultFile::ReadStatus(const std::string& path)
{
    tagScanResultStatus status;
    OsFile file;
    int64_t size = 0;
    if (file.OpenRead(path) != 0 || file.Seek(0, SEEK_END, &size) != 0) return status;
    // The status is at most its fixed fields and the longest device text.
    std::vector<uint8_t> tail(static_cast<size_t>(std::min<int64_t>(size, 16 + kMaxDescription)));
    size_t done = 0;
    if (tail.empty() || file.Seek(size - static_cast<int64_t>(tail.size()), SEEK_SET) != 0 ||
        file.Read(tail.data(), tail.size(), &done) != 0 || done != tail.size())
        return status;
    ParseStatus(tail.data(), tail.size(), &status);
    return status;
}

tagSaveTime CScanResultFile::LocalNow()
{
    using namespace std::chrono;
    const int64_t unixMs = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    const int64_t utc = kFileTimeUnixEpoch + unixMs * kTicksPerMs;
    int64_t local = 0;
    if (!FileTimeUtcToLocal(utc, &local)) local = utc;
    const int64_t ms = local / kTicksPerMs;
    const int64_t days = ms / kMsPerDay - kDays1601To1970;
    const int64_t inDay = ms % kMsPerDay;
    int64_t y = 0, m = 0, d = 0;
    CivilFromDays(days, &y, &m, &d);
    tagSaveTime t{};
    t.wYear = static_cast<uint16_t>(y);
    t.wMonth = static_cast<uint16_t>(m);
    t.wDay = static_cast<uint16_t>(d);
    // 1970-01-01 was a Thursday.
    t.wDayOfWeek = static_cast<uint16_t>(((days % 7) + 7 + 4) % 7);
    t.wHour = static_cast<uint16_t>(inDay / 3600000);
    t.wMinute = static_cast<uint16_t>(inDay / 60000 % 60);
    t.wSecond = static_cast<uint16_t>(inDay / 1000 % 60);
    t.wMilliseconds = static_cast<uint16_t>(inDay % 1000);
    return t;
}

int64_t CScanResultFile::TimeKey(const tagSaveTime& t)
{
    // Every field is at most 65535, so the sum below stays far inside 64 bits even for
    // nonsense values from a damaged file; such files just sort oddly.
    const int64_t days = DaysFromCivil(t.wYear, t.wMonth, t.wDay) + kDays1601To1970;
    const int64_t ms = ((static_cast<int64_t>(t.wHour) * 60 + t.wMinute) * 60 + t.wSecond) * 1000 + t.wMilliseconds;
    return (days * kMsPerDay + ms) * kTicksPerMs;
}
