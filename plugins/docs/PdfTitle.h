#pragma once
// The title a PDF document carries in its document information dictionary: the trailer (or
// the cross-reference stream's dictionary) names the dictionary with "/Info n g R", the
// cross-reference table gives that object's offset, and the object's "/Title" is a literal or
// hex string, in PDFDocEncoding or (after a byte order mark) UTF-16BE or UTF-8.
#include <cstdint>
#include <string>

#include "ole/IDocSource.h"

/// The document's title as UTF-8; empty when it has none or it cannot be found within a few
/// bounded reads. `size` is the document's length (0 when unknown: only its start is searched).
std::string PdfTitle(IDocSource& src, uint64_t size);
