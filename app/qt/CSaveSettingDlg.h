#pragma once
// "Recovery Path Setting": the folder the selected files are written to, with the free space
// there and the space the files need. OK is accepted only for a folder with room that does not
// lie on what is being recovered; a missing folder is created when the user agrees.
#include <cstdint>

#include <QDialog>

class CGlobalParamTable;
class QLabel;
class QLineEdit;

class CSaveSettingDlg final : public QDialog
{
    Q_OBJECT
public:
    /// `lastPath` empty: the home folder's "Recovered files" is suggested.
    CSaveSettingDlg(CGlobalParamTable& session, uint64_t selectedBytes, uint32_t selectedCount, const QString& lastPath,
                    QWidget* parent);
    /// The folder suggested when none was used yet.
    static QString SuggestedFolder();

    QString Path() const;
    QLineEdit* PathEdit() const { return m_pPath; }
    QString FreeText() const;
    QString RequiredText() const;

public slots:
    void accept() override;

private:
    void UpdateSpace();
    void Browse();

    CGlobalParamTable& m_Session;
    uint64_t m_u64Bytes;
    uint32_t m_dwCount;
    QLineEdit* m_pPath = nullptr;
    QLabel* m_pFree = nullptr;
    QLabel* m_pRequired = nullptr;
};
