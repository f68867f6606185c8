#pragma once
// Loading a shared library and one exported symbol (plug-ins).
#include <string>

class OsLibrary
{
public:
    OsLibrary() = default;
    ~OsLibrary() = default; // libraries stay loaded: objects they made may outlive this handle
    bool Load(const std::string& path);
    void* Symbol(const char* name) const;
    void Unload();
    const std::string& Error() const { return m_Error; }

private:
    void* m_Handle = nullptr;
    std::string m_Error;
};
