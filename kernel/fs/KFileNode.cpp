#include "fs/KFileNode.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "storage/IStorageManager.h"

KFileNode::KFileNode(uint32_t extra)
    : m_NamePool(1, kNameBlock), m_RecordPool(FN_HEAD_SIZE + extra, kRecordBlock), m_dwExtra(extra)
{}

KFileNode::~KFileNode() = default;

tagFileNode* KFileNode::AddNode(int nameLength)
{
    if (nameLength < 0 || nameLength > kMaxNameLength) return nullptr;
    const uint32_t nameBytes = static_cast<uint32_t>(nameLength) + 1;
    auto* name = static_cast<char*>(m_NamePool.Alloc(nameBytes));
    if (!name) return nullptr;
    auto* record = static_cast<tagFileNode*>(m_RecordPool.Alloc(1));
    if (!record) return nullptr;
    try
    {
        m_Index.push_back({record, name});
    }
    catch (const std::bad_alloc&)
    {
        return nullptr;
    }
    std::memset(name, 0, nameBytes);
    std::memset(static_cast<void*>(record), 0, GetRecordSize());
    record->pszName = static_cast<uint32_t>(m_Index.size() - 1);
    return record;
}

tagFileNode* KFileNode::AddNode(std::string_view name)
{
    const size_t length = std::min(name.size(), static_cast<size_t>(kMaxNameLength));
    tagFileNode* record = AddNode(static_cast<int>(length));
    if (record) std::memcpy(m_Index.back().pszName, name.data(), length);
    return record;
}

tagFileNode* KFileNode::GetNode(int index) const
{
    if (index < 0 || static_cast<size_t>(index) >= m_Index.size()) return nullptr;
    return m_Index[static_cast<size_t>(index)].pRecord;
}

void KFileNode::Clear()
{
    m_Index.clear();
    m_Index.shrink_to_fit();
    m_NamePool.FreeAll();
    m_RecordPool.FreeAll();
}

bool KFileNode::Owns(const tagFileNode* record) const
{
    if (!record) return false;
    const uint32_t index = record->pszName;
    return index < m_Index.size() && m_Index[index].pRecord == record;
}

const char* KFileNode::GetName(const tagFileNode* record) const
{
    return Owns(record) ? m_Index[record->pszName].pszName : "";
}

char* KFileNode::GetNameBuffer(const tagFileNode* record)
{
    return Owns(record) ? m_Index[record->pszName].pszName : nullptr;
}

bool KFileNode::SetName(tagFileNode* record, std::string_view name)
{
    if (!Owns(record)) return false;
    const size_t length = std::min(name.size(), static_cast<size_t>(kMaxNameLength));
    auto* area = static_cast<char*>(m_NamePool.Alloc(static_cast<uint32_t>(length) + 1));
    if (!area) return false;
    std::memcpy(area, name.data(), length);
    area[length] = '\0';
    m_Index[record->pszName].pszName = area;
    return true;
}

// Stored form: u32 record count, then per record u32 name length, the name bytes (no
// terminator) and the raw record (head and extra bytes; the name slot is stale).
int KFileNode::SaveTo(IStorageManager* out)
{
    const auto count = static_cast<uint32_t>(m_Index.size());
    if (!StorageWrite(out, count)) return 0;
    const int recordSize = static_cast<int>(GetRecordSize());
    for (const Entry& entry : m_Index)
    {
        const auto length = static_cast<uint32_t>(std::strlen(entry.pszName));
        if (!StorageWrite(out, length) || !StorageWriteExact(out, entry.pszName, static_cast<int>(length)) ||
            !StorageWriteExact(out, entry.pRecord, recordSize))
            return 0;
    }
    return 1;
}

// Every length read from the stream is untrusted: a name longer than the load buffer, or a
// stream that ends inside a record, fails the load instead of reading past a buffer. A
// condition byte of no known value loads as unknown rather than as a claim about the data.
int KFileNode::LoadFrom(IStorageManager* in)
{
    Clear();
    uint32_t count = 0;
    if (!StorageRead(in, count)) return 0;
    const size_t recordSize = GetRecordSize();
    std::unique_ptr<uint8_t[]> scratch(new (std::nothrow) uint8_t[recordSize]);
    if (!scratch) return 0;
    char name[kMaxLoadedNameLength + 1];
    for (uint32_t i = 0; i < count; ++i)
    {
        std::memset(name, 0, sizeof(name));
        uint32_t length = 0;
        if (!StorageRead(in, length) || length > static_cast<uint32_t>(kMaxLoadedNameLength)) return 0;
        if (!StorageReadExact(in, name, static_cast<int>(length)) ||
            !StorageReadExact(in, scratch.get(), static_cast<int>(recordSize)))
            return 0;
        tagFileNode* record = AddNode(static_cast<int>(std::strlen(name)));
        if (!record) return 0;
        const uint32_t ownSlot = record->pszName;
        std::memcpy(static_cast<void*>(record), scratch.get(), recordSize);
        record->pszName = ownSlot;
        record->byCondition = KnownCondition(record->byCondition);
        std::memcpy(m_Index.back().pszName, name, std::strlen(name));
    }
    return 1;
}
