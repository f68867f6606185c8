#pragma once
// "Find files": searches the file list by name; "Find Next" goes on from the file shown last.
// The text is remembered between openings.
#include <functional>

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;

class CFindFileDlg final : public QDialog
{
    Q_OBJECT
public:
    /// Searches for `text`; false when nothing matched.
    using FindNext = std::function<bool(const QString& text, bool matchCase, bool matchWord)>;

    CFindFileDlg(FindNext find, QWidget* parent);

    QLineEdit* NameEdit() const { return m_pName; }
    QCheckBox* MatchCaseBox() const { return m_pCase; }
    QCheckBox* MatchWordBox() const { return m_pWord; }
    /// "&Find Next"; the search's answer.
    bool Next();

private:
    FindNext m_Find;
    QLineEdit* m_pName = nullptr;
    QCheckBox* m_pCase = nullptr;
    QCheckBox* m_pWord = nullptr;
};
