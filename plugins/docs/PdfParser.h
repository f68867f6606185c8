#pragma once
// PDF documents: "%PDF-" header; the file ends after its last "%%EOF" marker (and the line end
// that follows it). Incremental updates and linearized files carry several markers, so the
// walk goes on while a marker is followed by a cross-reference section or an indirect object.
#include "DocProbe.h"
#include "ole/IDocSource.h"

// `alignment` is the sector size: another file can only start on a sector boundary, and a new
// "%PDF-" there ends the search. size 0: no end marker found.
DocProbe ParsePdf(IDocSource& src, uint32_t alignment);
