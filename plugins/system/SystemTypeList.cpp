#include "system/SystemTypeList.h"

#include "system/KElfType.h"
#include "system/KEvtxType.h"
#include "system/KFontType.h"
#include "system/KHiveType.h"
#include "system/KKdbxType.h"
#include "system/KLnkType.h"
#include "system/KPeType.h"

namespace {
template <typename T, bool Flag> KRawTypeBase* CreateWith() { return new (std::nothrow) T(Flag); }
} // namespace

std::span<const RawTypeCreate> RawTypeList_system()
{
    static constexpr RawTypeCreate kTypes[] = {
        &CreateWith<KPeType, false>,   &CreateWith<KPeType, true>,   &CreateRawType<KElfType>,
        &CreateWith<KSfntType, false>, &CreateWith<KSfntType, true>, &CreateWith<KWoffType, false>,
        &CreateWith<KWoffType, true>,  &CreateRawType<KHiveType>,    &CreateRawType<KLnkType>,
        &CreateRawType<KEvtxType>,     &CreateRawType<KKdbxType>,
    };
    return kTypes;
}
