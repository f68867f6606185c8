#pragma once
// The title an office document carries in its properties. In a ZIP container: the part
// "docProps/core.xml" of OOXML documents, spreadsheets and presentations, "meta.xml" of
// OpenDocument ones, both holding it as the Dublin Core element "title", XML in UTF-8, the part
// usually deflated. In a compound file: the title property of the summary information stream,
// in the code page the stream names or in UTF-16.
#include <cstdint>
#include <string>
#include <string_view>

#include "DocProbe.h"
#include "ole/IDocSource.h"

/// The title as UTF-8, blanks trimmed; empty when the kind has no such part, the part cannot
/// be read within the inflate cap or holds no title. `size` is the document's length (0 when
/// its end is unknown).
std::string ZipDocumentTitle(IDocSource& src, uint64_t size, DocKind kind);

/// The text of the first Dublin Core title element of a properties part, its character and
/// entity references decoded. Exposed for tests.
std::string XmlDcTitle(std::string_view xml);

/// The title of a compound file's summary information; empty as above.
std::string OleDocumentTitle(IDocSource& src);

/// The title property of a summary information stream, as UTF-8. Exposed for tests.
std::string SummaryTitle(ByteView stream);
