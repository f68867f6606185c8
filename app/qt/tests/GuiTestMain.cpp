#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

#include "core/DeviceAccess.h"

int main(int argc, char** argv)
{
    // Headless, and never the disks of the machine the tests run on.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Remembered settings (window size, last folder) go to a folder of this run, not to the
    // user's, and no two test processes share one.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    DeviceAccess::SetMachineDisks(false);
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
