#include "PreviewActions.h"

#include <QApplication>
#include <QProgressDialog>
#include <QScreen>
#include <memory>

#include "CImageViewDlg.h"
#include "CMediaViewDlg.h"
#include "CPreviewStreamDevice.h"
#include "CTextViewDlg.h"
#include "PreviewImageDecode.h"
#include "PreviewMessages.h"
#include "base/VlmErrors.h"
#include "core/CPreviewTempFile.h"
#include "core/PreviewCheck.h"
#include "core/TextFormat.h"
#include "fs/IFileSystem.h"
#include "core/VlmStrings.h"

namespace {

// The "Loading..." window of the copy for the player.
class KLoadingProgress final : public IProgress_Client
{
public:
    explicit KLoadingProgress(QWidget* parent)
        : m_Dialog(PreviewMessages::Text(IDS_PREVIEW_LOADING), QObject::tr("&Cancel"), 0, 100, parent)
    {
        m_Dialog.setWindowModality(Qt::WindowModal);
        m_Dialog.setMinimumDuration(300);
    }
    int SetMaxValue(int64_t max) override
    {
        m_s64Max = max > 0 ? max : 1;
        return 0;
    }
    int SetValue(int64_t value) override
    {
        m_Dialog.setValue(static_cast<int>(value * 100 / m_s64Max));
        QApplication::processEvents();
        return 0;
    }
    int EndProgress() override
    {
        m_Dialog.reset();
        return 0;
    }
    int IsCanceled() override { return m_Dialog.wasCanceled() ? 1 : 0; }

private:
    QProgressDialog m_Dialog;
    int64_t m_s64Max = 1;
};

QSize ImageBound(QWidget* parent)
{
    const QScreen* screen = parent ? parent->screen() : QApplication::primaryScreen();
    return screen ? screen->availableSize() : QSize(1600, 1200);
}

void PreviewText(QWidget* parent, IFileSystem& fs, const tagFileNode* record)
{
    std::unique_ptr<IOutStream> stream(fs.OpenStream(record));
    if (!stream)
        return PreviewMessages::Error(
            parent, QString::fromStdString(FormatText(VlmString(IDS_PREVIEW_READ_FAILED), ERROR_FUNCTION_FAILED)));
    CTextViewDlg dialog(parent);
    dialog.Load(*stream);
    dialog.exec();
}

void PreviewImage(QWidget* parent, IFileSystem& fs, const tagFileNode* record)
{
    CPreviewStreamDevice device(std::unique_ptr<IOutStream>(fs.OpenStream(record)));
    const QImage image = DecodePreviewImage(&device, ImageBound(parent));
    if (image.isNull()) return PreviewMessages::Error(parent, IDS_PREVIEW_IMAGE_FAILED);
    CImageViewDlg dialog(image, parent);
    dialog.exec();
}

void PreviewMedia(QWidget* parent, IFileSystem& fs, const tagFileNode* record, const std::string& name)
{
    if (MediaPreviewTruncated(record)) PreviewMessages::Information(parent, IDS_PREVIEW_MEDIA_TOO_BIG);
    auto copy = std::make_unique<CPreviewTempFile>();
    std::unique_ptr<IOutStream> stream(fs.OpenStream(record));
    if (!stream || copy->Prepare(name) != ERROR_SUCCESS) return PreviewMessages::Error(parent, IDS_PREVIEW_TEMP_FAILED);
    uint32_t status = ERROR_SUCCESS;
    {
        KLoadingProgress progress(parent);
        status = copy->CopyHead(*stream, kPreviewMediaLimit, &progress);
    }
    if (status == ERROR_CANCELLED) return;
    if (status != ERROR_SUCCESS && status != ERROR_READ_FAULT)
        return PreviewMessages::Error(parent, IDS_PREVIEW_TEMP_FAILED);
    CMediaViewDlg dialog(std::move(copy), parent);
    dialog.exec();
}

} // namespace

void RunPreview(QWidget* parent, EPreviewAction action, IFileSystem* fs, const tagFileNode* record,
                const std::string& name)
{
    const uint32_t refusal = action == EPreviewAction::Text ? TextPreviewRefusal(record) : PreviewRefusal(record);
    if (refusal != 0) return PreviewMessages::Information(parent, refusal);
    if (fs == nullptr) return PreviewMessages::Information(parent, IDS_PREVIEW_SELECT_FILE);
    switch (action)
    {
    case EPreviewAction::Text: return PreviewText(parent, *fs, record);
    case EPreviewAction::Image: return PreviewImage(parent, *fs, record);
    case EPreviewAction::Media: return PreviewMedia(parent, *fs, record, name);
    }
}
