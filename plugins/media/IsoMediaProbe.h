#pragma once
// ISO base media files (MP4, M4A, M4V, 3GP, 3G2, Canon CR3) and QuickTime movies share one layout: a chain of
// top-level boxes (walked by common/IsoBoxWalk). The "ftyp" box's major brand tells the
// flavours apart; old QuickTime movies have no "ftyp" and start with "moov", "mdat", "wide" or
// "free".
#include <cstdint>

#include "base/ByteView.h"
#include "common/KRawReader.h"

enum class IsoKind
{
    None, // not an ISO media file, or one of a kind no type here claims (still pictures)
    Mp4,
    M4a,
    Tgp,
    Tg2, // 3GPP2
    M4v,
    Mov,
    Cr3 // Canon raw pictures
};

struct tagIsoProbe
{
    IsoKind kind = IsoKind::None;
    uint64_t size = 0; // 0: the last box runs to an end that cannot be told
};

/// Quick look at the first box (pure).
bool IsoFirstBoxPlausible(ByteView head);
/// Walks the top-level boxes of a candidate.
tagIsoProbe ProbeIsoMedia(KRawReader& reader);
