#pragma once
// Creates, owns, finds and destroys the file systems of the current recovery. Kinds are fixed
// codes, each with a factory: 0 FAT12, 1 FAT16, 2 FAT32 (all three the FAT scanner, which tells
// the variants apart itself), 3 NTFS, 4 the deep scan, 6 exFAT. A kind whose scanner is not part of this
// build creates nothing (null).
#include <cstdint>
#include <vector>

class IFileSystem;
class IVolumeIO;

class KFileSystemMgr
{
public:
    static constexpr uint32_t kKindFat12 = 0;
    static constexpr uint32_t kKindFat16 = 1;
    static constexpr uint32_t kKindFat32 = 2;
    static constexpr uint32_t kKindNtfs = 3;
    static constexpr uint32_t kKindRaw = 4;
    static constexpr uint32_t kKindNone = 5; // GetKind of an index out of range
    static constexpr uint32_t kKindExFat = 6;

    KFileSystemMgr() = default;
    virtual ~KFileSystemMgr();
    KFileSystemMgr(const KFileSystemMgr&) = delete;
    KFileSystemMgr& operator=(const KFileSystemMgr&) = delete;

    /// A new, empty file system of `kind` (no volume yet), owned by the manager; null for an
    /// unknown kind or without memory, the list unchanged.
    virtual IFileSystem* Create(uint32_t kind);
    /// The kind that fits the volume's record in the volume list (by its partition type code:
    /// FAT12/16/32, NTFS, anything else the deep scan); null when the volume is not the one
    /// its record names.
    virtual IFileSystem* CreateForVolume(IVolumeIO* volume);
    /// 1 when found and destroyed, else 0.
    virtual int Delete(IFileSystem* fs);
    virtual void DeleteAll();
    virtual int GetCount() const;
    virtual IFileSystem* GetAt(int index) const;
    virtual uint32_t GetKind(int index) const;

private:
    struct Entry
    {
        uint32_t kind;
        IFileSystem* fs;
    };
    std::vector<Entry> m_List;
};
