#pragma once
// Device objects are never created or deleted directly: KDeviceManager creates the device
// implementation of this platform and registers it in g_DeviceList, which owns it until
// DestroyDevice or program exit.
#include <vector>

#include "device/IDeviceIO.h"

class KDeviceIOVector : public std::vector<IDeviceIO*>
{
public:
    KDeviceIOVector() = default;
    KDeviceIOVector(const KDeviceIOVector&) = delete;
    KDeviceIOVector& operator=(const KDeviceIOVector&) = delete;
    /// Deletes every device still held, in list order.
    virtual ~KDeviceIOVector();
};

extern KDeviceIOVector g_DeviceList;

class KDeviceManager
{
public:
    virtual ~KDeviceManager() = default;
    /// A new closed device appended to g_DeviceList, or null (unknown platform, no memory).
    IDeviceIO* CreateDevice();
    /// Deletes `device` if g_DeviceList holds it (true), else does nothing (false).
    bool DestroyDevice(IDeviceIO* device);
};
