#include "images/ImagesTypeList.h"

#include "images/KBmpType.h"

std::span<const RawTypeCreate> RawTypeList_images()
{
    static constexpr RawTypeCreate kTypes[] = {
        &CreateRawType<KBmpType>,
    };
    return kTypes;
}
