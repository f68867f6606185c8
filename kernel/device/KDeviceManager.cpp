#include "device/KDeviceManager.h"

#include <algorithm>
#include <new>

#include "base/VlmTrace.h"
#include "device/KDeviceIOPosix.h"

// Constant-initialised, so it exists before and outlives every dynamically initialised global
// (the volume list returns its devices here while it is destroyed).
constinit KDeviceIOVector g_DeviceList;

KDeviceIOVector::~KDeviceIOVector()
{
    for (IDeviceIO* device : *this) delete device;
    clear();
}

IDeviceIO* KDeviceManager::CreateDevice()
{
    IDeviceIO* device = new (std::nothrow) KDeviceIOPosix();
    if (!device) return nullptr;
    try
    {
        g_DeviceList.push_back(device);
    }
    catch (const std::bad_alloc&)
    {
        delete device;
        return nullptr;
    }
    return device;
}

bool KDeviceManager::DestroyDevice(IDeviceIO* device)
{
    VlmTrace("%s:%8lx\n", "DestroyDevice", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(device)));
    const auto it = std::find(g_DeviceList.begin(), g_DeviceList.end(), device);
    if (it == g_DeviceList.end()) return false;
    delete *it;
    g_DeviceList.erase(it);
    return true;
}
