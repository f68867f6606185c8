#include "ntfs/NtfsStateStorage.h"

#include <new>

#include "storage/IStorageManager.h"

bool SaveRuns(IStorageManager* out, const StreamVector& runs)
{
    if (!StorageWrite(out, static_cast<uint32_t>(runs.size()))) return false;
    return runs.empty() || StorageWriteExact(out, runs.data(), static_cast<int>(runs.size() * sizeof(tagStreamBlock)));
}

bool LoadRuns(IStorageManager* in, StreamVector* runs)
{
    uint32_t count = 0;
    if (!StorageRead(in, count) || count > kNtfsMaxStoredRuns) return false;
    try
    {
        return StorageReadItems(in, *runs, count);
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
}

bool SaveNtfsCandidate(IStorageManager* out, const NtfsCandidate& c)
{
    const FileSystemCandidate& h = c.Head;
    return StorageWrite(out, h.wLength) && StorageWrite(out, h.dwType) && StorageWrite(out, h.wSectorsPerCluster) &&
        StorageWrite(out, h.s64FirstSector) && StorageWrite(out, h.s64SectorCount) &&
        StorageWriteExact(out, h.szLabel, sizeof(h.szLabel)) && StorageWrite(out, h.dwFilesMatch) &&
        StorageWrite(out, h.dwFolderMatch) && StorageWrite(out, h.dwScore) && StorageWrite(out, h.byExtra) &&
        StorageWrite(out, c.byRebuilt) && StorageWrite(out, c.s64MftSector) && StorageWrite(out, c.s64MirrorSector) &&
        StorageWrite(out, c.s64HighestCluster) && StorageWrite(out, c.wSectorsPerFileRecord) &&
        StorageWrite(out, c.wSectorsPerIndexRecord) && SaveRuns(out, c.MftRuns);
}

bool LoadNtfsCandidate(IStorageManager* in, NtfsCandidate* c)
{
    FileSystemCandidate& h = c->Head;
    const bool ok = StorageRead(in, h.wLength) && StorageRead(in, h.dwType) && StorageRead(in, h.wSectorsPerCluster) &&
        StorageRead(in, h.s64FirstSector) && StorageRead(in, h.s64SectorCount) &&
        StorageReadExact(in, h.szLabel, sizeof(h.szLabel)) && StorageRead(in, h.dwFilesMatch) &&
        StorageRead(in, h.dwFolderMatch) && StorageRead(in, h.dwScore) && StorageRead(in, h.byExtra) &&
        StorageRead(in, c->byRebuilt) && StorageRead(in, c->s64MftSector) && StorageRead(in, c->s64MirrorSector) &&
        StorageRead(in, c->s64HighestCluster) && StorageRead(in, c->wSectorsPerFileRecord) &&
        StorageRead(in, c->wSectorsPerIndexRecord) && LoadRuns(in, &c->MftRuns);
    h.szLabel[sizeof(h.szLabel) - 1] = 0; // a stored label is used as a C string
    return ok;
}
