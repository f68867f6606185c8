#pragma once
// A folder of the target side held open while files are saved into it. Every name is created,
// opened and renamed relative to the open folder and never through a symbolic link, so a folder
// that is swapped for a link while recovery runs cannot send files anywhere else.
#include <cstdint>
#include <string>

class OsFolder
{
public:
    OsFolder() = default;
    ~OsFolder();
    OsFolder(const OsFolder&) = delete;
    OsFolder& operator=(const OsFolder&) = delete;
    OsFolder(OsFolder&& other) noexcept;
    OsFolder& operator=(OsFolder&& other) noexcept;

    /// Opens the target folder the user named (a link there is the user's own choice).
    uint32_t Open(const std::string& path);
    /// Creates the sub-folder `name`; 80 when anything exists under that name.
    uint32_t MakeChild(const std::string& name) const;
    /// Opens the sub-folder `name` into `child`, refusing a symbolic link.
    uint32_t OpenChild(const std::string& name, OsFolder* child) const;
    /// Renames `from` to `to` inside this folder without ever replacing: 80 when `to` exists.
    uint32_t RenameNoReplace(const std::string& from, const std::string& to) const;
    uint32_t Delete(const std::string& name) const;
    bool Exists(const std::string& name) const;
    /// A path that reaches `name` inside this very folder (through the open handle), for code
    /// that takes paths; empty when the folder is not open. Where /proc is not mounted (a bare
    /// rescue system), the folder's own path is the only way left to name it.
    std::string PathOf(const std::string& name) const;
    bool IsOpen() const { return m_Fd >= 0; }

private:
    void Close();
    int m_Fd = -1;
    std::string m_strPath; // as opened, for PathOf without /proc
};
