#include "support/TestFiles.h"

#include <sys/resource.h>

#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

FileSizeLimit::FileSizeLimit(uint64_t bytes)
{
    rlimit old{};
    if (::getrlimit(RLIMIT_FSIZE, &old) != 0) return;
    m_OldCurrent = old.rlim_cur;
    m_OldMax = old.rlim_max;
    m_OldHandler = std::signal(SIGXFSZ, SIG_IGN);
    m_Saved = true;
    rlimit lowered = old;
    lowered.rlim_cur = bytes;
    m_Ok = ::setrlimit(RLIMIT_FSIZE, &lowered) == 0;
}

FileSizeLimit::~FileSizeLimit()
{
    // The earlier handler is usually SIG_DFL, a null pointer: whether anything was changed is
    // kept apart.
    if (!m_Saved) return;
    const rlimit old{m_OldCurrent, m_OldMax};
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, m_OldHandler);
}

TempDir::TempDir()
{
    std::string pattern = std::filesystem::temp_directory_path().string() + "/vlmtest.XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back(0);
    if (!::mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
    m_Path = buf.data();
}

TempDir::~TempDir()
{
    std::error_code ec;
    // Files a test made read-only must still go.
    for (auto& e : std::filesystem::recursive_directory_iterator(m_Path, ec))
        std::filesystem::permissions(e.path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                     ec);
    std::filesystem::remove_all(m_Path, ec);
}

void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::vector<uint8_t> ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ReadFileText(const std::string& path)
{
    const std::vector<uint8_t> bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

std::string ShellQuote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

namespace {

// Compact SHA-256 (FIPS 180-4), enough for checking recovered files in tests.
struct Sha256
{
    uint32_t h[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    uint8_t block[64];
    size_t used = 0;
    uint64_t total = 0;

    static uint32_t Rot(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

    void Compress(const uint8_t* p)
    {
        static const uint32_t k[64] = {
            0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
            0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
            0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
            0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
            0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
            0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
            0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
            0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};
        uint32_t w[64];
        for (int i = 0; i < 16; ++i)
            w[i] = (uint32_t{p[4 * i]} << 24) | (uint32_t{p[4 * i + 1]} << 16) | (uint32_t{p[4 * i + 2]} << 8) |
                p[4 * i + 3];
        for (int i = 16; i < 64; ++i)
        {
            const uint32_t s0 = Rot(w[i - 15], 7) ^ Rot(w[i - 15], 18) ^ (w[i - 15] >> 3);
            const uint32_t s1 = Rot(w[i - 2], 17) ^ Rot(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], hh = h[7];
        for (int i = 0; i < 64; ++i)
        {
            const uint32_t t1 = hh + (Rot(e, 6) ^ Rot(e, 11) ^ Rot(e, 25)) + ((e & f) ^ (~e & g)) + k[i] + w[i];
            const uint32_t t2 = (Rot(a, 2) ^ Rot(a, 13) ^ Rot(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
            hh = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + t2;
        }
        h[0] += a;
        h[1] += b;
        h[2] += c;
        h[3] += d;
        h[4] += e;
        h[5] += f;
        h[6] += g;
        h[7] += hh;
    }

    void Update(const uint8_t* data, size_t size)
    {
        total += size;
        while (size)
        {
            const size_t n = std::min(size, 64 - used);
            std::memcpy(block + used, data, n);
            used += n;
            data += n;
            size -= n;
            if (used == 64)
            {
                Compress(block);
                used = 0;
            }
        }
    }

    std::string Final()
    {
        const uint64_t bits = total * 8;
        const uint8_t one = 0x80, zero = 0;
        Update(&one, 1);
        while (used != 56) Update(&zero, 1);
        uint8_t len[8];
        for (int i = 0; i < 8; ++i) len[i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
        Update(len, 8);
        char out[65];
        for (int i = 0; i < 8; ++i) std::snprintf(out + 8 * i, 9, "%08x", h[i]);
        return out;
    }
};

} // namespace

std::string Sha256Hex(const uint8_t* data, size_t size)
{
    Sha256 s;
    s.Update(data, size);
    return s.Final();
}

std::string Sha256OfFile(const std::string& path)
{
    const std::vector<uint8_t> bytes = ReadFileBytes(path);
    return Sha256Hex(bytes.data(), bytes.size());
}

std::string SourcePath(const std::string& relative) { return std::string(VLM_SOURCE_DIR) + "/" + relative; }

bool UnpackZst(const std::string& compressed, const std::string& target)
{
    if (!std::filesystem::exists(compressed)) return false;
    const std::string cmd = "zstd -q -d -f " + ShellQuote(compressed) + " -o " + ShellQuote(target);
    return std::system(cmd.c_str()) == 0;
}

std::vector<uint8_t> PatternBytes(size_t size, uint32_t seed)
{
    std::vector<uint8_t> out(size);
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; ++i)
    {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        out[i] = static_cast<uint8_t>(x);
    }
    return out;
}
