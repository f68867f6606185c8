#pragma once
// The three previews of the file list ("View as Text", "View as Image", "View as Video/Audio"):
// the common checks with their messages, then the dialog. Everything is read through the file
// system's stream or copied out by it; nothing is written to the scanned device.
#include <string>

class IFileSystem;
class QWidget;
struct tagFileNode;

enum class EPreviewAction
{
    Text,
    Image,
    Media,
};

/// Runs one preview of `record` (null: nothing selected) named `name`, modal over `parent`.
void RunPreview(QWidget* parent, EPreviewAction action, IFileSystem* fs, const tagFileNode* record,
                const std::string& name);
