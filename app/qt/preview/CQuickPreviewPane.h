#pragma once
// The quick previewer beside the file list: the selected file is copied out by its file system
// into a private temporary folder and shown as a picture scaled on white, or, for the office
// documents of the document table, rendered in the background ("Loading...", a double click
// cancels); anything else gets the "not supported" notice. The copy is deleted when the next
// file is shown or the pane goes away.
//
// CQuickPreviewLink is the link that opens and closes the pane.
#include <QLabel>
#include <QWidget>
#include <memory>
#include <string>

#include "core/PreviewQuick.h"

class CDocumentRenderer;
class CFitImageView;
class CPreviewTempFile;
class IFileSystem;
struct tagFileNode;

class CQuickPreviewPane : public QWidget
{
    Q_OBJECT
public:
    explicit CQuickPreviewPane(QWidget* parent = nullptr);
    ~CQuickPreviewPane() override;

    /// Shows `record` (null clears the pane).
    void ShowFile(IFileSystem* fs, const tagFileNode* record, const std::string& name);
    void Clear();

    /// What the pane shows now (for tests and the status line).
    EQuickPreview Shown() const { return m_Shown; }
    bool Rendering() const;
    CFitImageView* View() const { return m_pView; }

signals:
    /// A document finished rendering (or failed: then the "not supported" text is shown).
    void RenderFinished();

private:
    void ShowUnsupported();
    void OnRendered(const QImage& image);

    CFitImageView* m_pView = nullptr;
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
