#pragma once
// "About Vellumar": the icon, the version, what the program does and the licence.
#include <QDialog>

class QLabel;

class CAboutDlg final : public QDialog
{
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent);
    /// The text shown (version and licence included).
    QString Text() const;

private:
    QLabel* m_pText = nullptr;
};
