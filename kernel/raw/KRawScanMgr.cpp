#include "base/ResourceLimits.h"
#include "raw/KRawScanMgr.h"

#include <cstdlib>
#include <memory>
#include <new>
#include <set>

#include "base/VlmTrace.h"
#include "os/OsFile.h"
#include "os/OsLibrary.h"

namespace {

constexpr uint32_t kTextBuffer = 260;
constexpr int kMaxTypesPerFactory = VlmLimits::kMaxTypesPerFactory; // a factory claiming more is broken

struct TypeList
{
    std::vector<tagRawTypeEntry> entries;
    int refs = 0;
    std::string programFolder; // empty: the program's own folder
};

TypeList& List()
{
    static TypeList s_List;
    return s_List;
}

std::string TextOf(IRawFileType* type, int (IRawFileType::*get)(char*, uint32_t))
{
    char buf[kTextBuffer] = {};
    (type->*get)(buf, kTextBuffer);
    buf[kTextBuffer - 1] = '\0';
    return buf;
}

// The folder named by VLM_PLUGIN_DIR comes first, so that its libraries replace installed ones
// of the same name; then the program's own folder (a build tree), then the installed plug-in
// folder, found from the program's folder so that any installation prefix works
// (bin/vlm -> lib/vellumar/plugins/).
std::vector<std::string> SearchFolders()
{
    std::vector<std::string> folders;
    if (const char* extra = std::getenv("VLM_PLUGIN_DIR"); extra && *extra)
    {
        std::string f = extra;
        if (f.back() != '/') f.push_back('/');
        folders.push_back(f);
    }
    const std::string& over = List().programFolder;
    const std::string program = over.empty() ? OsProgramFolder() : over;
    if (!program.empty())
    {
        folders.push_back(program);
        folders.push_back(program + "../lib/vellumar/plugins/");
    }
    return folders;
}

std::string BaseName(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void LoadPlugins()
{
    const std::vector<std::string> folders = SearchFolders();
    std::set<std::string> loaded;
    for (const std::string& folder : folders)
    {
        if (folder.empty()) continue;
        for (const std::string& path : OsFindFiles(folder + "*.api"))
        {
            if (!loaded.insert(BaseName(path)).second) continue; // the same plug-in in a second folder
            OsLibrary lib;
            if (!lib.Load(path))
            {
                VlmTrace("Cannot load plug-in %s: %s\n", path.c_str(), lib.Error().c_str());
                continue;
            }
            auto get = reinterpret_cast<PFN_GetRawFileTypeFactory>(lib.Symbol("GetRawFileTypeFactory"));
            IRawFileTypeFactory* factory = get ? get() : nullptr;
            if (!factory)
            {
                lib.Unload();
                continue;
            }
            // A library that gave a factory stays loaded for the rest of the run: its type
            // objects may be called until the list is released.
            KRawScanMgr::AddFactory(factory);
        }
    }
}

void ReleaseAll()
{
    for (tagRawTypeEntry& e : List().entries)
        if (e.pType) e.pType->Release();
    List().entries.clear();
}

} // namespace

KRawScanMgr::KRawScanMgr()
{
    if (List().refs++ == 0)
    {
        try
        {
            LoadPlugins();
        }
        catch (const std::bad_alloc&)
        {
            VlmTrace("Out of memory while loading the deep-scan plug-ins\n");
        }
    }
}

KRawScanMgr::~KRawScanMgr()
{
    if (--List().refs == 0) ReleaseAll();
}

int KRawScanMgr::AddFactory(IRawFileTypeFactory* factory)
{
    TypeList& list = List();
    if (!factory || list.refs == 0) return 0;
    const int count = factory->GetCount();
    int added = 0;
    for (int i = 0; i < count && i < kMaxTypesPerFactory; ++i)
    {
        IRawFileType* type = factory->GetType(i);
        if (!type) continue;
        if (!type->Initiate())
        {
            VlmTrace("Failed to call IRawFileType::Initiate()!\n (%s,%d)", "kernel\\krawscanmgr", __LINE__);
            type->Release();
            continue;
        }
        try
        {
            tagRawTypeEntry e;
            e.strDescription = TextOf(type, &IRawFileType::GetDescription);
            e.strExtension = TextOf(type, &IRawFileType::GetExtension);
            e.dwEnabled = 1;
            e.dwTypeId = kFirstTypeId + static_cast<uint32_t>(list.entries.size());
            e.dwFoundCount = 0;
            e.pType = type;
            list.entries.push_back(std::move(e));
            ++added;
        }
        catch (const std::bad_alloc&)
        {
            type->Release(); // a type that cannot be listed is not kept alive
        }
    }
    return added;
}

void KRawScanMgr::OverrideProgramFolder(const std::string& folder)
{
    List().programFolder = folder;
    if (!folder.empty() && folder.back() != '/') List().programFolder.push_back('/');
}

int KRawScanMgr::GetTypeCount() const { return static_cast<int>(List().entries.size()); }

int KRawScanMgr::GetTypeEntry(int index, tagRawTypeEntry* out) const
{
    if (!out || index < 0 || index >= GetTypeCount()) return 0;
    *out = List().entries[static_cast<size_t>(index)];
    return 1;
}

void KRawScanMgr::SetEnabled(int index, uint32_t enabled)
{
    if (index >= 0 && index < GetTypeCount()) List().entries[static_cast<size_t>(index)].dwEnabled = enabled;
}

void KRawScanMgr::SetFoundCount(int index, uint32_t count)
{
    if (index >= 0 && index < GetTypeCount()) List().entries[static_cast<size_t>(index)].dwFoundCount = count;
}

void KRawScanMgr::ResetFoundCounts()
{
    for (tagRawTypeEntry& e : List().entries) e.dwFoundCount = 0;
}

IRawFileType* KRawScanMgr::GetType(int index) const
{
    return index >= 0 && index < GetTypeCount() ? List().entries[static_cast<size_t>(index)].pType : nullptr;
}
