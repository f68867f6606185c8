#include <gtest/gtest.h>

#include "os/OsDeviceTable.h"

int main(int argc, char** argv)
{
    // Tests never look at the disks of the machine they run on.
    OsDeviceTable::Instance().SetMachineDevicesEnabled(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
