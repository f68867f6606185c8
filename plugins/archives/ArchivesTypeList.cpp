#include "archives/ArchivesTypeList.h"

#include "archives/K7zType.h"
#include "archives/KBz2Type.h"
#include "archives/KCabType.h"
#include "archives/KGzType.h"
#include "archives/KTarType.h"
#include "archives/KXzType.h"

std::span<const RawTypeCreate> RawTypeList_archives()
{
    static constexpr RawTypeCreate kTypes[] = {
        &CreateRawType<K7zType>, &CreateRawType<KGzType>,  &CreateRawType<KBz2Type>,
        &CreateRawType<KXzType>, &CreateRawType<KCabType>, &CreateRawType<KTarType>,
    };
    return kTypes;
}
