#pragma once
// The start page: the four recovery modules with their descriptions, the recovery wizard and
// the information panel with the "Setting" button.
#include <QWidget>

class CGlobalParamTable;
class QPushButton;

class CStartPageDlg final : public QWidget
{
    Q_OBJECT
public:
    CStartPageDlg(CGlobalParamTable& session, QWidget* parent);

    /// The button of module `module` (0..3), or the wizard's for 4.
    QPushButton* ModuleButton(int module) const;
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
