#pragma once
// The buffered byte stream through which every IDataStorage saves and loads itself.
//
/// Read and Write return 1 when the call is allowed (the stream is open in the matching mode
/// and the length is not negative), else 0, and report the bytes actually transferred in `done`.
/// A Read that delivers fewer bytes than asked has met the end of the data; a Write that
/// accepts fewer bytes (or returns 0) has failed. Callers needing exact sizes compare `done`.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

class IStorageManager
{
public:
    virtual ~IStorageManager() = default;
    virtual int Read(void* buffer, int length, int* done) = 0;
    virtual int Write(const void* buffer, int length, int* done) = 0;
};

// Exact transfers for callers that need every byte: false on any shortfall.
inline bool StorageReadExact(IStorageManager* in, void* buffer, int length)
{
    int done = 0;
    return in && in->Read(buffer, length, &done) && done == length;
}

inline bool StorageWriteExact(IStorageManager* out, const void* buffer, int length)
{
    int done = 0;
    return out && out->Write(buffer, length, &done) && done == length;
}

// Fixed-width little-endian values (the host is little-endian, see base/ByteView.h).
template <typename T> bool StorageRead(IStorageManager* in, T& value)
{
    static_assert(std::is_trivially_copyable_v<T>);
    if (StorageReadExact(in, &value, static_cast<int>(sizeof(T)))) return true;
    std::memset(&value, 0, sizeof(T));
    return false;
}

template <typename T> bool StorageWrite(IStorageManager* out, const T& value)
{
    static_assert(std::is_trivially_copyable_v<T>);
    return StorageWriteExact(out, &value, static_cast<int>(sizeof(T)));
}

// Reads `count` items into `items` (replacing what it held) a chunk of about 1 MiB at a time:
// a count from a damaged or hostile file then costs no more memory than the file really
// holds, instead of a large allocation that the first short read shows was never needed.
// May throw std::bad_alloc.
template <typename T> bool StorageReadItems(IStorageManager* in, std::vector<T>& items, size_t count)
{
    static_assert(std::is_trivially_copyable_v<T>);
    constexpr size_t kChunkItems = std::max<size_t>(1, (size_t{1} << 20) / sizeof(T));
    items.clear();
    while (items.size() < count)
    {
        const size_t at = items.size();
        const size_t n = std::min(count - at, kChunkItems);
        items.resize(at + n);
        if (!StorageReadExact(in, items.data() + at, static_cast<int>(n * sizeof(T)))) return false;
    }
    return true;
}
