#pragma once
// Links a flat record store into a KNodeTree by the records' identifiers: folders under their
// parent folders, files under their folders, whatever has no reachable folder under
// "Lost Files" (in made-up "$Dir" folders), then breaks cycles and drops empty folders.
// KBuildFileTree is the typed front of this builder, one instance per scanner.
#include <cstdint>

#include "base/IProgress.h"

class KFileNode;
class KNodeTree;

class KFileTreeBuilder
{
public:
    virtual ~KFileTreeBuilder() = default;

    /// 0 on success (also after a cancel, with the tree built so far), 87 when the store is
    /// empty or its records carry no identifiers, 8 when memory ran out before the file pass.
    /// The tree is cleared first. Made-up folders are added to the store.
    uint32_t Build(KFileNode& store, KNodeTree& tree, IProgress_Server& progress);
};
