#include "SessionRig.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "fs/KNodeTree.h"
#include "os/OsDeviceTable.h"
#include "os/OsFile.h"
#include "raw/KRawScanMgr.h"
#include "volume/KVolumeManager.h"

void DiskImage::Partition(int slot, uint8_t type, uint32_t first, const std::vector<uint8_t>& content, uint32_t sectors)
{
    if (sectors == 0) sectors = static_cast<uint32_t>(content.size() / 512);
    uint8_t* e = Bytes.data() + 446 + 16 * slot;
    e[4] = type;
    std::memcpy(e + 8, &first, 4);
    std::memcpy(e + 12, &sectors, 4);
    Bytes[510] = 0x55;
    Bytes[511] = 0xAA;
    std::copy(content.begin(), content.end(), Bytes.begin() + static_cast<long>(uint64_t(first) * 512));
}

DiskImage MakeTwoVolumeDisk()
{
    DiskImage disk(kBlankStart + kBlankSectors + 64);
    disk.Partition(0, 0x06, static_cast<uint32_t>(kFatStart), LoadFixtureImage("fat16-nested"));
    std::vector<uint8_t> ntfs = LoadFixtureImage("ntfs-basic");
    disk.Partition(1, 0x07, static_cast<uint32_t>(kNtfsStart), ntfs);
    disk.Partition(2, 0x83, static_cast<uint32_t>(kBlankStart), {}, static_cast<uint32_t>(kBlankSectors));
    return disk;
}

SessionRig::SessionRig()
{
    ::setenv("VLM_RESUME_DIR", ResumeFolder().c_str(), 1);
    // Only the types a test adds itself: no plug-ins from the build folder.
    KRawScanMgr::OverrideProgramFolder(Dir.Path());
    ::unsetenv("VLM_PLUGIN_DIR");
    OsDeviceTable::Instance().ClearImages();
    OsDeviceTable::Instance().SetMachineDevicesEnabled(false);
    Session = std::make_unique<CGlobalParamTable>(&Port, &Clock);
    Launcher = std::make_unique<CRecoveryLauncher>(*Session);
}

SessionRig::~SessionRig()
{
    Launcher.reset();
    Session.reset();
    KVolumeManager().ClearVolumes();
    OsDeviceTable::Instance().ClearImages();
    KRawScanMgr::OverrideProgramFolder("");
    ::unsetenv("VLM_RESUME_DIR");
}

void SessionRig::Attach(const std::vector<const DiskImage*>& disks)
{
    Session->DropFileSystems();
    KVolumeManager().ClearVolumes();
    OsDeviceTable::Instance().ClearImages();
    for (size_t i = 0; i < disks.size(); ++i)
    {
        const std::string path = Dir.File("disk" + std::to_string(i) + ".img");
        WriteFileBytes(path, disks[i]->Bytes);
        OsDeviceTable::Instance().RegisterImage(path);
    }
    Launcher->RefreshDevices();
}

int SessionRig::FindVolume(int32_t type, uint64_t start, uint32_t disk) const
{
    KVolumeManager& volumes = Session->VolumeManager();
    for (size_t i = 0; i < volumes.GetVolumeCount(); ++i)
    {
        const tagVolumeInfo& v = volumes.GetVolumeInfo(i);
        if (v.VolumeType == type && !v.Extents.empty() && v.Extents[0].DeviceStart == start &&
            v.Extents[0].DeviceNumber == disk)
            return static_cast<int>(i);
    }
    return -1;
}

std::vector<std::string> SessionRig::TreeListing(uint8_t kindMask, bool leavesOnly)
{
    std::vector<std::string> out;
    KNodeTree& tree = Session->GetCurrentTree();
    std::function<void(const tagTreeNode*, const std::string&, int)> walk = [&](const tagTreeNode* node,
                                                                                const std::string& prefix, int depth) {
        for (const tagTreeNode* c = KNodeTree::GetFirstChild(node); c && depth < 64; c = KNodeTree::GetNextSibling(c))
        {
            const std::string path = prefix + tree.GetName(c);
            if (c->pRecord && (c->pRecord->byKind & kindMask) && !(leavesOnly && c->pFirstChild)) out.push_back(path);
            walk(c, path + "/", depth + 1);
        }
    };
    if (tree.GetRoot()) walk(tree.GetRoot(), "", 0);
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::string> SessionRig::ResumeFiles() const { return OsFindFiles(ResumeFolder() + "/*"); }
