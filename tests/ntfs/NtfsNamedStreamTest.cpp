// Named $DATA streams: hostile records (many named attributes, repeated names, names that run
// past their attribute, names a saved file cannot carry) and the streams of a deleted file on
// the committed test volume.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/SaveWalker.h"
#include "fs/KNodeTree.h"
#include "ntfs/KNtfsFileSystem.h"
#include "ntfs/KNtfsMft.h"
#include "ntfs/NtfsNamedStreams.h"
#include "ntfs/NtfsRecord.h"
#include "support/TestFiles.h"
#include "support/TestImages.h"
#include "support/TestTrees.h"
#include "tests/ntfs/NtfsRecordBuilder.h"
#include "volume/KMemoryVolumeIO.h"

TEST(NtfsNamedStreams, HostileRecordsAreBoundedAndNamesMadeSafeForSaving)
{
    KNtfsMft mft;
    auto names = [&](const std::vector<uint8_t>& record) {
        std::vector<std::string> seen;
        ForEachNamedStream(mft, record.data(), static_cast<int>(record.size()), [&](const std::string& n, const uint8_t*) {
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
    ASSERT_TRUE(ApplyFileRecordFixup(crowded.data(), static_cast<int>(crowded.size())));
    const std::vector<std::string> listed = names(crowded);
    ASSERT_EQ(listed.size(), static_cast<size_t>(kNtfsMaxNamedStreams));
    EXPECT_EQ(listed.front(), "s0");
    NtfsStreamData data;
    ASSERT_EQ(LocateNamedStream(mft, crowded.data(), static_cast<int>(crowded.size()), "s42", &data),
              NtfsStreamFound::Ok);
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
    ASSERT_EQ(LocateNamedStream(mft, odd.data(), static_cast<int>(odd.size()), "dup", &data), NtfsStreamFound::Ok);
    EXPECT_EQ(data.value, std::vector<uint8_t>{1});
    EXPECT_EQ(LocateNamedStream(mft, odd.data(), static_cast<int>(odd.size()), "long", &data),
              NtfsStreamFound::Missing);

    // Saved, the stream's name keeps to characters every disk takes.
    EXPECT_EQ(CSaveWalker::StreamFileName(CSaveWalker::SafeName("f.txt:a/b\x01:c")), "f.txt_a_b__c");
    EXPECT_EQ(CSaveWalker::StreamFileName("report.txt:Zone.Identifier"), "report.txt_Zone.Identifier");

    std::string stream;
    EXPECT_TRUE(StreamPartOfName("a:b:c", "a:b", &stream));
    EXPECT_EQ(stream, "c");
    EXPECT_FALSE(StreamPartOfName("ab:c", "a", &stream));
    EXPECT_FALSE(StreamPartOfName("a:", "a", &stream));
}

// ntfs-basic with "streams.txt" deleted (its record no longer in use): the file's streams are
// listed beside it as deleted streams and still copy out byte-exact.
TEST(NtfsNamedStreams, DeletedFilesStreamsAreListedAndCopiedExactly)
{
    std::vector<uint8_t> image = LoadFixtureImage("ntfs-basic");
    ASSERT_FALSE(image.empty());
    int64_t recordSector = -1;
    {
        KMemoryVolumeIO volume(image);
        KNtfsFileSystem fs;
        fs.SetVolume(&volume);
        ASSERT_EQ(fs.SelectCandidate(FS_CANDIDATE_VOLUME), 0u);
        KNodeTree tree;
        ASSERT_EQ(fs.BuildTree(&tree), 0u);
        const tagTreeNode* file = WalkTree(tree, "streams.txt");
        ASSERT_NE(file, nullptr);
        recordSector = static_cast<const tagNtfsFileNode*>(file->pRecord)->s64RecordSector;
    }
    // The in-use flag lies in the record's first stride, away from the update sequence.
    image.at(static_cast<size_t>(recordSector) * 512 + 22) &= static_cast<uint8_t>(~1u);

    KMemoryVolumeIO volume(image);
    KNtfsFileSystem fs;
    fs.SetVolume(&volume);
    ASSERT_EQ(fs.SelectCandidate(FS_CANDIDATE_VOLUME), 0u);
    KNodeTree tree;
    ASSERT_EQ(fs.BuildTree(&tree), 0u);
    TempDir dir;
    int streams = 0, copies = 0;
    for (const ManifestFile& e : LoadManifest("ntfs-basic").Files)
    {
        if (e.Path.rfind("streams.txt", 0) != 0)
            continue;
        const bool stream = e.Path.find(':') != std::string::npos;
        const tagTreeNode* node = WalkTree(tree, e.Path);
        ASSERT_NE(node, nullptr) << e.Path;
        EXPECT_EQ(node->pRecord->byKind, 0x13 | (stream ? FN_KIND_STREAM : 0)) << e.Path;
        const std::string target = dir.File("out" + std::to_string(copies++));
        ASSERT_EQ(fs.SaveFile(node->pRecord, target), 0u) << e.Path;
        EXPECT_EQ(Sha256OfFile(target), e.Sha256) << e.Path;
        streams += stream;
    }
    EXPECT_EQ(streams, 2);
}
