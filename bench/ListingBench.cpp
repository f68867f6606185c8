// `vlm ls --json` over a tree of a million records: the listing written entry by entry as the
// tree is walked, against the same listing held as one JSON document before it is printed.
// Run each alone (--benchmark_filter) so that the peak-memory figures are not mixed.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <nlohmann/json.hpp>

#include "BenchTree.h"
#include "base/VlmErrors.h"
#include "cli/CJsonListing.h"
#include "cli/CTreeWalk.h"
#include "core/FileListText.h"
#include "fs/KBuildFileTree.h"
#include "fs/KNodeTree.h"

namespace {
struct MillionTree
{
    KFileNode store{FN_EXTRA_RAW};
    KNodeTree tree;
    MillionTree()
    {
        FillBenchStore(store);
        KFileNode progress(FN_EXTRA_RAW);
        KBuildFileTree<tagRawFileNode, KFileNode>().Build(store, tree, progress);
    }
};

void BM_JsonListingMillionStreamed(benchmark::State& state)
{
    MillionTree t;
    const double withTree = PeakRssMiB();
    std::FILE* sink = std::fopen("/dev/null", "w");
    size_t entries = 0;
    for (auto _ : state)
    {
        CJsonListing listing(sink);
        entries = 0;
        CTreeWalk::Walk(t.tree, [&](const tagTreeNode* node, const std::string& path, int) {
            listing.Add(t.tree, node, path);
            ++entries;
        });
        if (!listing.Finish(0, 0)) state.SkipWithError("write failed");
    }
    std::fclose(sink);
    state.counters["entries"] = static_cast<double>(entries);
    state.counters["rss_tree_MiB"] = withTree;
    state.counters["rss_peak_MiB"] = PeakRssMiB();
}
BENCHMARK(BM_JsonListingMillionStreamed)->Unit(benchmark::kMillisecond)->Iterations(3);

// The earlier way: every entry an object in one array, the document printed at the end.
void BM_JsonListingMillionDocument(benchmark::State& state)
{
    MillionTree t;
    const double withTree = PeakRssMiB();
    std::FILE* sink = std::fopen("/dev/null", "w");
    for (auto _ : state)
    {
        nlohmann::json files = nlohmann::json::array();
        CTreeWalk::Walk(t.tree, [&](const tagTreeNode* node, const std::string& path, int) {
            const tagFileNode* r = node->pRecord;
            nlohmann::json entry = {{"path", path},
                                    {"name", t.tree.GetName(node)},
                                    {"folder", IsFolderRecord(r)},
                                    {"state", CTreeWalk::StateName(node)}};
            entry["size"] = (r->wValidMask & FN_MASK_SIZE) ? nlohmann::json(r->s64Size) : nlohmann::json(nullptr);
            entry["created"] = CreatedColumn(r).empty() ? nlohmann::json(nullptr) : nlohmann::json(CreatedColumn(r));
            entry["modified"] = ModifiedColumn(r).empty() ? nlohmann::json(nullptr) : nlohmann::json(ModifiedColumn(r));
            entry["attributes"] = AttributeColumn(r);
            const char* condition = ConditionKey(r);
            entry["condition"] = condition ? nlohmann::json(condition) : nlohmann::json(nullptr);
            files.push_back(std::move(entry));
        });
        nlohmann::json out = {{"files", std::move(files)}, {"total_files", 0}, {"total_bytes", 0}};
        const std::string text = out.dump(2);
        std::fwrite(text.data(), 1, text.size(), sink);
    }
    std::fclose(sink);
    state.counters["rss_tree_MiB"] = withTree;
    state.counters["rss_peak_MiB"] = PeakRssMiB();
}
BENCHMARK(BM_JsonListingMillionDocument)->Unit(benchmark::kMillisecond)->Iterations(1);
} // namespace
