#include "volume/KVolumeManager.h"

#include <algorithm>
#include <new>

#include "base/VlmErrors.h"
#include "base/VlmTrace.h"
#include "device/KDeviceManager.h"
#include "volume/DriveMatch.h"
#include "format/FileSystemType.h"
#include "volume/KBasicVolumeIO.h"
#include "volume/KMirrorVolumeIO.h"
#include "volume/KRaid5VolumeIO.h"
#include "volume/KSimpleVolumeIO.h"
#include "volume/KStripeVolumeIO.h"
#include "volume/LdmReader.h"
#include "volume/PartitionTable.h"
#include "volume/SectorSizeProbe.h"
#include "volume/VolumeDiscovery.h"
#include "volume/VolumeLabel.h"
#include "volume/VolumeTypes.h"

bool g_bScanBasic = true;
bool g_bScanDynamic = true;

namespace {

// The process-wide volume list. Destroying it deletes the volume objects, which return their
// devices to the device list; it is therefore made after the device list and destroyed before it.
class VolumeInfoArray : public std::vector<tagVolumeInfo>
{
public:
    VolumeInfoArray();
    VolumeInfoArray(const VolumeInfoArray&) = delete;
    VolumeInfoArray& operator=(const VolumeInfoArray&) = delete;
    ~VolumeInfoArray();
};

VolumeInfoArray::VolumeInfoArray()
{
    // Touch the device list so that it is constructed first and hence destroyed after us.
    (void)g_DeviceList.size();
}

VolumeInfoArray::~VolumeInfoArray()
{
    for (tagVolumeInfo& record : *this)
    {
        delete record.VolumeIO;
        record.VolumeIO = nullptr;
    }
}

VolumeInfoArray g_VolumeList;

constexpr int64_t kProgressMax = 194;
constexpr uint32_t kFloppyCount = 2;
constexpr uint32_t kHardDiskCount = 64;

void DeleteVolumeObjects(std::vector<IVolumeIO*>& objects)
{
    for (IVolumeIO*& object : objects)
    {
        delete object;
        object = nullptr;
    }
}

// Step 11: label and mount point of one record, read through its temporary volume object.
void NameVolume(tagVolumeInfo& record, IVolumeIO* volume, std::vector<tagDrivePair>* pairs)
{
    uint32_t type = 0;
    if (volume->GetVolumeType(&type) == ERROR_SUCCESS && type == VOLUME_PHYSICAL) return;
    std::string label;
    if (GetVolumeLabel(volume, &label)) record.Label = label;
    tagDiskGeometry geometry;
    if (volume->GetGeometry(&geometry) != ERROR_SUCCESS || geometry.BytesPerSector < 512) return;
    std::vector<uint8_t> sector(geometry.BytesPerSector);
    if (volume->ReadSectors(0, sector.data(), 1) != ERROR_SUCCESS) return;
    uint32_t serial = 0;
    if (!BootSectorSerial(ByteView(sector).first(512), &serial)) return;
    // Floppies keep "A:" and "B:".
    if (!record.Extents.empty() && record.Extents.front().DeviceKind == DEVICE_FLOPPY) return;
    std::string drive;
    if (TakeDriveForSerial(serial, pairs, &drive)) record.Drive = drive;
}

// Step 7: the file system of each dynamic volume, from its sector 0. A volume whose objects
// cannot be made is dropped; one whose sector 0 cannot be read is typed -1.
void TypeDynamicVolumes(std::vector<tagVolumeInfo>* dynamic)
{
    std::vector<tagVolumeInfo> kept;
    for (tagVolumeInfo& record : *dynamic)
    {
        IVolumeIO* volume = KVolumeManager::CreateVolumeIO(record, static_cast<uint32_t>(kept.size()));
        if (!volume) continue;
        std::vector<uint8_t> sector(512, 0);
        record.PartitionType = FS_TYPE_NONE;
        if (volume->ReadSectors(0, sector.data(), 1) == ERROR_SUCCESS)
            record.PartitionType = FileSystemTypeFromBoot(sector);
        VlmTrace("Dynamic volume PartitionType:%.2x Capacity:%.2fMB\n", static_cast<unsigned>(record.PartitionType),
                 static_cast<double>(record.SectorCount) / 2048.0);
        delete volume;
        kept.push_back(std::move(record));
    }
    *dynamic = std::move(kept);
}

} // namespace

