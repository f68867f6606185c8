#include "support/TestImages.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/TestFiles.h"

namespace {

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator)) parts.push_back(part);
    // getline drops an empty last field ("a\tb\t"); keep it so that the field count is honest.
    if (!text.empty() && text.back() == separator) parts.emplace_back();
    return parts;
}

// A non-negative decimal number and nothing else.
bool ParseCount(const std::string& text, int64_t* out)
{
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    *out = std::stoll(text);
    return true;
}

bool IsLowerHex(const std::string& text)
{
    return !text.empty() && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

bool ParseFileLine(const std::string& line, ManifestFile* out)
{
    const std::vector<std::string> f = Split(line, '\t');
    if (f.size() != 4) return false;
    const std::string& state = f[0];
    if (state != "present" && state != "deleted" && state != "deleted-overwritten" && state != "formatted" &&
        state != "deleted-fragmented" && state != "entry-overwritten" && state != "root-lost")
        return false;
    if (!ParseCount(f[1], &out->Size) || f[2].size() != 64 || !IsLowerHex(f[2])) return false;
    if (f[3].empty() || f[3][0] == '/') return false;
    out->State = state;
    out->Sha256 = f[2];
    out->Path = f[3];
    return true;
}

// "<label> start=.. sectors=.. fs=.. cluster=.. serial=.. [entry-sectors=..] [sector-bytes=..] [state=..]"
bool ParsePartitionLine(const std::string& rest, ManifestPartition* out)
{
    std::istringstream words(rest);
    if (!(words >> out->Label)) return false;
    bool start = false, sectors = false, cluster = false;
    std::string word;
    while (words >> word)
    {
        const size_t eq = word.find('=');
        if (eq == std::string::npos) return false;
        const std::string key = word.substr(0, eq), value = word.substr(eq + 1);
        if (key == "start")
            start = ParseCount(value, &out->Start);
        else if (key == "sectors")
            sectors = ParseCount(value, &out->Sectors);
        else if (key == "cluster")
            cluster = ParseCount(value, &out->ClusterBytes);
        else if (key == "entry-sectors")
        {
            if (!ParseCount(value, &out->EntrySectors)) return false;
        }
        else if (key == "sector-bytes")
        {
            if (!ParseCount(value, &out->SectorBytes) || out->SectorBytes < 512) return false;
        }
        else if (key == "fs")
            out->Fs = value;
        else if (key == "serial")
            out->Serial = value;
        else if (key == "state")
            out->State = value;
        else
            return false;
    }
    const bool knownFs =
        out->Fs == "fat12" || out->Fs == "fat16" || out->Fs == "fat32" || out->Fs == "ntfs" || out->Fs == "exfat";
    const bool knownState = out->State.empty() || out->State == "deleted" || out->State == "overwritten-by-format";
    return start && sectors && cluster && knownFs && knownState && IsLowerHex(out->Serial);
}

bool SameComponent(const std::string& recovered, const std::string& manifest)
{
    if (recovered.size() != manifest.size()) return false;
    for (size_t i = 0; i < recovered.size(); ++i)
    {
        // A deleted 8.3 entry has lost its first byte to the deletion mark.
        if (i == 0 && recovered[0] == '_') continue;
        const auto a = static_cast<unsigned char>(recovered[i]), b = static_cast<unsigned char>(manifest[i]);
        const auto upper = [](unsigned char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; };
        if (upper(a) != upper(b)) return false;
    }
    return true;
}

} // namespace

std::string FixturePath(const std::string& name, const std::string& suffix)
{
    const std::string data = SourcePath("tests/data/" + name + suffix);
    if (std::filesystem::exists(data)) return data;
    const std::string sample = SourcePath("samples/" + name + suffix);
    return std::filesystem::exists(sample) ? sample : data;
}

ImageManifest ReadManifestFile(const std::string& path)
{
    ImageManifest m;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line))
    {
        if (line.rfind("# partition ", 0) == 0)
        {
            ManifestPartition p;
            if (ParsePartitionLine(line.substr(12), &p))
                m.Partitions.push_back(p);
            else
                m.Malformed.push_back(line);
            continue;
        }
        if (line.empty() || line[0] == '#') continue;
        ManifestFile f;
        if (ParseFileLine(line, &f))
            m.Files.push_back(f);
        else
            m.Malformed.push_back(line);
    }
    return m;
}

ImageManifest LoadManifest(const std::string& name)
{
    const std::string path = FixturePath(name, ".manifest");
    ImageManifest m = ReadManifestFile(path);
    EXPECT_FALSE(m.Files.empty()) << "no file lines in " << path;
    for (const std::string& line : m.Malformed) ADD_FAILURE() << path << ": malformed line: " << line;
    return m;
}

bool UnpackFixtureImage(const std::string& name, const std::string& target)
{
    return UnpackZst(FixturePath(name, ".img.zst"), target);
}

std::vector<uint8_t> LoadFixtureImage(const std::string& name)
{
    const std::string compressed = FixturePath(name, ".img.zst");
    if (!std::filesystem::exists(compressed)) return {};
    // Straight into memory: the disk images unpack to 1 GiB, which a temporary file would
    // write out in full.
    FILE* pipe = ::popen(("zstd -q -d -c " + ShellQuote(compressed)).c_str(), "r");
    if (!pipe) return {};
    std::vector<uint8_t> image;
    std::vector<uint8_t> block(1 << 20);
    size_t n = 0;
    while ((n = std::fread(block.data(), 1, block.size(), pipe)) > 0)
        image.insert(image.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(n));
    return ::pclose(pipe) == 0 ? image : std::vector<uint8_t>{};
}

std::map<std::string, std::string> HashTree(const std::string& folder)
{
    std::map<std::string, std::string> tree;
    if (!std::filesystem::exists(folder)) return tree;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
    {
        if (entry.is_regular_file())
            tree[std::filesystem::relative(entry.path(), folder).string()] = Sha256OfFile(entry.path().string());
    }
    return tree;
}

bool SameRecoveredPath(const std::string& recovered, const std::string& manifest)
{
    const std::vector<std::string> a = Split(recovered, '/');
    const std::vector<std::string> b = Split(manifest, '/');
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
    {
        if (!SameComponent(a[i], b[i])) return false;
    }
    return true;
}

std::string FindRecovered(const std::map<std::string, std::string>& tree, const std::string& manifestPath)
{
    for (const auto& [path, sha] : tree)
    {
        if (SameRecoveredPath(path, manifestPath)) return path;
    }
    return {};
}
