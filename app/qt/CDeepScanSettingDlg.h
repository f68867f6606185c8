#pragma once
// "Deep Scan Recovery": which file types the deep scan looks for. OK is accepted only while at
// least one type is ticked.
#include <QDialog>

class CFileTypeTree;
class CFileTypeTreeWidget;
class IUserPort;

class CDeepScanSettingDlg final : public QDialog
{
    Q_OBJECT
public:
    CDeepScanSettingDlg(CFileTypeTree& types, IUserPort& port, QWidget* parent);
    CFileTypeTreeWidget* Tree() const { return m_pTree; }

public slots:
    void accept() override;

private:
    CFileTypeTree& m_Types;
    IUserPort& m_Port;
    CFileTypeTreeWidget* m_pTree = nullptr;
};
