#pragma once
// The quick previewer beside the file list: the selected file is copied out by its file system
// into a private temporary folder and shown as a picture scaled on white, or, for the office
// documents of the document table and PDF files, rendered in the background ("Loading...", a
// double click cancels); audio and video get a play button; any other file shows its head as
// text when it reads as text, else as a hex dump. The copy is deleted when the next file is
// shown or the pane goes away.
//
// CQuickPreviewLink is the link that opens and closes the pane.
#include <QLabel>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "core/PreviewQuick.h"

class CDocumentRenderer;
class CFitImageView;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;
class CPreviewTempFile;
class IFileSystem;
struct tagFileNode;

class CQuickPreviewPane : public QWidget
{
    Q_OBJECT
public:
    /// What the pane holds.
    enum class EShows
    {
        Nothing,
        Image,
        Document, // rendered or being rendered
        Text,
        Hex,
        Media,  // a play button, or the words saying there is no player
        Notice, // a message instead of the file
    };
    /// Bytes of the head of a file shown as text or hex.
    static constexpr int64_t kTextHead = 64 * 1024;
    static constexpr int64_t kHexHead = 4096;

    explicit CQuickPreviewPane(QWidget* parent = nullptr);
    ~CQuickPreviewPane() override;

    /// Shows `record` (null clears the pane).
    void ShowFile(IFileSystem* fs, const tagFileNode* record, const std::string& name);
    void Clear();

    /// The quick previewer's choice for the file (picture, document or neither).
    EQuickPreview Shown() const { return m_Shown; }
    /// What the pane holds now.
    EShows Showing() const { return m_Showing; }
    /// The text or hex dump shown (empty otherwise).
    QString ShownText() const;
    /// Plays the copy of an audio or video file; set by the page (the media dialog).
    void SetPlayer(std::function<void()> play) { m_Play = std::move(play); }
    bool Rendering() const;
    CFitImageView* View() const { return m_pView; }

signals:
    /// A document finished rendering (or failed: then the "not supported" text is shown).
    void RenderFinished();

private:
    void ShowUnsupported();
    void ShowNotice(const QString& text);
    void ShowHead(const QString& path);
    void ShowMedia();
    void OnRendered(const QImage& image);

    QStackedWidget* m_pStack = nullptr;
    CFitImageView* m_pView = nullptr;
    QPlainTextEdit* m_pText = nullptr;
    QWidget* m_pMedia = nullptr;
    QLabel* m_pMediaText = nullptr;
    QPushButton* m_pPlay = nullptr;
    std::function<void()> m_Play;
    EShows m_Showing = EShows::Nothing;
    CDocumentRenderer* m_pRenderer = nullptr;
    std::unique_ptr<CPreviewTempFile> m_pCopy;
    EQuickPreview m_Shown = EQuickPreview::Unsupported;
};

class CQuickPreviewLink : public QLabel
{
    Q_OBJECT
public:
    explicit CQuickPreviewLink(QWidget* parent = nullptr);
    bool IsOpen() const { return m_bOpen; }
    void SetOpen(bool open);

signals:
    void Toggled(bool open);

private:
    bool m_bOpen = false;
};
