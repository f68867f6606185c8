#pragma once
// A found file's data as a seekable, read-only byte stream of exactly the file's size.
//
/// Seek and Read return 1 on success, 2 on failure (bad origin, no volume, null buffer, position
/// outside the data at the start of a read, out of memory, sector read error) and 4 at the end
/// of the data (seek target outside 0..size; data ending before the requested bytes). After a
/// failed read the position stays where the last complete piece left it.
/// The caller owns a stream and destroys it through the virtual destructor.
#include <cstdint>
#include <string>
#include <vector>

#pragma pack(push, 1)
// One run of a file's data, stored in this form in scan-result files.
struct tagStreamBlock
{
    int64_t s64FirstSector;  // 0  volume-relative; all bits set marks a hole (reads as zeros)
    uint32_t dwSectorCount;  // 8
    uint32_t dwReserved;     // 12 ignored by streams
};
#pragma pack(pop)
static_assert(sizeof(tagStreamBlock) == 16);

inline constexpr int64_t STREAM_HOLE_SECTOR = -1;

using StreamVector = std::vector<tagStreamBlock>;

inline constexpr int SEEK_ORIGIN_BEGIN = 0;
inline constexpr int SEEK_ORIGIN_CURRENT = 1;
inline constexpr int SEEK_ORIGIN_END = 2;

class IOutStream
{
public:
    virtual ~IOutStream() = default;
    virtual int GetSize(int64_t* size) = 0;
    virtual int GetName(std::string* name) = 0;
    virtual int SetName(const std::string& name) = 0;
    virtual const char* GetNameA() = 0;
    virtual const char16_t* GetNameW() = 0;
    virtual int Seek(int origin, int64_t offset, int64_t* newPos) = 0;
    virtual int Read(uint8_t* buffer, int64_t length, int64_t* done) = 0;
};
