#pragma once
// File records: the fixed-size, packed records in which every scanner describes the files and
// folders it found. They are written byte for byte into scan-result files, so the layouts below
// are a stored format (little-endian, no padding).
//
// Names. The 4-byte `pszName` slot at offset 2 cannot hold a pointer on a 64-bit host. It holds
// the record's index in its store (KFileNode), which keeps a side table of name pointers; read a
// name with KFileNode::GetName(record) or, from a tree, KNodeTree::GetName(node). In a stored
// file these 4 bytes are stale and never read back: loading re-creates every name.
#include <cstddef>
#include <cstdint>

#pragma pack(push, 1)

// The common 34-byte head of every record.
struct tagFileNode
{
    uint16_t wValidMask;  // 0  which fields hold a value (FN_MASK_*)
    uint32_t pszName;     // 2  index of the record in its store (see above), stale when stored
    int64_t s64Size;      // 6  file size in bytes
    uint64_t ftCreated;   // 14 creation time, 100-ns units since 1601-01-01, local time
    uint64_t ftModified;  // 22 last-write time, same encoding
    uint16_t wAttributes; // 30 attribute bits (FN_ATTR_*)
    uint8_t byKind;       // 32 state (low nibble) and origin (high nibble) bits (FN_KIND_*)
    uint8_t byCondition;  // 33 the data's chances before a copy (FN_COND_*); 0 unknown
};

// The head plus the two identifiers that every scanner puts first behind it; the tree builder
// links records through them.
struct tagIdFileNode : tagFileNode
{
    uint32_t dwSelfId;   // 34 identifier under which other records name this one as parent
    uint32_t dwParentId; // 38 dwSelfId of the folder that holds this record
};

// FAT: the entry's first cluster follows the identifiers.
struct tagFatFileNode : tagIdFileNode
{
    uint32_t dwFirstCluster; // 42
};

// NTFS: the volume sector of the FILE record follows the identifiers.
struct tagNtfsFileNode : tagIdFileNode
{
    int64_t s64RecordSector; // 42
};

// Deep scan: head and identifiers only. ftCreated holds the file's first volume sector.
struct tagRawFileNode : tagIdFileNode
{};

#pragma pack(pop)

// Bytes behind the 34-byte head; a store is constructed with this number.
inline constexpr uint32_t FN_HEAD_SIZE = 34;
inline constexpr uint32_t FN_EXTRA_FAT = 12;
inline constexpr uint32_t FN_EXTRA_NTFS = 16;
inline constexpr uint32_t FN_EXTRA_RAW = 8;
inline constexpr uint32_t FN_EXTRA_IDS = 8; // the least a store needs for the tree builder

static_assert(sizeof(tagFileNode) == 34);
static_assert(offsetof(tagFileNode, pszName) == 2);
static_assert(offsetof(tagFileNode, s64Size) == 6);
static_assert(offsetof(tagFileNode, ftCreated) == 14);
static_assert(offsetof(tagFileNode, ftModified) == 22);
static_assert(offsetof(tagFileNode, wAttributes) == 30);
static_assert(offsetof(tagFileNode, byKind) == 32);
static_assert(offsetof(tagFileNode, byCondition) == 33);
static_assert(sizeof(tagIdFileNode) == 42);
static_assert(sizeof(tagFatFileNode) == 46);
static_assert(sizeof(tagNtfsFileNode) == 50);
static_assert(sizeof(tagRawFileNode) == 42);
// The derived records are not standard-layout (fields in base and derived), which makes
// offsetof conditionally supported; this compiler computes it, and the offsets are binding.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
static_assert(offsetof(tagIdFileNode, dwSelfId) == 34);
static_assert(offsetof(tagIdFileNode, dwParentId) == 38);
static_assert(offsetof(tagFatFileNode, dwFirstCluster) == 42);
static_assert(offsetof(tagNtfsFileNode, s64RecordSector) == 42);
#pragma GCC diagnostic pop

