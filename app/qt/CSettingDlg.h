#pragma once
// "Setting": the two switches of the volume discovery (dynamic-disk databases, partition
// tables and floppies). They hold for this run of the program and apply at the next listing
// of the devices.
#include <QDialog>

class QCheckBox;

class CSettingDlg final : public QDialog
{
    Q_OBJECT
public:
    explicit CSettingDlg(QWidget* parent);
    QCheckBox* DynamicBox() const { return m_pDynamic; }
    QCheckBox* BasicBox() const { return m_pBasic; }

public slots:
    void accept() override;

private:
    QCheckBox* m_pDynamic = nullptr;
    QCheckBox* m_pBasic = nullptr;
};
