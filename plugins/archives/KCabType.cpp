#include "archives/KCabType.h"

#include "archives/ArchivesLayout.h"

namespace {
constexpr tagRawTypeInfo kInfo{"cab", "Cabinet Archive", 60, 0xFFFFFFFFLL};
constexpr tagRawSignature kSignatures[] = {{0, 8, kCabMagic}};
} // namespace

KCabType::KCabType() : KRawTypeBase(kInfo, kSignatures) {}

RawHeader KCabType::CheckHeader(ByteView head, uint64_t& size) const
{
    tagCabHeader h;
    if (!LoadRecord(head, 0, h) || h.Reserved2 != 0 || h.Reserved3 != 0 || h.VersionMajor != 1 || h.VersionMinor != 3 ||
        (h.Flags & ~kCabKnownFlags) != 0 || h.FolderCount == 0)
        return RawHeader::No;
    // The folder entries follow the header (and its optional reserve and set names); the file
    // entries come after them, inside the cabinet.
    const uint64_t foldersEnd = sizeof(h) + static_cast<uint64_t>(h.FolderCount) * kCabFolderEntry;
    const uint64_t filesEnd =
        static_cast<uint64_t>(h.FilesOffset) + static_cast<uint64_t>(h.FileCount) * kCabFileEntryMin;
    if (h.FilesOffset < foldersEnd || filesEnd > h.CabinetSize) return RawHeader::No;
    size = h.CabinetSize;
    return RawHeader::Sized;
}
