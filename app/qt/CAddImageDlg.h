#pragma once
// "Add disk image": the image file and, optionally, the rescue map of the run that imaged it
// (the areas the map does not call rescued then read as unreadable sectors). OK checks both
// before the image is listed.
#include <QDialog>

class QLineEdit;

class CAddImageDlg final : public QDialog
{
    Q_OBJECT
public:
    explicit CAddImageDlg(QWidget* parent = nullptr);

    QLineEdit* ImageEdit() const { return m_pImage; }
    QLineEdit* MapEdit() const { return m_pMap; }
    QString ImagePath() const;
    QString MapPath() const;

    /// Runs the dialog; true with the chosen paths (map empty when none) after OK.
    static bool Ask(QWidget* parent, QString* image, QString* map);

    void accept() override;

private:
    QLineEdit* m_pImage = nullptr;
    QLineEdit* m_pMap = nullptr;
};
