#pragma once
// A picture drawn as large as the widget allows without distortion, centred on white; never
// enlarged beyond its own size. Used by the image dialog and the quick previewer.
#include <QImage>
#include <QString>
#include <QWidget>

class CFitImageView : public QWidget
{
    Q_OBJECT
public:
    explicit CFitImageView(QWidget* parent = nullptr);
    void SetImage(const QImage& image);
    /// Shows a centred text instead of a picture.
    void SetText(const QString& text);
    const QImage& Image() const { return m_Image; }
    const QString& Text() const { return m_strText; }

signals:
    void DoubleClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QImage m_Image;
    QString m_strText;
};
