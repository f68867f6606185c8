#pragma once
// A disk-image file (or a block device given as an image) read as one run of bytes, whatever
// container holds it: a raw copy, a raw copy split into numbered parts, or an image format
// read through its library (EWF, VHD/VHDX, VMDK, QCOW). Always opened read-only. One reader
// per container, each in its own file; OsOpenImage picks one by the file's signature.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/VlmErrors.h"
#include "base/VlmTrace.h"

class OsImage
{
public:
    virtual ~OsImage() = default;
    /// The disk's size in bytes (of the disk inside the container, not of the file).
    virtual uint64_t Length() const = 0;
    /// The sector size the container records, or the block device's; 0 when it does not say.
    virtual uint32_t SectorSize() const { return 0; }
    /// Reads `length` bytes at `offset` of the disk. 0 and `*got` == length on success; a read
    /// that ends at the disk's end stops there (0, fewer bytes); else an error number.
    virtual uint32_t ReadAt(uint64_t offset, void* buffer, size_t length, size_t* got) = 0;
    /// "raw", "E01", "VHD", ... for messages.
    virtual const char* FormatName() const = 0;
    /// Every file the image is read from (the parts of a split image, an E01's segments).
    virtual std::vector<std::string> Files() const = 0;
    /// True when ReadAt may run on several threads at once (plain files read with pread); the
    /// library readers keep caches and are read one call at a time.
    virtual bool ConcurrentReads() const { return false; }
    /// The disk is about to be read from start to end (read-ahead may be widened).
    virtual void AdviseSequential() {}

protected:
    /// The body of ReadAt for a disk of `diskLength` bytes read through a library: the read is
    /// cut at the disk's end, then `read(buffer, length, offset)` returns the bytes it read or a
    /// negative number on failure.
    template <typename Read>
    uint32_t ClampedRead(uint64_t diskLength, uint64_t offset, void* buffer, size_t length, size_t* got, Read&& read)
    {
        *got = 0;
        if (offset >= diskLength) return ERROR_SUCCESS;
        if (length > diskLength - offset) length = static_cast<size_t>(diskLength - offset);
        const auto n = read(buffer, length, offset);
        if (n < 0)
        {
            VlmTrace("%s read at %llu failed\n", FormatName(), static_cast<unsigned long long>(offset));
            return ERROR_READ_FAULT;
        }
        *got = static_cast<size_t>(n);
        return ERROR_SUCCESS;
    }
};

/// Opens `path` with reader T (whose Open(path, why) returns an error number) and hands it over.
template <typename T> uint32_t OsOpenImageAs(const std::string& path, std::unique_ptr<OsImage>* image, std::string* why)
{
    auto reader = std::make_unique<T>();
    if (const uint32_t err = reader->Open(path, why); err != ERROR_SUCCESS) return err;
    *image = std::move(reader);
    return ERROR_SUCCESS;
}

/// Opens `path` as an image. On failure `why` says what is wrong with it in words.
uint32_t OsOpenImage(const std::string& path, std::unique_ptr<OsImage>* image, std::string* why = nullptr);

// The readers OsOpenImage chooses from (each in its own OsImage*.cpp).
uint32_t OsOpenRawImage(const std::string& path, std::unique_ptr<OsImage>* image, std::string* why);
uint32_t OsOpenEwfImage(const std::string& path, std::unique_ptr<OsImage>* image, std::string* why);
uint32_t OsOpenVhdImage(const std::string& path, std::unique_ptr<OsImage>* image, std::string* why);
uint32_t OsOpenVmdkImage(const std::string& path, std::unique_ptr<OsImage>* image, std::string* why);
uint32_t OsOpenQcowImage(const std::string& path, std::unique_ptr<OsImage>* image, std::string* why);

// A sector size a container states, kept only when it is one the engine reads (1024..4096, a
// power of two); 0 otherwise. 512 is not kept either: VHD records nothing else and EWF records
// 512 unless the imager was told otherwise, so it proves nothing, and the volume layer's look
// at the first sectors decides as for a raw image.
uint32_t OsContainerSectorSize(uint64_t bytes);
