#pragma once
// The condition of every file of a built FAT tree (tagFileNode::byCondition), judged from the
// table loaded for the listing.
//
// A present file is whole as far as the table tells when its chain starts at its first
// cluster and holds all of its clusters. A deleted file (or one in a deleted folder) is copied
// from its first cluster on, contiguously; it is intact when all those clusters are still free
// and overwritten when any of them is allocated again. The table is only believed when it
// describes every present file: a table that leaves a present file's clusters free (a quick
// format wrote a new, empty one; a candidate rebuilt over another file system's table) is not
// these files' own, and every file stays unknown.
#include <cstdint>

#include "format/fat/FatGeometry.h"

class KFatTable;
class KNodeTree;

/// Sets the condition of every file record in `tree`. Without a table nothing is known and
/// the records are left unknown.
void MarkFatConditions(KNodeTree& tree, const KFatTable& table, const FatGeometry& geometry, uint32_t bytesPerSector);
