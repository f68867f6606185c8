#pragma once
// "View as Audio/Video": plays the temporary copy of the file's head. The dialog owns the copy
// and deletes it when it goes away. A build without a media player says so plainly.
#include <QDialog>
#include <memory>

class CPreviewTempFile;
class QLabel;
class QMediaPlayer;

class CMediaViewDlg : public QDialog
{
    Q_OBJECT
public:
    CMediaViewDlg(std::unique_ptr<CPreviewTempFile> copy, QWidget* parent = nullptr);
    ~CMediaViewDlg() override;
    /// True when this build can play media at all.
    static bool HasPlayer();
    QString Status() const;

private:
    std::unique_ptr<CPreviewTempFile> m_pCopy;
    QLabel* m_pStatus = nullptr;
    QMediaPlayer* m_pPlayer = nullptr;
};
