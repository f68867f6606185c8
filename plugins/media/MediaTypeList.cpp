#include "media/MediaTypeList.h"

#include "media/KAsfMediaType.h"
#include "media/KAviType.h"
#include "media/KFlacType.h"
#include "media/KIsoMediaType.h"
#include "media/KMatroskaType.h"
#include "media/KMp3Type.h"
#include "media/KMpgType.h"
#include "media/KOggType.h"
#include "media/KWavType.h"

std::span<const RawTypeCreate> RawTypeList_media()
{
    static constexpr RawTypeCreate kTypes[] = {
        &CreateRawType<KMovType>, &CreateRawType<K3gpType>, &CreateRawType<KMp4Type>,
        &CreateRawType<KM4aType>, &CreateRawType<KMp3Type>, &CreateRawType<KAviType>,
        &CreateRawType<KWavType>, &CreateRawType<KMpgType>, &CreateRawType<KAsfType>,
        &CreateRawType<KWmvType>, &CreateRawType<KWmaType>, &CreateRawType<KMkvType>,
        &CreateRawType<KWebmType>, &CreateRawType<KOggType>, &CreateRawType<KFlacType>,
    };
    return kTypes;
}
