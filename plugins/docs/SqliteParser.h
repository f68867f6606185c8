#pragma once
// SQLite databases: the 100-byte header of page 1 gives the page size and, while it is
// current, the number of pages; the file is exactly their product.
#include "DocProbe.h"
#include "ole/IDocSource.h"
#include "base/ByteView.h"

/// Pure check of the header's fixed fields.
bool CheckSqliteHeader(ByteView head);
/// size 0 when the header's page count is stale or the file does not reach that far.
DocProbe ParseSqlite(IDocSource& src);