// wValidMask bits.
inline constexpr uint16_t FN_MASK_NAME = 0x01;
inline constexpr uint16_t FN_MASK_SIZE = 0x02;
inline constexpr uint16_t FN_MASK_ATTRIBUTES = 0x04;
inline constexpr uint16_t FN_MASK_CREATED = 0x08;
inline constexpr uint16_t FN_MASK_MODIFIED = 0x10;
inline constexpr uint16_t FN_MASK_KIND = 0x80;
inline constexpr uint16_t FN_MASK_FOUND = 0x9F;         // file or folder found on disk
inline constexpr uint16_t FN_MASK_SYSTEM_FOLDER = 0x85; // root, "Lost Files", full-scan lost folders
inline constexpr uint16_t FN_MASK_LOST_FOLDER = 0x87;   // folders made up by the tree builder

// wAttributes bits (the FAT attribute byte is the low byte).
inline constexpr uint16_t FN_ATTR_READONLY = 0x01;
inline constexpr uint16_t FN_ATTR_HIDDEN = 0x02;
inline constexpr uint16_t FN_ATTR_SYSTEM = 0x04;
inline constexpr uint16_t FN_ATTR_LABEL = 0x08;
inline constexpr uint16_t FN_ATTR_FOLDER = 0x10;
inline constexpr uint16_t FN_ATTR_ARCHIVE = 0x20;
inline constexpr uint16_t FN_ATTR_ENCRYPTED = 0x40;
inline constexpr uint16_t FN_ATTR_COMPRESSED = 0x800;

// byKind bits: state in the low nibble, origin in the high nibble.
inline constexpr uint8_t FN_KIND_PRESENT = 0x01;
inline constexpr uint8_t FN_KIND_DELETED = 0x02;
inline constexpr uint8_t FN_KIND_DEEP = 0x04;
inline constexpr uint8_t FN_KIND_LOST = 0x08;
inline constexpr uint8_t FN_KIND_NTFS = 0x10;
inline constexpr uint8_t FN_KIND_FAT = 0x20;
// A named data stream of the file (NTFS "file:stream"), listed beside it. Stored results of
// versions before streams were listed never set this bit.
inline constexpr uint8_t FN_KIND_STREAM = 0x40;

// byCondition: what the engine knows, before a file is copied, of whether the bytes the copy
// will read are the file's own. Results stored before the field existed hold 0 here, so 0 must
// stay "unknown".
inline constexpr uint8_t FN_COND_UNKNOWN = 0;     // nothing tells (deep-scan finds, maps not the file's own)
inline constexpr uint8_t FN_COND_INTACT = 1;      // the allocation maps leave the data to this file
inline constexpr uint8_t FN_COND_OVERWRITTEN = 2; // some of its clusters now belong to another file
inline constexpr uint8_t FN_COND_UNREADABLE = 3;  // some of its data lies on sectors that could not be read
inline constexpr uint8_t FN_COND_LAST = FN_COND_UNREADABLE;

// A condition byte read from an untrusted stored record: values no version wrote become unknown.
inline uint8_t KnownCondition(uint8_t value) { return value <= FN_COND_LAST ? value : FN_COND_UNKNOWN; }

// A file record counts in totals and can be saved: it has a size and attributes and is no folder.
inline bool IsFileRecord(const tagFileNode* r)
{
    return r && (r->wValidMask & (FN_MASK_SIZE | FN_MASK_ATTRIBUTES)) == (FN_MASK_SIZE | FN_MASK_ATTRIBUTES) &&
        !(r->wAttributes & FN_ATTR_FOLDER);
}

inline bool IsStreamRecord(const tagFileNode* r) { return r && (r->byKind & FN_KIND_STREAM); }

inline bool IsFolderRecord(const tagFileNode* r) { return r && (r->wAttributes & FN_ATTR_FOLDER); }
