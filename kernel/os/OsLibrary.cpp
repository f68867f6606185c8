#include "os/OsLibrary.h"

#include <dlfcn.h>

bool OsLibrary::Load(const std::string& path)
{
    Unload();
    m_Error.clear();
    // RTLD_LOCAL keeps one plug-in's symbols from resolving another's; RTLD_NOW reports a
    // missing dependency here rather than at the first call.
    m_Handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (m_Handle == nullptr)
    {
        const char* message = ::dlerror();
        m_Error = message != nullptr ? message : "cannot load " + path;
        return false;
    }
    return true;
}

void* OsLibrary::Symbol(const char* name) const
{
    if (m_Handle == nullptr || name == nullptr) return nullptr;
    return ::dlsym(m_Handle, name);
}

void OsLibrary::Unload()
{
    if (m_Handle != nullptr) ::dlclose(m_Handle);
    m_Handle = nullptr;
}
