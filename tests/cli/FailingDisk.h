#pragma once
// A real failing disk for the command-line tests: an image behind a loop device with chosen
// sectors mapped to device-mapper's "error" target. Needs root, losetup and dmsetup; Device()
// is empty elsewhere and the tests skip.
#include <unistd.h>

#include <cstdio>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// Runs a shell command; its standard output, or nullopt when it fails.
inline std::optional<std::string> Shell(const std::string& command)
{
    FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
    if (!pipe) return std::nullopt;
    std::string out;
    char buffer[256];
    while (size_t n = std::fread(buffer, 1, sizeof(buffer), pipe)) out.append(buffer, n);
    if (::pclose(pipe) != 0) return std::nullopt;
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

class FailingDisk
{
public:
    FailingDisk(const std::string& image, uint64_t badSector) : FailingDisk(image, std::vector<uint64_t>{badSector}) {}
    // Each listed sector (in order, none twice) fails; the others read through.
    FailingDisk(const std::string& image, const std::vector<uint64_t>& badSectors)
    {
        if (::geteuid() != 0 || !Shell("command -v dmsetup && command -v losetup")) return;
        const auto loop = Shell("losetup -f --show -r '" + image + "'");
        if (!loop) return;
        m_Loop = *loop;
        const uint64_t sectors = std::filesystem::file_size(image) / 512;
        static int made = 0;
        m_Name = "vlm-test-" + std::to_string(::getpid()) + "-" + std::to_string(++made);
        std::string table;
        uint64_t at = 0;
        for (uint64_t bad : badSectors)
        {
            if (bad > at)
                table += std::to_string(at) + " " + std::to_string(bad - at) + " linear " + m_Loop + " " +
                    std::to_string(at) + "\n";
            table += std::to_string(bad) + " 1 error\n";
            at = bad + 1;
        }
        if (sectors > at)
            table += std::to_string(at) + " " + std::to_string(sectors - at) + " linear " + m_Loop + " " +
                std::to_string(at) + "\n";
        if (Shell("printf '" + table + "' | dmsetup create -r " + m_Name))
            m_Device = "/dev/mapper/" + m_Name;
        else
            m_Name.clear();
    }
    ~FailingDisk()
    {
        if (!m_Name.empty()) Shell("dmsetup remove " + m_Name);
        if (!m_Loop.empty()) Shell("losetup -d " + m_Loop);
    }
    const std::string& Device() const { return m_Device; }

private:
    std::string m_Loop, m_Name, m_Device;
};
