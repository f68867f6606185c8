// Loading stored state: a record store as written into scan-result files, then the tree built
// from the loaded records as the resume does.
#include "FuzzImage.h"
#include "FuzzTargets.h"
#include "fs/KFileNode.h"
#include "fs/KFileTreeBuilder.h"
#include "fs/KNodeTree.h"
#include "format/rescuemap/RescueMap.h"

namespace {

// Counts what a store writes, to show a loaded store saves again.
class KCountingSink final : public IStorageManager
{
public:
    int Read(void*, int, int* done) override
    {
        *done = 0;
        return 0;
    }
    int Write(const void*, int length, int* done) override
    {
        *done = length;
        m_Bytes += static_cast<uint64_t>(length);
        return 1;
    }
    uint64_t m_Bytes = 0;
};

} // namespace

int FuzzFileNodeLoad(const uint8_t* data, size_t size)
{
    if (size < 1) return 0;
    const uint32_t extras[] = {FN_EXTRA_IDS, FN_EXTRA_FAT, FN_EXTRA_NTFS};
    KFileNode store(extras[data[0] % 3]);
    KFuzzStorage in(data + 1, size - 1);
    store.LoadFrom(&in);
    for (int i = 0; i < store.GetCount(); ++i) store.GetName(store.GetNode(i));
    KCountingSink sink;
    store.SaveTo(&sink);
    KNodeTree tree;
    KFileTreeBuilder builder;
    IProgress_Server progress;
    builder.Build(store, tree, progress);
    uint64_t bytes = 0;
    uint32_t count = 0;
    tree.CountFiles(&bytes, &count);
    return 0;
}

int FuzzRescueMap(const uint8_t* data, size_t size)
{
    // A map as a user hands it over, then the edits an imaging run makes on it; what it writes
    // must read back the same.
    RescueMap map;
    std::string why;
    if (!RescueMap::Parse(std::string_view(reinterpret_cast<const char*>(data), size), &map, &why)) return 0;
    const uint64_t end = map.End();
    map.Rescued(0, end);
    map.Set(end / 3, end / 5 + 1, '-');
    map.Set(end / 2, 512, '+');
    RescueMap back;
    if (!RescueMap::Parse(map.Format("fuzz"), &back, &why) || back.Format("fuzz") != map.Format("fuzz"))
        __builtin_trap();
    return 0;
}
