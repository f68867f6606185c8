#pragma once
// The common body of every deep-scan file type. A type supplies a descriptor (extension,
// description, size limits), a signature table, a header check and, where the header does not
// tell the length, an end finder; this base implements the plug-in interface once for all of
// them and walks the scan buffer.
//
// The walk: files start at sector boundaries, so only sector starts are examined. Every
// signature of a type sits at the same offset (the key offset); a 256-entry table of the byte
// found there rejects a sector with one lookup, which keeps a scan with every type enabled
// cheap. Only a sector that passes the table and the full signature bytes is handed to the
// header check, and only an accepted header to the end finder.
//
// After a hit of known size (or of a known covered part), later starts of the same type inside
// that file are ignored (a video's packs, an audio file's frames, a picture's embedded
// thumbnail and an archive's members are not files of their own). BeginScan forgets this.
#include <array>
#include <cstdint>
#include <new>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "base/ByteView.h"
#include "common/KRawReader.h"
#include "raw/RawFileTypeAbi.h"

struct tagRawTypeInfo
{
    const char* extension;   // without a dot
    const char* description; // display name
    int64_t minSize;         // bytes; a smaller file is not one of ours
    int64_t maxSize;         // bytes; also the furthest any walk reads
};

struct tagRawSignature
{
    uint32_t offset; // from the file's first byte; the same for every entry of a type
    uint32_t length; // 1..16
    const char* bytes;
};

/// What a header check says about a candidate start.
enum class RawHeader
{
    No,    // not a file of this type
    Sized, // a file of this type whose length the header gives (the size argument)
    Open   // a file of this type; the end finder decides its length
};

struct tagRawMatch
{
    bool found = false;
    uint64_t size = 0; // 0: the end cannot be told
    /// With size 0: bytes from the start known to belong to the file (walked before the
    /// structure broke off), so that starts of this type inside them are not taken as files of
    /// their own (a cut archive's later members).
    uint64_t covered = 0;
};

class KRawTypeBase : public IRawFileType
{
public:
    /// Bytes of a candidate handed to CheckHeader: at most this many, and only what the scan
    /// buffer holds (at least one sector), so that rejecting a false start never costs a read.
    /// A type that needs more to decide answers Open and finishes the check in FindEnd, where
    /// ViewUpTo(0, kHeadBytes) reads on through the volume.
    static constexpr size_t kHeadBytes = 8192;

    KRawTypeBase(const tagRawTypeInfo& info, std::span<const tagRawSignature> signatures);
    /// A type without fixed signature bytes (text): a sector is a candidate when its first byte
    /// is one the table marks; the header check decides the rest.
    KRawTypeBase(const tagRawTypeInfo& info, const std::array<bool, 256>& firstBytes);
    virtual ~KRawTypeBase() = default;
    KRawTypeBase(const KRawTypeBase&) = delete;
    KRawTypeBase& operator=(const KRawTypeBase&) = delete;

    int Initiate() final;
    int GetDescription(char* buffer, uint32_t size) final;
    int GetExtension(char* buffer, uint32_t size) final;
    int BeginScan() final;
    int EndScan() final;
    int Scan(const RawScanArgs* args, IRawFileArray* hits) final;
    int Reserved6() final { return 0; }
    int Reserved7() final { return 0; }
    void Release() final;
    int Reserved9() final { return 0; }
    int GetInfo(int id, void* out, uint32_t size) final;

    const tagRawTypeInfo& Info() const { return m_Info; }

    /// The whole decision for one candidate start: signature, header, end. Used by Scan and
    /// directly by tests and fuzzers.
    tagRawMatch Examine(KRawReader& reader) const;
    /// The name an accepted file carries in its own metadata (empty when none), without an
    /// extension; the engine cleans and cuts it. Used by Scan for every hit, and by tests.
    std::string MetadataName(KRawReader& reader, const tagRawMatch& match) const { return NameOf(reader, match); }

protected:
    /// Pure check of the first bytes (`head` holds up to kHeadBytes). For Sized, `size` is the
    /// file's length in bytes.
    virtual RawHeader CheckHeader(ByteView head, uint64_t& size) const = 0;
    /// Walks an accepted file to its end. found=false rejects the candidate after all (the
    /// structure breaks off too early to be a file); size 0 means the end cannot be told.
    virtual tagRawMatch FindEnd(KRawReader& reader) const;
    /// Types without signature bytes: a cheap look at a candidate sector and at the sector
    /// before it (null when that one is not in the scan buffer) before anything else is done;
    /// false drops the candidate.
    virtual bool Plausible(const uint8_t* sector, const uint8_t* previous, uint32_t bytesPerSector) const;
    /// A found file's name from its metadata (date and camera, artist and title, a title), read
    /// with the same bounded reader; empty when the file carries none. Only found files get
    /// here, so reading a few more bytes costs the scan nothing measurable.
    virtual std::string NameOf(KRawReader& reader, const tagRawMatch& match) const;

private:
    bool SignatureAt(const uint8_t* sector, uint32_t bytesPerSector) const;

    tagRawTypeInfo m_Info;
    std::span<const tagRawSignature> m_Signatures;
    uint32_t m_KeyOffset = 0;
    std::array<bool, 256> m_KeyTable{};
    bool m_KeyOnly = false;  // candidates are told by the key table alone
    int64_t m_SkipUntil = 0; // volume sector before which no new start of this type is taken
    // Metadata names of the hits of the last Scan call (first sector, name), for GetInfo.
    std::vector<std::pair<int64_t, std::string>> m_Names;
};

/// Creates one type object; the engine owns it until Release().
using RawTypeCreate = KRawTypeBase* (*)();

template <typename T> KRawTypeBase* CreateRawType() { return new (std::nothrow) T(); }
