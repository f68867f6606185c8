#pragma once
// Rich Text Format documents: one group "{\rtf1 ... }". The end is the brace that closes the
// outer group, found by counting braces that are not escaped (\{ \}) and skipping the raw
// bytes of \binN; a writer's final line end belongs to the file.
#include "DocProbe.h"
#include "ole/IDocSource.h"

/// size 0 when the outer group does not close within the readable bytes, or when bytes that
/// no RTF writer emits (control characters outside \bin data) come first.
DocProbe ParseRtf(IDocSource& src);
