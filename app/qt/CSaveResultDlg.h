#pragma once
// "Save Scan Result": the path of the file to write, with a chooser and the red warning.
#include <QDialog>

class QLineEdit;

class CSaveResultDlg final : public QDialog
{
    Q_OBJECT
public:
    explicit CSaveResultDlg(QWidget* parent);
    QLineEdit* PathEdit() const { return m_pPath; }
    QString Path() const;

private:
    QLineEdit* m_pPath = nullptr;
};
