#pragma once
// Copies of the committed test images for the read-only checks, with the fingerprint of each
// copy (content hash, size and modification time to the nanosecond) taken before any work.
#include <cstdint>
#include <string>
#include <vector>

#include "support/TestFiles.h"
#include "support/TestImages.h"

struct tagImageFingerprint
{
    std::string Sha256;
    uint64_t Size = 0;
    int64_t MtimeSec = 0;
    int64_t MtimeNsec = 0;
    bool operator==(const tagImageFingerprint&) const = default;
};

tagImageFingerprint FingerprintOf(const std::string& path);

class ReadOnlyImages
{
public:
    /// Unpacks tests/data/<name>.img.zst for every name into a fresh folder and fingerprints it.
    explicit ReadOnlyImages(const std::vector<std::string>& names);
    /// The path of an unpacked image by name.
    std::string Path(const std::string& name) const;
    const std::vector<std::string>& Names() const { return m_Names; }
    /// Adds a failure for every image whose fingerprint changed.
    void ExpectUnchanged() const;
    /// A folder for results and recovered files, outside the images.
    std::string Scratch(const std::string& name) const { return m_Dir.File(name); }

private:
    TempDir m_Dir;
    std::vector<std::string> m_Names;
    std::vector<tagImageFingerprint> m_Before;
};
