#include "support/IdleFileSystem.h"

#include "base/VlmErrors.h"

void IdleFileSystem::SetSectorInfo(uint32_t value, uint32_t bytesPerSector)
{
    m_dwSectorValue = value;
    m_dwBytesPerSector = bytesPerSector;
}

uint32_t IdleFileSystem::GetSectorInfo(uint32_t* bytesPerSector)
{
    if (bytesPerSector) *bytesPerSector = m_dwBytesPerSector;
    return m_dwSectorValue;
}

int IdleFileSystem::GetCandidateCount(uint32_t* count)
{
    if (count) *count = 0;
    return 1;
}

uint32_t IdleFileSystem::SaveFile(const tagFileNode*, const std::string&) { return ERROR_FUNCTION_FAILED; }
