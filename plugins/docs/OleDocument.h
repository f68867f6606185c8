#pragma once
// The compound-file parser's answer in the family's kinds: the parser itself is shared with the
// previewer (libs/ole), this family only names what it found.
#include "DocProbe.h"
#include "ole/IDocSource.h"

[[nodiscard]] DocProbe ParseOleDocument(IDocSource& src);
