#pragma once
// A file system that finds nothing and has no data: the scan protocol succeeds without
// candidates, no stream opens and no file copies out. Tests derive from it and override only
// the calls they watch or script.
#include <cstdint>
#include <string>

#include "fs/IFileSystem.h"

class IdleFileSystem : public IFileSystem
{
public:
    int LoadFrom(IStorageManager*) override { return 1; } // nothing to keep
    int SaveTo(IStorageManager*) override { return 1; }
    void SetVolume(IVolumeIO* volume) override { m_pVolume = volume; }
    IVolumeIO* GetVolume() override { return m_pVolume; }
    void SetSectorInfo(uint32_t value, uint32_t bytesPerSector) override;
    uint32_t GetSectorInfo(uint32_t* bytesPerSector) override;
    uint32_t Begin_ScanFS() override { return 0; }
    uint32_t ScanFS(ScanStats*, int64_t, const uint8_t*, int) override { return 0; }
    uint32_t End_ScanFS() override { return 0; }
    int GetCandidateCount(uint32_t* count) override;
    int GetCandidate(int, FileSystemCandidate*) override { return 0; }
    uint32_t SelectCandidate(uint32_t) override { return 0; }
    uint32_t BuildTree(KNodeTree*) override { return 0; }
    /// ERROR_FUNCTION_FAILED: there is no data to copy.
    uint32_t SaveFile(const tagFileNode*, const std::string&) override;
    IOutStream* OpenStream(const tagFileNode*) override { return nullptr; }
    bool GetDataRuns(const tagFileNode*, StreamVector*) override { return false; }

private:
    IVolumeIO* m_pVolume = nullptr;
    uint32_t m_dwSectorValue = 0;
    uint32_t m_dwBytesPerSector = 512;
};
