// Disk images in the desktop program: File > Create disk image copies a listed device into an
// image file with its rescue map, off the window's thread, and a stopped copy goes on from its
// map; File > Add disk image takes the map of such a copy, and what the map does not call
// rescued then reads as unreadable sectors.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>

#include "CAddImageDlg.h"
#include "CDiskImageDlg.h"
#include "CMainFrame.h"
#include "GuiRig.h"
#include "core/CGlobalParamTable.h"
#include "core/DeviceList.h"
#include "format/rescuemap/RescueMap.h"
#include "os/OsRescueMapFile.h"
#include "volume/IVolumeIO.h"
#include "volume/KVolumeManager.h"

namespace {

// The volume index of the physical device that `rig`'s session lists (the one image added).
int PhysicalDevice(GuiRig& rig)
{
    CGlobalParamTable& session = rig.Frame().Session();
    for (const tagDeviceRow& row : CDeviceList::Rows(session.VolumeManager(), EModule::Advanced))
    {
        if (row.bPhysical) return row.nVolume;
    }
    return -1;
}

} // namespace

TEST(GuiImaging, CopiesADeviceStopsAndGoesOnFromItsMap)
{
    GuiRig rig;
    const std::string source = rig.AddImage("fat16-nested");
    ASSERT_FALSE(source.empty());
    const std::string target = rig.Temp().File("copy.img");
    const std::string map = rig.Temp().File("copy.map");

    bool shown = false;
    rig.OnDialog = [&](QDialog& dialog) {
        auto* imaging = dynamic_cast<CDiskImageDlg*>(&dialog);
        if (!imaging) return int(QDialog::Rejected);
        shown = true;
        EXPECT_TRUE(imaging->SelectVolume(PhysicalDevice(rig)));
        // The image may not be written onto its own source.
        imaging->TargetEdit()->setText(QString::fromStdString(source));
        imaging->MapEdit()->setText(QString::fromStdString(map));
        EXPECT_FALSE(imaging->Start());
        EXPECT_TRUE(rig.SawMessage("it is on the source")) << rig.MessagesText();

        imaging->TargetEdit()->setText(QString::fromStdString(target));
        QSignalSpy finished(imaging, &CDiskImageDlg::Finished);
        // Stopped right after the start: the copy ends at its next read, the map on disk says
        // what is left. (A machine fast enough to copy 32 MB before the stop is seen finishes
        // instead; the second run then has nothing left to do.)
        EXPECT_TRUE(imaging->Start());
        EXPECT_TRUE(imaging->Running());
        EXPECT_FALSE(imaging->StartButton()->isEnabled());
        imaging->Stop();
        EXPECT_TRUE(finished.wait(30000));
        EXPECT_FALSE(imaging->Running());
        RescueMap written;
        std::string why;
        EXPECT_EQ(OsLoadRescueMap(map, &written, &why), 0u) << why;
        if (imaging->Result() == EImagingResult::Cancelled)
        {
            EXPECT_GT(written.BytesWith('?'), 0u);
            EXPECT_TRUE(imaging->ResultText().startsWith("Stopped.")) << imaging->ResultText().toStdString();
        }
        else
            EXPECT_EQ(imaging->Result(), EImagingResult::Complete);

        // Started again with the same map: it goes on and completes.
        EXPECT_TRUE(imaging->Start());
        EXPECT_TRUE(finished.wait(30000));
        EXPECT_EQ(imaging->Result(), EImagingResult::Complete) << imaging->ResultText().toStdString();
        EXPECT_TRUE(imaging->ResultText().startsWith("Done:")) << imaging->ResultText().toStdString();
        EXPECT_EQ(OsLoadRescueMap(map, &written, &why), 0u) << why;
        EXPECT_EQ(written.BytesWith('+'), written.End());
        imaging->reject();
        return int(QDialog::Rejected);
    };
    QAction* create = rig.Frame().MenuAction("Create disk image...");
    ASSERT_NE(create, nullptr);
    create->trigger();
    ASSERT_TRUE(shown);
    const std::vector<uint8_t> original = ReadFileBytes(source);
    ASSERT_EQ(original.size(), 65536u * 512);
    EXPECT_TRUE(ReadFileBytes(target) == original) << "the image holds the source byte for byte";
}

TEST(GuiImaging, AnImageAddedWithItsMapReadsUnrescuedAreasAsUnreadable)
{
    GuiRig rig;
    // The image is added through the dialog, not by the rig.
    TempDir dir;
    const std::string image = dir.File("failing.img");
    ASSERT_TRUE(UnpackFixtureImage("fat16-nested", image));
    const std::string map = dir.File("failing.map");
    RescueMap rescue(65536u * 512);
    rescue.Set(0, rescue.End(), '+');
    rescue.Set(4096u * 512, 8 * 512, '-');
    ASSERT_EQ(OsSaveRescueMap(map, rescue, "test"), 0u);
    const std::string notAMap = dir.File("notes.txt");
    WriteFileBytes(notAMap, {'h', 'e', 'l', 'l', 'o', '\n'});

    int asked = 0;
    rig.OnDialog = [&](QDialog& dialog) {
        auto* add = dynamic_cast<CAddImageDlg*>(&dialog);
        if (!add) return int(QDialog::Rejected);
        ++asked;
        add->ImageEdit()->setText(QString::fromStdString(image));
        // A file that is no map is refused, and the dialog stays.
        add->MapEdit()->setText(QString::fromStdString(notAMap));
        add->accept();
        EXPECT_EQ(add->result(), int(QDialog::Rejected));
        EXPECT_TRUE(rig.SawMessage("cannot read the rescue map")) << rig.MessagesText();
        add->MapEdit()->setText(QString::fromStdString(map));
        add->accept();
        return add->result();
    };
    QAction* addImage = rig.Frame().MenuAction("Add disk image...");
    ASSERT_NE(addImage, nullptr);
    addImage->trigger();
    ASSERT_EQ(asked, 1);
    const int device = PhysicalDevice(rig);
    ASSERT_GE(device, 0) << rig.MessagesText();
    IVolumeIO* io = rig.Frame().Session().VolumeManager().GetVolumeIO(static_cast<size_t>(device));
    ASSERT_NE(io, nullptr);
    std::vector<uint8_t> sector(512);
    EXPECT_EQ(io->ReadSectors(4095, sector.data(), 1), 0u);
    EXPECT_NE(io->ReadSectors(4096, sector.data(), 1), 0u);
    EXPECT_NE(io->ReadSectors(4100, sector.data(), 4), 0u);
    EXPECT_EQ(io->ReadSectors(4104, sector.data(), 1), 0u);
}
