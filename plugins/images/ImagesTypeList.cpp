#include "images/ImagesTypeList.h"

#include "images/KBmpType.h"
#include "images/KGifType.h"
#include "images/KHeifType.h"
#include "images/KJpgType.h"
#include "images/KIcoType.h"
#include "images/KPngType.h"
#include "images/KPsdType.h"
#include "images/KTifType.h"
#include "images/KWebpType.h"

std::span<const RawTypeCreate> RawTypeList_images()
{
    static constexpr RawTypeCreate kTypes[] = {
        &CreateRawType<KJpgType>,
        &CreateRawType<KGifType>,
        &CreateRawType<KPngType>,
        &CreateRawType<KBmpType>,
        &CreateRawType<KIcoType>,
        &CreateRawType<KTifType>,
        &CreateRawType<KPsdType>,
        &CreateRawType<KWebpType>,
        &CreateRawType<KHeicType>,
        &CreateRawType<KAvifType>,
    };
    return kTypes;
}
