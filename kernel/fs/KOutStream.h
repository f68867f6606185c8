#pragma once
// The stream of a file whose data lies in sectors of a volume: the file's runs, read straight
// from the volume. It never reads ahead or caches; each Read fetches exactly the sectors that
// hold the requested bytes.
#include <cstdint>
#include <string>
#include <vector>

#include "fs/IOutStream.h"
#include "fs/tagFileNode.h"

class IVolumeIO;
class KFileNode;

class KOutStream : public IOutStream
{
public:
    /// Longest UTF-16 name kept for GetNameW (a 255-unit file name fits with room to spare).
    static constexpr size_t kMaxWideName = 1023;

    /// `record` (or null) gives the size; `store` (or null) its name. `volume` is not owned; a
    /// null volume makes every read fail.
    KOutStream(const tagFileNode* record, IVolumeIO* volume, const KFileNode* store = nullptr);
    ~KOutStream() override;

    int SetRuns(const StreamVector& runs);

    int GetSize(int64_t* size) override;
    int GetName(std::string* name) override;
    int SetName(const std::string& name) override;
    const char* GetNameA() override { return m_strName.c_str(); }
    const char16_t* GetNameW() override { return m_wszName.c_str(); }
    int Seek(int origin, int64_t offset, int64_t* newPos) override;
    int Read(uint8_t* buffer, int64_t length, int64_t* done) override;

    uint32_t GetSectorSize() const { return m_dwSectorSize; }
    int64_t GetPosition() const { return m_s64Position; }

private:
    struct Location
    {
        size_t run; // index into m_Runs
        uint64_t sectorInRun;
        uint32_t byteInSector;
        int64_t bytesLeftInRun; // from the position to the run's end
    };
    bool Locate(Location* at);
    bool ReadPiece(const Location& at, uint8_t* out, int64_t piece);
    bool ReadPartial(uint64_t sector, uint32_t offset, uint8_t* out, size_t bytes);

    StreamVector m_Runs;
    IVolumeIO* m_pVolume;
    int64_t m_s64FileSize = 0;
    std::string m_strName;
    uint32_t m_dwSectorSize = 512;
    int64_t m_s64Position = 0;
    std::u16string m_wszName;
    std::vector<uint8_t> m_Sector; // one sector for a piece's partial head or tail
    size_t m_CacheRun = 0;         // run found by the last Locate and the bytes before it
    int64_t m_s64CacheStart = 0;
};
