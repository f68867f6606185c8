#pragma once
// Temporary folders and files for tests, removed when the object goes away.
#include <cstdint>
#include <string>
#include <vector>

// Lowers this process's file-size limit and ignores SIGXFSZ while it lives, so that a write
// past `bytes` fails with EFBIG as on a target that takes no more; both are put back after.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(uint64_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool Ok() const { return m_Ok; }

private:
    uint64_t m_OldCurrent = 0;
    uint64_t m_OldMax = 0;
    void (*m_OldHandler)(int) = nullptr;
    bool m_Saved = false;
    bool m_Ok = false;
};

class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return m_Path; }
    std::string File(const std::string& name) const { return m_Path + "/" + name; }

private:
    std::string m_Path;
};

void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadFileBytes(const std::string& path);
// The whole file as text; "" when it cannot be read.
std::string ReadFileText(const std::string& path);
// `text` as one word for sh, in single quotes.
std::string ShellQuote(const std::string& text);
// SHA-256 of a byte range, lower-case hex.
std::string Sha256Hex(const uint8_t* data, size_t size);
std::string Sha256OfFile(const std::string& path);
// A repository path (relative to the source tree).
std::string SourcePath(const std::string& relative);
// Decompresses the zstd file `compressed` into `target`; false when missing or broken.
bool UnpackZst(const std::string& compressed, const std::string& target);
// Deterministic pseudo-random bytes.
std::vector<uint8_t> PatternBytes(size_t size, uint32_t seed);
/// Stores `value` little-endian in `width` bytes at `off` of `bytes` (checked). Inline: the fuzzers' seed
/// writer uses it without the rest of the test support.
inline void PutLE(std::vector<uint8_t>& bytes, size_t off, uint64_t value, size_t width)
{
    for (size_t i = 0; i < width; ++i) bytes.at(off + i) = static_cast<uint8_t>(value >> (8 * i));
}
