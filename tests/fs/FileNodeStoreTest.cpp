// Record store: the stored format of records and names, and loading of damaged streams.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

#include "FsTestUtil.h"

namespace {
void FillStore(KFileNode& store)
{
    StoreBuilder b(store);
    b.Folder("docs", 10, 0)->ftCreated = 0x01D9000000000001ULL;
    auto* f = b.File("report.txt", 11, 10, 1234);
    f->ftModified = 0x01D9000000000002ULL;
    f->byKind = FN_KIND_DELETED | FN_KIND_FAT;
    f->byCondition = FN_COND_OVERWRITTEN;
    b.File("", 12, 10, 5);                    // an empty name is stored as length 0
    b.File(std::string(765, 'x'), 13, 10, 7); // 255 UTF-16 units of 3-byte characters
}

std::vector<uint8_t> RecordBytes(const KFileNode& store, int i)
{
    const auto* p = reinterpret_cast<const uint8_t*>(store.GetNode(i));
    std::vector<uint8_t> v(p, p + store.GetRecordSize());
    std::memset(v.data() + 2, 0, 4); // the name slot is not part of the stored meaning
    return v;
}
} // namespace

TEST(FileNodeStore, SaveAndLoadKeepRecordsNamesAndOrder)
{
    KFileNode store(FN_EXTRA_FAT);
    FillStore(store);
    MemoryStorage io;
    ASSERT_EQ(store.SaveTo(&io), 1);
    // count + per record (length + name + 46 bytes)
    EXPECT_EQ(io.Bytes.size(), 4u + 6 * (4 + 46) + 4 + 10 + 4 + 10 + 0 + 765);

    KFileNode loaded(FN_EXTRA_FAT);
    loaded.AddNode("left over"); // loading replaces what was there
    ASSERT_EQ(loaded.LoadFrom(&io), 1);
    ASSERT_EQ(loaded.GetCount(), store.GetCount());
    for (int i = 0; i < store.GetCount(); ++i)
    {
        EXPECT_STREQ(loaded.GetName(loaded.GetNode(i)), store.GetName(store.GetNode(i))) << i;
        EXPECT_EQ(RecordBytes(loaded, i), RecordBytes(store, i)) << i;
        const uint32_t slot = loaded.GetNode(i)->pszName; // packed field: copy before comparing
        EXPECT_EQ(slot, static_cast<uint32_t>(i));
    }
}

// The condition byte is written as it is; a stored file is untrusted, so a value no version
// writes loads as unknown instead of as a claim about the file.
TEST(FileNodeStore, ConditionLoadsOnlyAsAKnownValue)
{
    for (const auto& [stored, loaded] : {std::pair<uint8_t, uint8_t>{FN_COND_UNKNOWN, FN_COND_UNKNOWN},
                                         {FN_COND_INTACT, FN_COND_INTACT},
                                         {FN_COND_OVERWRITTEN, FN_COND_OVERWRITTEN},
                                         {FN_COND_UNREADABLE, FN_COND_UNREADABLE},
                                         {4, FN_COND_UNKNOWN},
                                         {0xFF, FN_COND_UNKNOWN}})
    {
        KFileNode store(FN_EXTRA_FAT);
        store.AddNode("")->byCondition = FN_COND_INTACT;
        MemoryStorage io;
        ASSERT_EQ(store.SaveTo(&io), 1);
        io.Bytes.at(4 + 4 + 33) = stored; // count, name length, then the record's byte 33
        KFileNode back(FN_EXTRA_FAT);
        ASSERT_EQ(back.LoadFrom(&io), 1);
        EXPECT_EQ(back.GetNode(0)->byCondition, loaded) << int(stored);
    }
}

TEST(FileNodeStore, StreamEndingAnywhereFailsCleanly)
{
    KFileNode store(FN_EXTRA_RAW);
    FillStore(store);
    MemoryStorage full;
    ASSERT_EQ(store.SaveTo(&full), 1);
    for (size_t cut = 0; cut < full.Bytes.size(); ++cut)
    {
        MemoryStorage io;
        io.Bytes.assign(full.Bytes.begin(), full.Bytes.begin() + static_cast<long>(cut));
        KFileNode loaded(FN_EXTRA_RAW);
        EXPECT_EQ(loaded.LoadFrom(&io), 0) << "cut at " << cut;
        if (cut < 4)
        {
            EXPECT_EQ(loaded.GetCount(), 0);
        }
        // Only complete records are kept.
        EXPECT_LE(loaded.GetCount(), store.GetCount());
    }
}

TEST(FileNodeStore, HostileNameLengthFailsWithoutOverflow)
{
    for (uint32_t length : {1024u, 0x7FFFFFFFu, 0xFFFFFFFFu})
    {
        MemoryStorage io;
        const uint32_t count = 1;
        io.Bytes.resize(8 + 4096, 'A');
        std::memcpy(io.Bytes.data(), &count, 4);
        std::memcpy(io.Bytes.data() + 4, &length, 4);
        KFileNode loaded(FN_EXTRA_RAW);
        EXPECT_EQ(loaded.LoadFrom(&io), 0) << length;
        EXPECT_EQ(loaded.GetCount(), 0);
    }
}

TEST(FileNodeStore, FailingWriteIsReported)
{
    KFileNode store(FN_EXTRA_RAW);
    FillStore(store);
    for (size_t budget : {0u, 3u, 4u, 20u, 60u})
    {
        MemoryStorage io;
        io.WriteBudget = budget;
        EXPECT_EQ(store.SaveTo(&io), 0) << budget;
    }
}

TEST(FileNodeStore, NamesBelongToTheirStore)
{
    KFileNode a(FN_EXTRA_RAW), b(FN_EXTRA_RAW);
    tagFileNode* ra = a.AddNode("alpha");
    tagFileNode* rb = b.AddNode("beta");
    EXPECT_STREQ(a.GetName(ra), "alpha");
    EXPECT_STREQ(a.GetName(rb), ""); // same slot value, other store
    EXPECT_STREQ(a.GetName(nullptr), "");
    EXPECT_EQ(a.GetNameBuffer(rb), nullptr);

    // A reserved name area is filled in place; a rename gets a new area.
    tagFileNode* folder = a.AddNode(259);
    std::strcpy(a.GetNameBuffer(folder), "JPEG Image");
    EXPECT_STREQ(a.GetName(folder), "JPEG Image");
    ASSERT_TRUE(a.SetName(folder, std::string(300, 'n')));
    EXPECT_EQ(std::strlen(a.GetName(folder)), 300u);
    EXPECT_STREQ(a.GetName(ra), "alpha");

    EXPECT_EQ(a.AddNode(KFileNode::kMaxNameLength + 1), nullptr);
    EXPECT_EQ(a.GetNode(-1), nullptr);
    EXPECT_EQ(a.GetNode(a.GetCount()), nullptr);
    a.Clear();
    EXPECT_EQ(a.GetCount(), 0);
}
