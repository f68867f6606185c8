#include "engine/KFileSystemMgr.h"

#include <new>

#include "fs/IFileSystem.h"
#include "raw/KRawFileSystem.h"
#include "volume/KVolumeManager.h"

// The FAT and NTFS scanners join the table when their sources are part of the tree.
#if __has_include("fat/KFatFileSystem.h")
#include "fat/KFatFileSystem.h"
#define VLM_HAVE_FAT 1
#endif
#if __has_include("exfat/KExFatFileSystem.h")
#include "exfat/KExFatFileSystem.h"
#define VLM_HAVE_EXFAT 1
#endif
#if __has_include("ntfs/KNtfsFileSystem.h")
#include "ntfs/KNtfsFileSystem.h"
#define VLM_HAVE_NTFS 1
#endif

namespace {

using Factory = IFileSystem* (*)();

template <typename T> IFileSystem* Make() { return new (std::nothrow) T(); }

[[maybe_unused]] IFileSystem* MakeNothing() { return nullptr; }

#ifdef VLM_HAVE_FAT
constexpr Factory kFat = &Make<KFatFileSystem>;
#else
constexpr Factory kFat = &MakeNothing;
#endif
#ifdef VLM_HAVE_NTFS
constexpr Factory kNtfs = &Make<KNtfsFileSystem>;
#else
constexpr Factory kNtfs = &MakeNothing;
#endif

#ifdef VLM_HAVE_EXFAT
constexpr Factory kExFat = &Make<KExFatFileSystem>;
#else
constexpr Factory kExFat = &MakeNothing;
#endif

struct FactoryRow
{
    uint32_t kind;
    Factory make;
};

constexpr FactoryRow kFactories[] = {
    {KFileSystemMgr::kKindFat12, kFat},
    {KFileSystemMgr::kKindFat16, kFat},
    {KFileSystemMgr::kKindFat32, kFat},
    {KFileSystemMgr::kKindNtfs, kNtfs},
    {KFileSystemMgr::kKindRaw, &Make<KRawFileSystem>},
    {KFileSystemMgr::kKindExFat, kExFat},
};

// Partition type codes of the volume record.
constexpr int32_t kCodeFat12 = 1;
constexpr int32_t kCodeFat16 = 6;
constexpr int32_t kCodeNtfs = 7;
constexpr int32_t kCodeFat32 = 11;
constexpr int32_t kCodeExFat = 0x107;

} // namespace

KFileSystemMgr::~KFileSystemMgr() { DeleteAll(); }

IFileSystem* KFileSystemMgr::Create(uint32_t kind)
{
    for (const FactoryRow& row : kFactories)
    {
        if (row.kind != kind) continue;
        IFileSystem* fs = row.make();
        if (!fs) return nullptr;
        try
        {
            m_List.push_back({kind, fs});
        }
        catch (const std::bad_alloc&)
        {
            delete fs;
            return nullptr;
        }
        return fs;
    }
    return nullptr;
}

IFileSystem* KFileSystemMgr::CreateForVolume(IVolumeIO* volume)
{
    if (!volume) return nullptr;
    const tagVolumeInfo* record = VolumeRecordOf(volume);
    if (!record) return nullptr;
    switch (record->PartitionType)
    {
    case kCodeFat12: return Create(kKindFat12);
    case kCodeFat16: return Create(kKindFat16);
    case kCodeNtfs: return Create(kKindNtfs);
    case kCodeFat32: return Create(kKindFat32);
    case kCodeExFat: return Create(kKindExFat);
    default: return Create(kKindRaw);
    }
}

int KFileSystemMgr::Delete(IFileSystem* fs)
{
    for (auto it = m_List.begin(); it != m_List.end(); ++it)
    {
        if (it->fs != fs) continue;
        delete it->fs;
        m_List.erase(it);
        return 1;
    }
    return 0;
}

void KFileSystemMgr::DeleteAll()
{
    for (Entry& e : m_List) delete e.fs;
    m_List.clear();
}

int KFileSystemMgr::GetCount() const { return static_cast<int>(m_List.size()); }

IFileSystem* KFileSystemMgr::GetAt(int index) const
{
    return index >= 0 && index < GetCount() ? m_List[static_cast<size_t>(index)].fs : nullptr;
}

uint32_t KFileSystemMgr::GetKind(int index) const
{
    return index >= 0 && index < GetCount() ? m_List[static_cast<size_t>(index)].kind : kKindNone;
}
