#pragma once
// The quick previewer's choice of what to show for a file: the picture when the file decodes
// as an image, else a rendered document when its name is in the document table (and, for the
// compound-document formats, its data really is a compound document holding the main stream of
// one of them), else the "not supported" notice.
#include <string>

class IOutStream;

enum class EQuickPreview
{
    Image,
    Document,
    Unsupported,
};

enum class EQuickDocument
{
    None,          // not in the document table
    CompoundCheck, // "doc", "xls", "ppt": rendered only when the data is a compound document
    Render,        // "psd", "docx", "xlsx", "pptx": rendered as they are
};

/// Looks the name up in the document table: the end of the name is compared with each
/// extension, ignoring case.
EQuickDocument QuickDocumentKind(const std::string& name);

/// True when the stream's data is a compound document whose root holds a word-processing,
/// spreadsheet or presentation stream. Reads through the stream only.
bool IsOfficeCompoundDocument(IOutStream& stream);

/// The choice for a file named `name` whose data `stream` serves (null: not readable).
/// `imageDecoded`: the image decoder found a picture of positive width and height.
EQuickPreview QuickPreviewChoice(const std::string& name, bool imageDecoded, IOutStream* stream);
