#pragma once
// "View as Image": the decoded picture, zoomed to fit the window.
#include <QDialog>

class CFitImageView;

class CImageViewDlg : public QDialog
{
    Q_OBJECT
public:
    explicit CImageViewDlg(const QImage& image, QWidget* parent = nullptr);
    CFitImageView* View() const { return m_pView; }

private:
    CFitImageView* m_pView = nullptr;
};
