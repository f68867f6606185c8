// The one export of a plug-in library, built once per family folder. The build names the
// family (VLM_PLUGIN_FAMILY); the family's sources define RawTypeList_<family>(), the array of
// its types. Everything else in the library stays hidden.
#pragma GCC visibility push(default)
#include "raw/RawFileTypeAbi.h"
#pragma GCC visibility pop

#include <span>

#include "common/KRawTypeFactory.h"

#ifndef VLM_PLUGIN_FAMILY
#error "VLM_PLUGIN_FAMILY names the family this plug-in library ships"
#endif
#define VLM_JOIN2(a, b) a##b
#define VLM_JOIN(a, b) VLM_JOIN2(a, b)
#define VLM_FAMILY_LIST VLM_JOIN(RawTypeList_, VLM_PLUGIN_FAMILY)

std::span<const RawTypeCreate> VLM_FAMILY_LIST();

extern "C" IRawFileTypeFactory* GetRawFileTypeFactory()
{
    static KRawTypeFactory factory(VLM_FAMILY_LIST());
    return &factory;
}
