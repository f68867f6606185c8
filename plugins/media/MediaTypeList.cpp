#include "media/MediaTypeList.h"

#include "media/KWavType.h"

std::span<const RawTypeCreate> RawTypeList_media()
{
    static constexpr RawTypeCreate kTypes[] = {
        &CreateRawType<KWavType>,
    };
    return kTypes;
}
