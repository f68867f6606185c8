#include "fs/KCandidateFileSystem.h"

#include <new>

#include "base/VlmErrors.h"
#include "fs/CopyFileOut.h"
#include "fs/KFileNode.h"
#include "volume/IVolumeIO.h"

void KCandidateFileSystem::SetVolume(IVolumeIO* volume)
{
    m_pVolume = volume;
    m_dwBytesPerSector = 0;
    m_s64TotalSectors = 0;
    tagDiskGeometry g{};
    if (volume && volume->GetGeometry(&g) == 0)
    {
        m_dwBytesPerSector = g.BytesPerSector;
        m_s64TotalSectors = static_cast<int64_t>(g.TotalSectors);
    }
    AttachScan();
}

void KCandidateFileSystem::DetachVolume()
{
    m_pVolume = nullptr;
    m_dwBytesPerSector = 0;
    m_s64TotalSectors = 0;
    AttachScan();
}

void KCandidateFileSystem::SetSectorInfo(uint32_t value, uint32_t bytesPerSector)
{
    m_dwSectorInfo = value;
    m_dwBytesPerSector = bytesPerSector;
    AttachScan();
}

uint32_t KCandidateFileSystem::GetSectorInfo(uint32_t* bytesPerSector)
{
    if (bytesPerSector) *bytesPerSector = m_dwBytesPerSector;
    return m_dwSectorInfo;
}

uint32_t KCandidateFileSystem::Begin_ScanFS()
{
    if (!m_pVolume || m_dwBytesPerSector == 0) return ERROR_CURRENT_DIRECTORY;
    ResetScan();
    return ERROR_SUCCESS;
}

uint32_t KCandidateFileSystem::ScanFS(ScanStats* stats, int64_t firstSector, const uint8_t* buffer, int sectorCount)
{
    if (!m_pVolume || m_dwBytesPerSector == 0) return ERROR_NOT_SAME_DEVICE;
    if (!buffer || sectorCount <= 0) return ERROR_SUCCESS;
    // The one place the pass's bare buffer becomes bounded views: sectorCount sectors of
    // m_dwBytesPerSector bytes, as the interface promises.
    const ByteView all(buffer, static_cast<size_t>(sectorCount) * m_dwBytesPerSector);
    try
    {
        for (int i = 0; i < sectorCount; ++i)
            ScanSector(stats, firstSector + i,
                       all.subspan(static_cast<size_t>(i) * m_dwBytesPerSector, m_dwBytesPerSector));
    }
    catch (const std::bad_alloc&)
    {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    return ERROR_SUCCESS;
}

uint32_t KCandidateFileSystem::End_ScanFS()
{
    try
    {
        EndScan();
    }
    catch (const std::bad_alloc&)
    {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    return ERROR_SUCCESS;
}

int KCandidateFileSystem::GetCandidateCount(uint32_t* count)
{
    if (count) *count = static_cast<uint32_t>(CandidateCount());
    return 1;
}

int KCandidateFileSystem::GetCandidate(int index, FileSystemCandidate* out)
{
    if (!out || index < 0 || static_cast<size_t>(index) >= CandidateCount()) return 0;
    *out = CandidateHead(static_cast<size_t>(index));
    return 1;
}

uint32_t KCandidateFileSystem::SelectCandidate(uint32_t index)
{
    if (!m_pVolume || m_dwBytesPerSector == 0) return ERROR_INVALID_PARAMETER;
    if (index != FS_CANDIDATE_VOLUME && index >= CandidateCount()) return ERROR_INVALID_PARAMETER;
    ClearSelection();
    try
    {
        return index == FS_CANDIDATE_VOLUME ? ReadVolume() : RebuildCandidate(index);
    }
    catch (const std::bad_alloc&)
    {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

uint32_t KCandidateFileSystem::SaveFile(const tagFileNode* record, const std::string& path)
{
    try
    {
        return CopyFileOut(*this, record, path, m_dwBytesPerSector);
    }
    catch (const std::bad_alloc&)
    {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

bool KCandidateFileSystem::GetDataRuns(const tagFileNode* record, StreamVector* runs)
{
    if (!runs || !record || !Records().Owns(record) || !IsFileRecord(record) || record->s64Size <= 0) return false;
    try
    {
        return FileRuns(record, runs);
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
}
