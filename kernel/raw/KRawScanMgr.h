#pragma once
// The deep scan's file types: one process-wide list, loaded from the plug-in libraries when the
// first KRawScanMgr comes to life and released when the last one goes. One manager lives for
// the whole run; the deep-scan file system holds another while it exists.
//
// Plug-ins are the "*.api" files in the folder named by the environment variable VLM_PLUGIN_DIR,
// in the program's own folder and in the installed plug-in folder beside it
// (../lib/vellumar/plugins/); a library name found in several loads once, from the first.
#include <cstdint>
#include <string>
#include <vector>

#include "raw/RawFileTypeAbi.h"

struct tagRawTypeEntry
{
    std::string strExtension;   // from GetExtension, without a dot
    std::string strDescription; // from GetDescription
    uint32_t dwEnabled = 1;     // scanned only when non-zero
    uint32_t dwTypeId = 0;      // 4096 + position in the list
    uint32_t dwFoundCount = 0;  // files of this type found by the current scan
    IRawFileType* pType = nullptr;
};

class KRawScanMgr
{
public:
    static constexpr uint32_t kFirstTypeId = 4096;

    KRawScanMgr();
    ~KRawScanMgr();
    KRawScanMgr(const KRawScanMgr&) = delete;
    KRawScanMgr& operator=(const KRawScanMgr&) = delete;

    int GetTypeCount() const;
    /// Copies entry `index`; 0 when out of range.
    int GetTypeEntry(int index, tagRawTypeEntry* out) const;
    /// Both ignored when `index` is out of range.
    void SetEnabled(int index, uint32_t enabled);
    void SetFoundCount(int index, uint32_t count);
    void ResetFoundCounts();
    /// The type object of entry `index`, or null.
    IRawFileType* GetType(int index) const;

    /// Lists the types of an in-process factory with the same checks as a plug-in's; returns
    /// the number of types added. Only while a manager lives (the last one releases them).
    static int AddFactory(IRawFileTypeFactory* factory);
    /// Searches `folder` (and its ../lib/vellumar/plugins/) instead of the program's own folder at
    /// the next load (tests; an empty string restores the program's folder). VLM_PLUGIN_DIR is
    /// searched in any case.
    static void OverrideProgramFolder(const std::string& folder);
};
