// Named $DATA streams: hostile records (many named attributes, repeated names, names that run
// past their attribute, names a saved file cannot carry) and the streams of a deleted file on
// the committed test volume.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/SaveWalker.h"
#include "fs/KNodeTree.h"
#include "ntfs/KNtfsFileSystem.h"
#include "ntfs/KNtfsMft.h"
#include "ntfs/NtfsNamedStreams.h"
#include "format/ntfs/NtfsRecord.h"
#include "support/MemoryStorage.h"
#include "support/TestFiles.h"
#include "support/TestImages.h"
#include "support/TestTrees.h"
#include "tests/ntfs/NtfsRecordBuilder.h"
#include "support/MemoryMedia.h"

namespace {

uint16_t Get16(const std::vector<uint8_t>& b, size_t off)
{
    return static_cast<uint16_t>(b.at(off) | b.at(off + 1) << 8);
}
uint32_t Get32(const std::vector<uint8_t>& b, size_t off) { return Get16(b, off) | uint32_t{Get16(b, off + 2)} << 16; }

// Gives the FILE record `number` at byte `at` of `image` a resident $ATTRIBUTE_LIST naming every
// attribute the record holds, as the driver writes one when a file's attributes outgrow one
// record; the streams are then found through the list.
void AddAttributeList(std::vector<uint8_t>& image, size_t at, size_t size, uint32_t number)
{
    std::vector<uint8_t> r(image.begin() + static_cast<std::ptrdiff_t>(at),
                           image.begin() + static_cast<std::ptrdiff_t>(at + size));
    ASSERT_TRUE(ApplyFileRecordFixup(MutableByteView(r).first(size)));
    std::vector<uint8_t> list;
    size_t end = Get16(r, 20);
    for (; Get32(r, end) != 0xFFFFFFFF; end += Get32(r, end + 4))
    {
        const uint8_t units = r[end + 9];
        std::vector<uint8_t> e((26 + 2u * units + 7) & ~7u, 0);
        RecordBuilder::Put32(e, 0, Get32(r, end));
        RecordBuilder::Put16(e, 4, static_cast<uint16_t>(e.size()));
        e[6] = units;
        e[7] = 26;
        if (r[end + 8] != 0)
            std::copy_n(r.begin() + static_cast<std::ptrdiff_t>(end + 16), 8, e.begin() + 8); // first VCN
        RecordBuilder::Put32(e, 16, number);
        RecordBuilder::Put16(e, 22, Get16(r, 16));
        RecordBuilder::Put16(e, 24, Get16(r, end + 14));
        std::copy_n(r.begin() + static_cast<std::ptrdiff_t>(end + Get16(r, end + 10)), 2 * units, e.begin() + 26);
        list.insert(list.end(), e.begin(), e.end());
    }
    std::vector<uint8_t> a((24 + list.size() + 7) & ~size_t{7}, 0);
    RecordBuilder::Put32(a, 0, 0x20);
    RecordBuilder::Put32(a, 4, static_cast<uint32_t>(a.size()));
    RecordBuilder::Put16(a, 14, Get16(r, 40)); // the record's next attribute instance
    RecordBuilder::Put32(a, 16, static_cast<uint32_t>(list.size()));
    RecordBuilder::Put16(a, 20, 24);
    std::copy(list.begin(), list.end(), a.begin() + 24);
    ASSERT_LE(end + a.size() + 8, size) << "no room for the list";
    std::copy(a.begin(), a.end(), r.begin() + static_cast<std::ptrdiff_t>(end));
    RecordBuilder::Put32(r, end + a.size(), 0xFFFFFFFF);
    RecordBuilder::Put32(r, 24, static_cast<uint32_t>(end + a.size() + 8));
    // The update sequence again: each stride's last two bytes into the array, the number there.
    const size_t usa = Get16(r, 4);
    for (size_t i = 1; i < Get16(r, 6); ++i)
    {
        std::copy_n(r.begin() + static_cast<std::ptrdiff_t>(i * 512 - 2), 2,
                    r.begin() + static_cast<std::ptrdiff_t>(usa + 2 * i));
        std::copy_n(r.begin() + static_cast<std::ptrdiff_t>(usa), 2,
                    r.begin() + static_cast<std::ptrdiff_t>(i * 512 - 2));
    }
    std::copy(r.begin(), r.end(), image.begin() + static_cast<std::ptrdiff_t>(at));
}

} // namespace

