#pragma once
// A record store: the flat list of fixed-size file records of one scanner, with their names.
// Records and names are carved from memory pools and released only as a whole (Clear), so a
// pointer to a record or a name stays valid until then.
//
// Names: the record's `pszName` slot holds its index in this store; the store keeps the name
// pointer of every record in a side table (one entry per record, beside the record pointer).
// GetName(record) checks that the record belongs to this store and answers "" otherwise.
#include <cstdint>
#include <string_view>
#include <vector>

#include "base/EngineStrings.h"
#include "base/ResourceLimits.h"
#include "base/KMemoryPool.h"
#include "fs/IDataStorage.h"
#include "base/IProgress.h"
#include "fs/tagFileNode.h"

class KFileNode : public IDataStorage, public IProgress_Server
{
public:
    static constexpr uint32_t kNameBlock = 51200;   // name-pool units (bytes) per block
    static constexpr uint32_t kRecordBlock = 12288; // records per block
    /// Longest name a store keeps (one name-pool block less its terminator).
    static constexpr int kMaxNameLength = static_cast<int>(kNameBlock) - 1;
    /// Longest stored name that loading accepts: a 255-unit UTF-16 name is at most 765 bytes.
    static constexpr int kMaxLoadedNameLength = VlmLimits::kMaxLoadedNameLength;

    explicit KFileNode(uint32_t extra);
    ~KFileNode() override;
    KFileNode(const KFileNode&) = delete;
    KFileNode& operator=(const KFileNode&) = delete;

    /// Reads a store written by SaveTo, replacing this one. 1, or 0 on a short or hostile
    /// stream (records read before the failure stay).
    int LoadFrom(IStorageManager* in) override;
    /// 1, or 0 when a write fell short.
    int SaveTo(IStorageManager* out) override;

    /// A new zero-filled record with a name area of nameLength + 1 bytes (zeroed), appended to
    /// the index; null when memory is exhausted or the length is out of range.
    tagFileNode* AddNode(int nameLength);
    /// AddNode with the name copied in (cut at kMaxNameLength).
    tagFileNode* AddNode(std::string_view name);
    template <typename T> T* Add(std::string_view name) { return static_cast<T*>(AddNode(name)); }
    /// The two folders a file system's tree starts with, into an empty store: its root
    /// (record 0, named `rootName`) and "Lost Files" (record 1), which takes the entries whose
    /// parent is gone. `fsKind` is the file system's FN_KIND_* bit. False without memory.
    template <typename T> bool AddRootAndLostFolders(std::string_view rootName, uint8_t fsKind)
    {
        T* root = Add<T>(rootName);
        T* lost = root ? Add<T>(EngineString(IDS_LOST_FILES)) : nullptr;
        if (!lost) return false;
        root->wValidMask = lost->wValidMask = FN_MASK_SYSTEM_FOLDER;
        root->wAttributes = lost->wAttributes = FN_ATTR_FOLDER;
        root->byKind = static_cast<uint8_t>(fsKind | FN_KIND_PRESENT);
        lost->byKind = static_cast<uint8_t>(fsKind | FN_KIND_LOST);
        lost->dwSelfId = 1;
        lost->dwParentId = 0;
        return true;
    }

    /// Record `index`, or null when out of range.
    tagFileNode* GetNode(int index) const;
    template <typename T> T* Get(int index) const { return static_cast<T*>(GetNode(index)); }
    int GetCount() const { return static_cast<int>(m_Index.size()); }
    void Clear();

    uint32_t GetExtra() const { return m_dwExtra; }
    uint32_t GetRecordSize() const { return FN_HEAD_SIZE + m_dwExtra; }

    /// True when `record` is a record of this store.
    bool Owns(const tagFileNode* record) const;
    /// The record's name; "" for a record of another store or null.
    const char* GetName(const tagFileNode* record) const;
    /// The writable name area given by AddNode (its length + 1 bytes); null when not owned.
    char* GetNameBuffer(const tagFileNode* record);
    /// Gives the record a new name in a fresh name area (the old one is reclaimed by Clear).
    bool SetName(tagFileNode* record, std::string_view name);

private:
    struct Entry
    {
        tagFileNode* pRecord;
        char* pszName;
    };

    KMemoryPool m_NamePool;
    KMemoryPool m_RecordPool;
    std::vector<Entry> m_Index;
    uint32_t m_dwExtra;
};
