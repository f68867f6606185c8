#include "os/OsMounts.h"

#include <fstream>
#include <set>
#include <sstream>
#include <sys/stat.h>

#include "os/OsAdminOpener.h"
#include "os/OsDevice.h"

namespace {

// mountinfo escapes blanks, tabs, newlines and backslashes as \ooo.
std::string Unescape(const std::string& s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i)
    {
        if (s[i] == '\\' && i + 3 < s.size())
        {
            const std::string oct = s.substr(i + 1, 3);
            if (oct.size() == 3 && oct.find_first_not_of("01234567") == std::string::npos)
            {
                out += static_cast<char>(std::stoi(oct, nullptr, 8));
                i += 3;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

} // namespace

std::vector<OsMountedDevice> OsParseMountInfo(const std::string& text)
{
    std::vector<OsMountedDevice> mounts;
    std::set<std::string> seen;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line))
    {
        // id parent major:minor root mountpoint options [optional...] - fstype source superoptions
        std::istringstream fields(line);
        std::vector<std::string> f;
        std::string word;
        while (fields >> word) f.push_back(word);
        size_t dash = 6;
        while (dash < f.size() && f[dash] != "-") ++dash;
        if (f.size() < 5 || dash + 2 >= f.size()) continue;
        const std::string source = Unescape(f[dash + 2]);
        if (source.rfind("/dev/", 0) != 0 || !seen.insert(source).second) continue;
        mounts.push_back({Unescape(f[4]), source});
    }
    return mounts;
}

std::vector<OsMountedDevice> OsListBlockMounts()
{
    std::ifstream file("/proc/self/mountinfo");
    if (!file) return {};
    std::stringstream text;
    text << file.rdbuf();
    std::vector<OsMountedDevice> out;
    for (OsMountedDevice& m : OsParseMountInfo(text.str()))
    {
        struct stat st;
        if (::stat(m.DevicePath.c_str(), &st) == 0 && S_ISBLK(st.st_mode)) out.push_back(std::move(m));
    }
    return out;
}

bool OsReadFirstSector(const std::string& devicePath, std::vector<uint8_t>* sector)
{
    int fd = -1;
    if (OsOpenDeviceReadOnly(devicePath, &fd) != 0) return false;
    sector->assign(512, 0);
    size_t got = 0;
    const uint32_t err = OsReadAt(fd, 0, sector->data(), sector->size(), &got);
    OsCloseFd(fd);
    return err == 0 && got == sector->size();
}
