#pragma once
// The list of devices and volumes of the device page and the wizard: columns and order by
// recovery module, the volumes of a disk indented below it. Each row carries its volume's
// index in the session's volume list.
#include <QTreeWidget>

#include "core/RecoveryModule.h"

class KVolumeManager;

class CDeviceListCtrl final : public QTreeWidget
{
    Q_OBJECT
public:
    explicit CDeviceListCtrl(QWidget* parent);

    /// Lists the volumes `volumes` holds now, in the layout of `module`.
    void Fill(KVolumeManager& volumes, EModule module);
    /// The volume index of the selected row; -1 without a selection.
    int SelectedVolume() const;
    /// True when the selected row is a physical device.
    bool SelectedIsPhysical() const;
    /// Selects the row of volume `volume`; false when no row shows it.
    bool SelectVolume(int volume);
    /// The display name ("Device" column) of the row of volume `volume`.
    QString DeviceText(int volume) const;
    /// The type name of the row of volume `volume`.
    QString TypeText(int volume) const;

private:
    QTreeWidgetItem* ItemOf(int volume) const;
};
