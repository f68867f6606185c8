#include "format/ntfs/NtfsFileName.h"

#include "format/ntfs/NtfsRecord.h"

std::string NtfsFileNameView::Name() const
{
    std::string name;
    ConvertName(NameUnits(), &name);
    return name;
}
