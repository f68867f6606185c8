#pragma once
// "Recovery Path Setting": the folder the selected files are written to, with the free space
// there and the space the files need. OK is accepted only for an existing folder with room.
#include <cstdint>

#include <QDialog>

class QLabel;
class QLineEdit;

class CSaveSettingDlg final : public QDialog
{
    Q_OBJECT
public:
    CSaveSettingDlg(uint64_t selectedBytes, uint32_t selectedCount, const QString& lastPath, QWidget* parent);

    QString Path() const;
    QLineEdit* PathEdit() const { return m_pPath; }
    QString FreeText() const;
    QString RequiredText() const;

public slots:
    void accept() override;

private:
    void UpdateSpace();
    void Browse();

    uint64_t m_u64Bytes;
    uint32_t m_dwCount;
    QLineEdit* m_pPath = nullptr;
    QLabel* m_pFree = nullptr;
    QLabel* m_pRequired = nullptr;
};
