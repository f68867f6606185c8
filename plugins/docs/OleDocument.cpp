#include "OleDocument.h"

#include "ole/OleParser.h"

DocProbe ParseOleDocument(IDocSource& src)
{
    const OleProbe p = ParseOle(src);
    DocProbe probe;
    probe.size = p.size;
    switch (p.kind)
    {
    case EOleKind::Doc: probe.kind = DocKind::Doc; break;
    case EOleKind::Xls: probe.kind = DocKind::Xls; break;
    case EOleKind::Ppt: probe.kind = DocKind::Ppt; break;
    case EOleKind::Pub: probe.kind = DocKind::Pub; break;
    case EOleKind::Msg: probe.kind = DocKind::Msg; break;
    case EOleKind::None: break;
    }
    return probe;
}
