#pragma once
// The "Case Study" page: the program's help, worked examples of the common losses.
#include <QWidget>

class QTextBrowser;

class CHelpViewPage final : public QWidget
{
    Q_OBJECT
public:
    explicit CHelpViewPage(QWidget* parent);
    QTextBrowser* Browser() const { return m_pBrowser; }

private:
    QTextBrowser* m_pBrowser = nullptr;
};
