#pragma once
// The deep-scan plug-in ABI. Frozen: plug-ins are built against this header alone, and the
// slot order of every class below is part of the binary interface. Plug-ins are shared
// libraries named "*.api" that export GetRawFileTypeFactory.
//
// Contract for plug-in authors:
// - Scan() is given a buffer of whole sectors and the volume it came from; it appends one hit per
//   file start found in the buffer. It may read further sectors through args->volume (for
//   example to walk a file's structure to its end) but must never write anything.
// - A hit's size is the file's length in bytes when the type can tell it from the file's own
//   structure, or 0 when it cannot (the engine then ends the file at the next hit, within the
//   limits GetInfo reports).
// - Nothing is thrown across this interface.
#include <cstdint>

class IVolumeIO;

#pragma pack(push, 1)
struct RawScanArgs
{
    int64_t firstSector; // volume-relative sector of buffer[0]
    const uint8_t* buffer;
    uint32_t sectorCount;
    uint32_t bytesPerSector;
    IVolumeIO* volume; // may be used to read beyond the buffer; never null during a scan
};

struct RawHit
{
    int64_t firstSector; // volume-relative first sector of the file
    int64_t size;        // bytes; 0 when the type cannot tell where the file ends
};
#pragma pack(pop)
static_assert(sizeof(RawHit) == 16);
static_assert(sizeof(void*) != 4 || sizeof(RawScanArgs) == 24, "the 32-bit layout is 24 bytes");

// Supplied by the engine; collects the hits of one Scan call.
class IRawFileArray
{
public:
    virtual void Clear() = 0;
    virtual void Add(const RawHit* hit) = 0;
    virtual int GetCount() = 0;
    virtual int GetAt(int index, RawHit* out) = 0; // 0 when index is out of range

protected:
    ~IRawFileArray() = default;
};

// Id 0 of GetInfo: two int64 values, the minimum and the maximum file size in bytes.
inline constexpr int RAW_INFO_SIZE_LIMITS = 0;
// Id 1 of GetInfo: one int32 set to 1 by a type whose Scan may run on one thread while other
// types' Scans run on others: it keeps its state in its own object and reads only through
// args->volume. The engine still calls one object from one thread at a time, with the buffers
// of a scan in volume order. Types that do not answer run one after the other on one thread.
inline constexpr int RAW_INFO_CONCURRENT = 1;

// Id 2 of GetInfo: the name a file found by the type's last Scan call carries in its own
// metadata (a photo's date and camera, a song's artist and title, a document's title). The
// engine fills firstSector with a hit of that call; a type that knows a name for it returns 0
// and writes the name, without a folder or an extension, as zero-terminated UTF-8 into `name`.
// The answer is only asked for between a Scan call and the type's next Scan or BeginScan, on
// the thread that made that Scan call. A
// type without names answers non-zero, as for every id it does not know, and its files keep
// their numbered names. The engine treats the text as untrusted: it cleans, cuts and
// de-duplicates it before it becomes a file name.
inline constexpr int RAW_INFO_HIT_NAME = 2;

#pragma pack(push, 1)
struct RawHitName
{
    int64_t firstSector; // in: a hit of the last Scan call
    char name[256];      // out: zero-terminated UTF-8
};
#pragma pack(pop)
static_assert(sizeof(RawHitName) == 264);

class IRawFileType
{
public:
    virtual int Initiate() = 0;                                  // 0: unusable, call Release
    virtual int GetDescription(char* buffer, uint32_t size) = 0; // zero-terminated display name
    virtual int GetExtension(char* buffer, uint32_t size) = 0;   // without a dot, e.g. "jpg"
    virtual int BeginScan() = 0;                                 // forget all state of a previous scan
    virtual int EndScan() = 0;
    virtual int Scan(const RawScanArgs* args, IRawFileArray* hits) = 0;
    virtual int Reserved6() = 0; // never called
    virtual int Reserved7() = 0; // never called
    virtual void Release() = 0;  // the object destroys itself
    virtual int Reserved9() = 0; // never called
    /// Returns 0 and fills `out` when the information `id` is known.
    virtual int GetInfo(int id, void* out, uint32_t size) = 0;

protected:
    ~IRawFileType() = default;
};

class IRawFileTypeFactory
{
public:
    virtual int GetCount() = 0;
    virtual IRawFileType* GetType(int index) = 0;

protected:
    ~IRawFileTypeFactory() = default;
};

extern "C" {
// The one export of a plug-in. The factory is never destroyed by the program.
typedef IRawFileTypeFactory* (*PFN_GetRawFileTypeFactory)();
IRawFileTypeFactory* GetRawFileTypeFactory();
}
