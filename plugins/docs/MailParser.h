#pragma once
// Mail stores whose header records their own length: the personal mail store ("!BDN", ANSI and
// Unicode variants) and the per-folder mailbox database (signature CF AD 12 FE).
#include "DocProbe.h"
#include "ole/IDocSource.h"

// size 0: the header is sound but the recorded length reaches beyond what can be read.
DocProbe ParsePst(IDocSource& src);
DocProbe ParseDbx(IDocSource& src);
