#include "images/ImagesTypeList.h"

#include <vector>

#include "images/KBmpType.h"
#include "images/KDjvuType.h"
#include "images/KEmfType.h"
#include "images/KJp2Type.h"
#include "images/KGifType.h"
#include "images/KHeifType.h"
#include "images/KJpgType.h"
#include "images/KIcoType.h"
#include "images/KPngType.h"
#include "images/KPsdType.h"
#include "images/KRafType.h"
#include "images/KTiffType.h"
#include "images/KWebpType.h"

namespace {
KRawTypeBase* CreateCursorType() { return new (std::nothrow) KIcoType(true); }
} // namespace

std::span<const RawTypeCreate> RawTypeList_images()
{
    static const std::vector<RawTypeCreate> kTypes = [] {
        std::vector<RawTypeCreate> types{
            &CreateRawType<KJpgType>, &CreateRawType<KGifType>, &CreateRawType<KPngType>,
            &CreateRawType<KBmpType>, &CreateRawType<KIcoType>, &CreateCursorType,
        };
        for (RawTypeCreate tiff : TiffFamilyTypes()) types.push_back(tiff);
        for (RawTypeCreate more :
             {&CreateRawType<KPsdType>, &CreateRawType<KWebpType>, &CreateRawType<KHeicType>, &CreateRawType<KAvifType>,
              &CreateRawType<KRafType>, &CreateRawType<KDjvuType>, &CreateRawType<KEmfType>, &CreateRawType<KJp2Type>})
            types.push_back(more);
        return types;
    }();
    return kTypes;
}
