// vlm: the command-line front end. A thin layer: it parses options, registers disk images
// with the device layer and prints what the engine reports.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>
#include <vector>

#include "base/FormatSize.h"
#include "base/VlmErrors.h"
#include "device/KDeviceManager.h"
#include "os/OsDeviceTable.h"

namespace {

struct DeviceOptions
{
    std::vector<std::string> images;
    std::vector<std::string> floppies;
    bool noMachineDevices = false;
};

void RegisterDevices(const DeviceOptions& opts)
{
    OsDeviceTable& table = OsDeviceTable::Instance();
    for (const std::string& image : opts.images)
        table.RegisterImage(image);
    for (const std::string& floppy : opts.floppies)
        table.RegisterFloppyImage(floppy);
    table.SetMachineDevicesEnabled(!opts.noMachineDevices);
}

void PrintDevice(uint32_t kind, uint32_t number)
{
    KDeviceManager manager;
    IDeviceIO* dev = manager.CreateDevice();
    if (!dev)
        return;
    const uint32_t err = dev->Open(kind, number);
    if (err == ERROR_SUCCESS)
    {
        tagDiskGeometry geo;
        std::string text;
        dev->GetGeometry(&geo);
        dev->GetDescription(&text);
        const auto bytes = static_cast<int64_t>(geo.TotalSectors * geo.BytesPerSector);
        std::printf("%s %u  %-40s %10s  C/H/S %u/%u/%u  %u bytes/sector  %llu sectors%s\n",
                    kind == DEVICE_FLOPPY ? "floppy" : "disk", number, text.c_str(), FormatSize(bytes).c_str(),
                    geo.Cylinders, geo.TracksPerCylinder, geo.SectorsPerTrack, geo.BytesPerSector,
                    static_cast<unsigned long long>(geo.TotalSectors), dev->IsRemovable() ? "  removable" : "");
        dev->Close();
    }
    else
    {
        OsDeviceEntry entry;
        if (OsDeviceTable::Instance().Lookup(kind, number, &entry))
            std::printf("%s %u  %s: cannot be opened for reading (error %u)\n",
                        kind == DEVICE_FLOPPY ? "floppy" : "disk", number, entry.Path.c_str(), err);
    }
    manager.DestroyDevice(dev);
}

int ListDevices()
{
    for (uint32_t n = 0; n < 2; ++n)
        PrintDevice(DEVICE_FLOPPY, n);
    const uint32_t disks = OsDeviceTable::Instance().HardDiskCount();
    for (uint32_t n = 0; n < disks && n < 64; ++n)
        PrintDevice(DEVICE_HARDDISK, n);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    CLI::App app{"Vellumar data recovery (read-only)", "vlm"};
    app.set_version_flag("--version", std::string("vlm ") + VLM_VERSION);
    DeviceOptions devices;
    app.add_option("--image", devices.images, "Disk image to treat as a physical drive (repeatable)");
    app.add_option("--floppy", devices.floppies, "Floppy image (drive A:, then B:)");
    app.add_flag("--no-machine-devices", devices.noMachineDevices, "Do not list this machine's own disks");
    app.require_subcommand(1);

    CLI::App* cmdDevices = app.add_subcommand("devices", "List devices and volumes");

    try
    {
        app.parse(argc, argv);
    }
    catch (const CLI::ParseError& e)
    {
        const int code = app.exit(e);
        return code == 0 ? 0 : 2;
    }
    RegisterDevices(devices);
    if (cmdDevices->parsed())
        return ListDevices();
    return 2;
}
