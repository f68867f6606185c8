#pragma once
// The start page: the four recovery modules with their descriptions, the recovery wizard and
// the information panel with the "Setting" button.
#include <QWidget>

#include "core/RecoveryModule.h"

class CGlobalParamTable;
class QPushButton;

class CStartPageDlg final : public QWidget
{
    Q_OBJECT
public:
    CStartPageDlg(CGlobalParamTable& session, QWidget* parent);

    /// The button of module `module`.
    QPushButton* ModuleButton(EModule module) const { return ModuleButton(static_cast<int>(module)); }
    /// The button in row `row`: the modules' in their order (0..3), the wizard's (4).
    QPushButton* ModuleButton(int row) const;
    QPushButton* SettingButton() const { return m_pSetting; }
    /// Opens the "Setting" dialog.
    void OpenSetting();

signals:
    /// A module (1003..1006) or the wizard (1007) was chosen.
    void Command(int command);

private:
    CGlobalParamTable& m_Session;
    QPushButton* m_Buttons[5] = {};
    QPushButton* m_pSetting = nullptr;
};
