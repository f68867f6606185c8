#include "ArchiveScan.h"

#include "archives/ArchivesTypeList.h"

std::vector<RawTypePtr> ArchiveTypes()
{
    std::vector<RawTypePtr> types;
    for (RawTypeCreate create : RawTypeList_archives()) types.emplace_back(create());
    return types;
}

RawTypePtr ArchiveType(const std::string& extension)
{
    for (RawTypePtr& t : ArchiveTypes())
        if (extension == t->Info().extension) return std::move(t);
    return nullptr;
}

std::vector<uint8_t> ArchiveSample(const std::string& name) { return RawSample("archives/" + name); }
