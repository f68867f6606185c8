#pragma once
// The kinds of text file a deep scan tells apart, decided from the first bytes of a run of
// text (pure). Kinds with a marker of their own (markup, mail, cards, scripts) are told by it;
// what has none is a table (CSV) or plain text.
#include <cstdint>

#include "base/ByteView.h"

enum class TextKind
{
    None, // no marker: plain text or CSV, decided by ClassifyText
    Txt,
    Csv,
    Html,
    Xml,
    Svg,
    Json,
    Eml,  // one mail message: RFC 822 header lines
    Mbox, // a mail folder: messages each after a "From " separator line
    Vcf,
    Ics,
    Script, // "#!" interpreter line
    PostScript,
    Eps,
    CSource, // C or C++: preprocessor lines first, after comments
    Python,  // imports first, after comments and a docstring
};

/// The kind the first bytes announce by a marker, or None; a cheap look at the start only,
/// the first filter of a candidate. Html, Xml and Svg share one marker family (Xml). Kinds
/// told only after comments (sources) have no marker here.
TextKind MarkerKind(ByteView head);
/// The full decision over up to the first 8 KiB of a run of text: the marker refined (the
/// root element of XML, a JSON head that tokenizes, a mail header block that holds), or CSV
/// or plain text; None for a text format another type claims (rich text).
TextKind ClassifyText(ByteView head);