TEST(NtfsNamedStreams, HostileRecordsAreBoundedAndNamesMadeSafeForSaving)
{
    KNtfsMft mft;
    auto names = [&](const std::vector<uint8_t>& record) {
        std::vector<std::string> seen;
        ForEachNamedStream(mft, record, [&](const std::string& n, const NtfsAttribute&) {
            seen.push_back(n);
            return true;
        });
        return seen;
    };

    // More named streams than are listed per record: the first ones are kept.
    RecordBuilder many(1, 8192);
    many.Resident(0x80, {1, 2, 3});
    for (int i = 0; i < 100; ++i)
        many.NamedResident(0x80, "s" + std::to_string(i), {static_cast<uint8_t>(i)}, static_cast<uint16_t>(i + 1));
    std::vector<uint8_t> crowded = many.Build();
    ASSERT_TRUE(ApplyFileRecordFixup(crowded));
    const std::vector<std::string> listed = names(crowded);
    ASSERT_EQ(listed.size(), static_cast<size_t>(kNtfsMaxNamedStreams));
    EXPECT_EQ(listed.front(), "s0");
    NtfsStreamData data;
    ASSERT_EQ(LocateNamedStream(mft, crowded, "s42", &data), NtfsStreamFound::Ok);
    EXPECT_TRUE(data.resident);
    EXPECT_EQ(data.value, std::vector<uint8_t>{42});

    // A repeated name is listed once (its copy could not be told apart); a name whose units run
    // past its attribute is no name; an unnamed $DATA is the file, not a stream.
    const std::vector<uint8_t> odd = RecordBuilder()
                                         .NamedResident(0x80, "dup", {1}, 1)
                                         .NamedResident(0x80, "dup", {2}, 2)
                                         .NamedResident(0x80, "long", {3}, 3, 12)
                                         .Resident(0x80, {4})
                                         .NamedResident(0x80, "a/b\x01:c", {5}, 4)
                                         .Build();
    EXPECT_EQ(names(odd), (std::vector<std::string>{"dup", "a/b\x01:c"}));
    ASSERT_EQ(LocateNamedStream(mft, odd, "dup", &data), NtfsStreamFound::Ok);
    EXPECT_EQ(data.value, std::vector<uint8_t>{1});
    EXPECT_EQ(LocateNamedStream(mft, odd, "long", &data), NtfsStreamFound::Missing);

    // Saved, the stream's name keeps to characters every disk takes.
    EXPECT_EQ(CSaveWalker::StreamFileName(CSaveWalker::SafeName("f.txt:a/b\x01:c")), "f.txt_a_b__c");
    EXPECT_EQ(CSaveWalker::StreamFileName("report.txt:Zone.Identifier"), "report.txt_Zone.Identifier");
}

// ntfs-basic with "streams.txt" deleted (its record no longer in use) and an $ATTRIBUTE_LIST
// added to its record: the file's streams are listed beside it as deleted streams, found
// through the list entries (record and attribute instance), and copy out byte-exact, also
// from a stored result.
TEST(NtfsNamedStreams, DeletedFilesStreamsNamedByAnAttributeListAreCopiedExactly)
{
    std::vector<uint8_t> image = LoadFixtureImage("ntfs-basic");
    ASSERT_FALSE(image.empty());
    int64_t sector = -1;
    uint32_t number = 0, bytes = 0;
    {
        MemoryVolume volume(image);
        KNtfsFileSystem fs;
        fs.SetVolume(&volume);
        ASSERT_EQ(fs.SelectCandidate(FS_CANDIDATE_VOLUME), 0u);
        KNodeTree tree;
        ASSERT_EQ(fs.BuildTree(&tree), 0u);
        const tagTreeNode* file = WalkTree(tree, "streams.txt");
        ASSERT_NE(file, nullptr);
        const auto* node = static_cast<const tagNtfsFileNode*>(file->pRecord);
        sector = node->s64RecordSector;
        number = node->dwSelfId;
        bytes = fs.Mft().RecordBytes();
    }
    AddAttributeList(image, static_cast<size_t>(sector) * 512, bytes, number);
    // The in-use flag lies in the record's first stride, away from the update sequence.
    image.at(static_cast<size_t>(sector) * 512 + 22) &= static_cast<uint8_t>(~1u);

    MemoryVolume volume(image);
    KNtfsFileSystem listed;
    listed.SetVolume(&volume);
    ASSERT_EQ(listed.SelectCandidate(FS_CANDIDATE_VOLUME), 0u);
    std::vector<uint8_t> record(bytes);
    ASSERT_EQ(listed.Mft().ReadFileRecord(number, record.data()), 0u);
    ASSERT_TRUE(CheckFileRecord(MutableByteView(record).first(bytes), false));
    ASSERT_TRUE(FindAttribute(ByteView(record).first(bytes), 0x20, 0));
    MemoryStorage stored;
    ASSERT_EQ(listed.SaveTo(&stored), 1);
    KNtfsFileSystem fs;
    ASSERT_EQ(fs.LoadFrom(&stored), 1);
    fs.SetVolume(&volume);
    KNodeTree tree;
    ASSERT_EQ(fs.BuildTree(&tree), 0u);
    TempDir dir;
    int streams = 0, copies = 0;
    for (const ManifestFile& e : LoadManifest("ntfs-basic").Files)
    {
        if (e.Path.rfind("streams.txt", 0) != 0) continue;
        const bool stream = e.Path.find(':') != std::string::npos;
        const tagTreeNode* node = WalkTree(tree, e.Path);
        ASSERT_NE(node, nullptr) << e.Path;
        EXPECT_EQ(node->pRecord->byKind, 0x13 | (stream ? FN_KIND_STREAM : 0)) << e.Path;
        EXPECT_EQ(node->pRecord->s64Size, e.Size) << e.Path;
        const std::string target = dir.File("out" + std::to_string(copies++));
        ASSERT_EQ(fs.SaveFile(node->pRecord, target), 0u) << e.Path;
        EXPECT_EQ(Sha256OfFile(target), e.Sha256) << e.Path;
        streams += stream;
    }
    EXPECT_EQ(streams, 2);
}
