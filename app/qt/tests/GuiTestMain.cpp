#include <gtest/gtest.h>

#include <QApplication>

#include "os/OsDeviceTable.h"

int main(int argc, char** argv)
{
    // Headless, and never the disks of the machine the tests run on.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    OsDeviceTable::Instance().SetMachineDevicesEnabled(false);
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
