#include "FuzzDrive.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "fs/IFileSystem.h"
#include "fs/KNodeTree.h"
#include "volume/IVolumeIO.h"

namespace {

// More nodes than any input a fuzzer makes can produce; a tree needing more to walk has a
// cycle the builder failed to break, which is a finding.
constexpr uint64_t kMaxNodesWalked = 1u << 22;

void ReadStream(IOutStream* stream)
{
    int64_t size = 0;
    stream->GetSize(&size);
    std::vector<uint8_t> buffer(65536);
    int64_t total = 0;
    while (total < kFuzzStreamBytes)
    {
        int64_t done = 0;
        if (stream->Read(buffer.data(), static_cast<int64_t>(buffer.size()), &done) != 1 || done <= 0) break;
        total += done;
    }
    int64_t pos = 0;
    stream->Seek(SEEK_ORIGIN_END, -1, &pos);
    int64_t done = 0;
    stream->Read(buffer.data(), 1, &done);
}

} // namespace

void FuzzScanPass(IFileSystem& fs, IVolumeIO& volume)
{
    fs.SetVolume(&volume);
    fs.SetSectorInfo(0, 512);
    fs.Begin_ScanFS();
    tagDiskGeometry geometry;
    volume.GetGeometry(&geometry);
    std::vector<uint8_t> buffer(size_t{kFuzzScanChunk} * 512);
    ScanStats stats{};
    for (uint64_t s = 0; s < geometry.TotalSectors; s += kFuzzScanChunk)
    {
        const auto n = static_cast<uint32_t>(std::min<uint64_t>(kFuzzScanChunk, geometry.TotalSectors - s));
        if (volume.ReadSectors(s, buffer.data(), n) != 0) continue;
        fs.ScanFS(&stats, static_cast<int64_t>(s), buffer.data(), static_cast<int>(n));
    }
    fs.End_ScanFS();
}

void FuzzExerciseListing(IFileSystem& fs)
{
    KNodeTree tree;
    if (fs.BuildTree(&tree) != 0 || !tree.GetRoot()) return;
    std::vector<const tagTreeNode*> stack{tree.GetRoot()};
    uint64_t visited = 0;
    int streams = 0;
    while (!stack.empty())
    {
        const tagTreeNode* node = stack.back();
        stack.pop_back();
        if (++visited > kMaxNodesWalked) __builtin_trap();
        tree.GetName(node);
        const tagFileNode* record = node->pRecord;
        if (record && !KNodeTree::GetFirstChild(node) && streams < kFuzzStreamsPerListing)
        {
            std::unique_ptr<IOutStream> stream(fs.OpenStream(record));
            if (stream)
            {
                ++streams;
                ReadStream(stream.get());
            }
        }
        for (const tagTreeNode* c = KNodeTree::GetFirstChild(node); c; c = KNodeTree::GetNextSibling(c))
            stack.push_back(c);
    }
    uint64_t bytes = 0;
    uint32_t count = 0;
    tree.CountFiles(&bytes, &count);
}

void FuzzListCandidates(IFileSystem& fs, const std::function<void()>& list)
{
    uint32_t count = 0;
    fs.GetCandidateCount(&count);
    for (uint32_t i = 0; i < std::min(count, kFuzzCandidatesSelected); ++i)
    {
        FileSystemCandidate c{};
        fs.GetCandidate(static_cast<int>(i), &c);
        if (fs.SelectCandidate(i) == 0) list();
    }
}