IVolumeIO* KVolumeManager::CreateVolumeIO(const tagVolumeInfo& record, uint32_t index)
{
    IVolumeIO* volume = nullptr;
    switch (record.VolumeType)
    {
    case VOLUME_BASIC:
    case VOLUME_DELETED:
    case VOLUME_PHYSICAL: volume = new (std::nothrow) KBasicVolumeIO(); break;
    case VOLUME_SIMPLE: volume = new (std::nothrow) KSimpleVolumeIO(); break;
    case VOLUME_STRIPED: volume = new (std::nothrow) KStripeVolumeIO(); break;
    case VOLUME_SPANNED: volume = new (std::nothrow) KSpannedVolumeIO(); break;
    case VOLUME_MIRRORED: volume = new (std::nothrow) KMirrorVolumeIO(); break;
    case VOLUME_RAID5: volume = new (std::nothrow) KRaid5VolumeIO(); break;
    default: return nullptr;
    }
    if (volume && !volume->Open(&record, index))
    {
        delete volume;
        volume = nullptr;
    }
    return volume;
}

size_t KVolumeManager::GetVolumeCount() const { return g_VolumeList.size(); }
tagVolumeInfo& KVolumeManager::GetVolumeInfo(size_t i) { return g_VolumeList.at(i); }
IVolumeIO* KVolumeManager::GetVolumeIO(size_t i)
{
    return i < g_VolumeList.size() ? g_VolumeList[i].VolumeIO : nullptr;
}
const std::vector<tagVolumeInfo>& KVolumeManager::Records() const { return g_VolumeList; }

uint32_t KVolumeManager::AddRecord(const tagVolumeInfo& record)
{
    g_VolumeList.push_back(record);
    return static_cast<uint32_t>(g_VolumeList.size() - 1);
}

void KVolumeManager::RemoveRecord(size_t i)
{
    if (i >= g_VolumeList.size()) return;
    delete g_VolumeList[i].VolumeIO;
    g_VolumeList.erase(g_VolumeList.begin() + static_cast<std::ptrdiff_t>(i));
}

void KVolumeManager::ClearVolumes()
{
    for (tagVolumeInfo& record : g_VolumeList)
    {
        delete record.VolumeIO;
        record.VolumeIO = nullptr;
    }
    g_VolumeList.clear();
}

void KVolumeManager::Report(int64_t* counter)
{
    ++*counter;
    SetValue(*counter);
}

