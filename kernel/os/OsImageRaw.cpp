// Raw images: one file or block device, or a copy split into parts name.001, name.002, ...
// (as split tools and forensic imagers write them) read as one run of bytes. Every part but the
// last is expected to be full; each part's own length is taken as it is.
#include <algorithm>
#include <cstdio>

#include "base/ResourceLimits.h"
#include "base/VlmErrors.h"
#include "os/OsDevice.h"
#include "os/OsFile.h"
#include "os/OsImage.h"

namespace {

struct Part
{
    int Fd;
    uint64_t Start;
    uint64_t Length;
    std::string Path;
};

class OsRawImage final : public OsImage
{
public:
    ~OsRawImage() override
    {
        for (const Part& p : m_Parts) OsCloseFd(p.Fd);
    }
    uint64_t Length() const override { return m_Parts.empty() ? 0 : m_Parts.back().Start + m_Parts.back().Length; }
    uint32_t SectorSize() const override { return m_SectorSize; }
    const char* FormatName() const override { return m_Parts.size() > 1 ? "split raw" : "raw"; }
    std::vector<std::string> Files() const override
    {
        std::vector<std::string> out;
        for (const Part& p : m_Parts) out.push_back(p.Path);
        return out;
    }

    bool ConcurrentReads() const override { return true; }
    void AdviseSequential() override
    {
        for (const Part& p : m_Parts) OsAdviseSequential(p.Fd);
    }

    uint32_t ReadAt(uint64_t offset, void* buffer, size_t length, size_t* got) override
    {
        *got = 0;
        auto* out = static_cast<uint8_t*>(buffer);
        // The part holding offset, then on into the next ones.
        auto it = std::upper_bound(m_Parts.begin(), m_Parts.end(), offset,
                                   [](uint64_t o, const Part& p) { return o < p.Start; });
        if (it == m_Parts.begin()) return ERROR_SUCCESS;
        for (--it; it != m_Parts.end() && *got < length; ++it)
        {
            const uint64_t at = offset + *got - it->Start;
            if (at >= it->Length) continue;
            const size_t want = static_cast<size_t>(std::min<uint64_t>(length - *got, it->Length - at));
            size_t n = 0;
            if (const uint32_t err = OsReadAt(it->Fd, at, out + *got, want, &n); err != ERROR_SUCCESS) return err;
            *got += n;
            if (n < want) break; // the part is shorter than it was: stop at the hole
        }
        return ERROR_SUCCESS;
    }

    uint32_t Add(const std::string& path)
    {
        int fd = -1;
        if (const uint32_t err = OsOpenReadOnly(path, &fd); err != ERROR_SUCCESS) return err;
        uint64_t length = 0;
        if (!OsQueryLength(fd, &length))
        {
            OsCloseFd(fd);
            return ERROR_INVALID_FUNCTION;
        }
        if (m_Parts.empty())
        {
            // A block device given as an image knows its logical sector size. 512 is still only
            // what the disk shows now: one partitioned behind a USB enclosure that showed 4096-byte
            // sectors, then attached directly, counts in those, and its own tables tell it.
            uint32_t bytes = 0;
            if (OsQuerySectorSize(fd, &bytes) && bytes > 512 && bytes <= 4096 && (bytes & (bytes - 1)) == 0)
                m_SectorSize = bytes;
        }
        m_Parts.push_back({fd, Length(), length, path});
        return ERROR_SUCCESS;
    }

private:
    std::vector<Part> m_Parts;
    uint32_t m_SectorSize = 0;
};

// "name.001" -> true with the stem "name."; the numbering runs .001, .002, ...
bool SplitStem(const std::string& path, std::string* stem)
{
    if (path.size() < 5 || path.compare(path.size() - 4, 4, ".001") != 0) return false;
    *stem = path.substr(0, path.size() - 3);
    return true;
}

} // namespace

uint32_t OsOpenRawImage(const std::string& path, std::unique_ptr<OsImage>* image, std::string* why)
{
    auto raw = std::make_unique<OsRawImage>();
    if (const uint32_t err = raw->Add(path); err != ERROR_SUCCESS) return err;
    std::string stem;
    if (SplitStem(path, &stem))
    {
        for (uint32_t n = 2; n <= VlmLimits::kMaxSplitImageParts; ++n)
        {
            char suffix[8];
            std::snprintf(suffix, sizeof(suffix), "%03u", n);
            if (!OsPathExists(stem + suffix)) break;
            if (const uint32_t err = raw->Add(stem + suffix); err != ERROR_SUCCESS)
            {
                if (why) *why = "cannot open the part '" + stem + suffix + "'";
                return err;
            }
        }
    }
    *image = std::move(raw);
    return ERROR_SUCCESS;
}
