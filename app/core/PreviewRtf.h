#pragma once
// Rich text for the text preview: the text and its simplest formatting (bold, italic,
// underline, paragraphs) as HTML for a rich-text view. Fonts, colours, tables, pictures and
// embedded objects are left out; their text shows as plain paragraphs.
#include <string>

#include "base/ByteView.h"

/// HTML for the rich text in `bytes`; false when they do not start with "{\rtf". A cut-off file
/// is converted as far as it goes. Characters of the document's 8-bit code page are taken as
/// Windows-1252.
bool RtfToHtml(ByteView bytes, std::string& html);
