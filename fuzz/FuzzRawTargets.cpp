// The deep scan over a fuzzed volume: every type of every plug-in family, run by the engine's
// deep-scan file system (hit checks, open lengths, per-type folders, streams, names from
// metadata); and the plug-ins' inflater alone.
#include <memory>

#include "FuzzDrive.h"
#include "FuzzImage.h"
#include "FuzzTargets.h"
#include "archives/ArchivesTypeList.h"
#include "base/ResourceLimits.h"
#include "common/Inflate.h"
#include "common/KRawTypeFactory.h"
#include "docs/DocsTypeList.h"
#include "images/ImagesTypeList.h"
#include "media/MediaTypeList.h"
#include "raw/KRawFileSystem.h"
#include "raw/KRawScanMgr.h"
#include "system/SystemTypeList.h"
#include "text/TextTypeList.h"

namespace {

// The type list lives while a manager does: one for the whole process, holding the types of
// the families linked into this program (no plug-in library is searched for).
void LoadTypesOnce()
{
    static bool s_Loaded = [] {
        KRawScanMgr::OverrideProgramFolder("/nonexistent-vlm-plugin-folder");
        static KRawScanMgr s_Keeper;
        static KRawTypeFactory s_Images(RawTypeList_images());
        static KRawTypeFactory s_Docs(RawTypeList_docs());
        static KRawTypeFactory s_Media(RawTypeList_media());
        static KRawTypeFactory s_Archives(RawTypeList_archives());
        static KRawTypeFactory s_System(RawTypeList_system());
        static KRawTypeFactory s_Text(RawTypeList_text());
        KRawScanMgr::AddFactory(&s_Images);
        KRawScanMgr::AddFactory(&s_Docs);
        KRawScanMgr::AddFactory(&s_Media);
        KRawScanMgr::AddFactory(&s_Archives);
        KRawScanMgr::AddFactory(&s_System);
        KRawScanMgr::AddFactory(&s_Text);
        return true;
    }();
    (void)s_Loaded;
}

} // namespace

int FuzzRawTypes(const uint8_t* data, size_t size)
{
    LoadTypesOnce();
    MemoryVolume volume(kBorrow, {data, size});
    KRawFileSystem fs;
    FuzzScanPass(fs, volume);
    FuzzExerciseListing(fs);
    return 0;
}

int FuzzInflate(const uint8_t* data, size_t size)
{
    // At the cap of the properties parts the plug-ins read, and at one that cuts most streams.
    for (const size_t cap : {VlmLimits::kMaxPluginPropertyBytes, size_t{100}})
    {
        const tagInflated r = Inflate(ByteView(data, size), cap);
        if (r.bytes.size() > cap || (r.outcome == InflateOutcome::Done && r.used > size)) __builtin_trap();
    }
    return 0;
}
