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

#include "base/StreamBlock.h"

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