void KVolumeManager::ScanVolumes()
{
    ClearVolumes();
    SetStage(EStage::Discover);
    SetMaxValue(kProgressMax);
    BeginProgress();
    int64_t counter = 0;
    KDeviceManager manager;
    std::vector<tagVolumeInfo> basic, dynamic, physical;
    std::vector<IDeviceIO*> fixed;
    IDeviceIO* device = manager.CreateDevice();

    if (device && g_bScanBasic)
    {
        for (uint32_t n = 0; n < kFloppyCount; ++n)
        {
            device->Close();
            if (device->Open(DEVICE_FLOPPY, n) == ERROR_SUCCESS) ParseBasicDisk(device, &basic);
            Report(&counter);
        }
    }
    for (uint32_t n = 0; device && n < kHardDiskCount; ++n)
    {
        device->Close();
        if (device->Open(DEVICE_HARDDISK, n) == ERROR_SUCCESS)
        {
            AdoptImageSectorSize(device);
            // A dynamic disk's volumes come from its database. On MBR the whole disk is the
            // database's; on GPT only its LDM partitions are, and other GPT partitions (an EFI
            // system partition, for one) are still basic volumes.
            // A GPT disk whose private header cannot be read yields no dynamic volume: its LDM
            // partitions are then listed as basic volumes, so that they can still be searched.
            DynamicDiskKind dynamicKind = g_bScanDynamic ? DynamicKindOf(device) : DynamicDiskKind::None;
            tagDiskRecord privHead;
            if (dynamicKind == DynamicDiskKind::Gpt && !ReadPrivHead(device, &privHead))
                dynamicKind = DynamicDiskKind::None;
            if (g_bScanBasic && dynamicKind != DynamicDiskKind::Mbr)
                ParseBasicDisk(device, &basic, dynamicKind == DynamicDiskKind::Gpt);
            tagVolumeInfo record;
            if (MakePhysicalDeviceRecord(device, &record)) physical.push_back(record);
        }
        Report(&counter);
    }
    for (uint32_t n = 0; device && n < kHardDiskCount; ++n)
    {
        device->Close();
        if (device->Open(DEVICE_HARDDISK, n) == ERROR_SUCCESS && !device->IsRemovable())
        {
            fixed.push_back(device);
            device = manager.CreateDevice(); // without one the probing ends here
            continue;
        }
        Report(&counter);
    }
    if (g_bScanDynamic) ParseDynamicDisks(fixed, &dynamic, this, &counter);
    TypeDynamicVolumes(&dynamic);

    for (auto* list : {&physical, &basic, &dynamic})
        for (tagVolumeInfo& record : *list) g_VolumeList.push_back(std::move(record));
    NameVolumes();

    for (size_t i = 0; i < g_VolumeList.size(); ++i)
        g_VolumeList[i].VolumeIO = CreateVolumeIO(g_VolumeList[i], static_cast<uint32_t>(i));
    for (IDeviceIO* d : fixed)
    {
        d->Close();
        manager.DestroyDevice(d);
    }
    if (device)
    {
        device->Close();
        manager.DestroyDevice(device);
    }
    g_VolumeList.erase(std::remove_if(g_VolumeList.begin(), g_VolumeList.end(),
                                      [](const tagVolumeInfo& r) { return r.VolumeIO == nullptr; }),
                       g_VolumeList.end());
    for (tagVolumeInfo& record : g_VolumeList)
    {
        std::string info;
        record.VolumeIO->GetDescription(&info);
        VlmTrace("Drive:%s PartitionType:%d Label:%s Capacity:%.2fMB Info:%s\n", record.Drive.c_str(),
                 record.PartitionType, record.Label.c_str(), static_cast<double>(record.SectorCount) / 2048.0,
                 info.c_str());
    }
    EndProgress();
}

void KVolumeManager::NameVolumes()
{
    // Temporary objects, in list order; records that cannot be opened leave the list.
    std::vector<IVolumeIO*> objects;
    VolumeInfoArray::iterator it = g_VolumeList.begin();
    while (it != g_VolumeList.end())
    {
        IVolumeIO* volume = CreateVolumeIO(*it, static_cast<uint32_t>(it - g_VolumeList.begin()));
        if (!volume)
        {
            it = g_VolumeList.erase(it);
            continue;
        }
        objects.push_back(volume);
        ++it;
    }
    std::vector<tagDrivePair> pairs = ListDrivePairs();
    for (size_t i = 0; i < g_VolumeList.size(); ++i) NameVolume(g_VolumeList[i], objects[i], &pairs);
    VlmTrace("surplus letter count:%d\n", static_cast<int>(pairs.size()));
    DeleteVolumeObjects(objects);
}

const tagVolumeInfo* VolumeRecordOf(const IVolumeIO* volume)
{
    if (!volume) return nullptr;
    for (const tagVolumeInfo& record : g_VolumeList)
        if (record.VolumeIO == volume) return &record;
    return nullptr;
}

std::string VolumeRecordLabel(IVolumeIO* volume)
{
    const tagVolumeInfo* record = VolumeRecordOf(volume);
    return record ? record->Label : std::string();
}
