#pragma once
// "View as Text": the file's data in a read-only text view, as formatted rich text when it is
// rich text, else as plain text in its guessed encoding.
#include <QDialog>
#include <cstdint>
#include <vector>

class IOutStream;
class QPlainTextEdit;
class QTextEdit;
class QLabel;

class CTextViewDlg : public QDialog
{
    Q_OBJECT
public:
    explicit CTextViewDlg(QWidget* parent = nullptr);
    /// Reads the whole stream (the caller has checked the size limit). 0, or the read error
    /// (what could be read is shown, with a note).
    uint32_t Load(IOutStream& stream);
    /// Shows `bytes` as the file's data.
    void Show(const std::vector<uint8_t>& bytes);
    bool ShowsRichText() const { return m_bRich; }
    QString ShownText() const;

private:
    QPlainTextEdit* m_pPlain = nullptr;
    QTextEdit* m_pRich = nullptr;
    QLabel* m_pNote = nullptr;
    bool m_bRich = false;
};
