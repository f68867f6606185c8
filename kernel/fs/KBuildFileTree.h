#pragma once
// The tree builder for one record type and store type. All instances run the same algorithm
// (KFileTreeBuilder); the template only checks that the record carries the identifiers at
// their fixed offsets and that the store is a record store.
#include <type_traits>

#include "fs/KFileNode.h"
#include "fs/KFileTreeBuilder.h"
#include "fs/KNodeTree.h"
#include "fs/tagFileNode.h"

template <typename TRecord, typename TStore> class KBuildFileTree final : public KFileTreeBuilder
{
    static_assert(std::is_base_of_v<tagIdFileNode, TRecord>, "records need dwSelfId and dwParentId");
    static_assert(std::is_base_of_v<KFileNode, TStore>, "the store must be a record store");

public:
    uint32_t Build(TStore& store, KNodeTree& tree, IProgress_Server& progress)
    {
        if (store.GetRecordSize() < sizeof(TRecord)) return 87; // the store's records are shorter than this record type
        return KFileTreeBuilder::Build(store, tree, progress);
    }
};
