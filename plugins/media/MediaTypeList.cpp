#include "media/MediaTypeList.h"

#include "media/KAacType.h"
#include "media/KAiffType.h"
#include "media/KAmrType.h"
#include "media/KAsfMediaType.h"
#include "media/KCafType.h"
#include "media/KAviType.h"
#include "media/KFlacType.h"
#include "media/KFlvType.h"
#include "media/KIsoMediaType.h"
#include "media/KMatroskaType.h"
#include "media/KMidiType.h"
#include "media/KMp3Type.h"
#include "media/KMpgType.h"
#include "media/KOggType.h"
#include "media/KWavPackType.h"
#include "media/KWavType.h"

std::span<const RawTypeCreate> RawTypeList_media()
{
    static constexpr RawTypeCreate kTypes[] = {
        &CreateRawType<KMovType>,  &CreateRawType<K3gpType>, &CreateRawType<KMp4Type>,  &CreateRawType<KM4aType>,
        &CreateRawType<KMp3Type>,  &CreateRawType<KAviType>, &CreateRawType<KWavType>,  &CreateRawType<KMpgType>,
        &CreateRawType<KAsfType>,  &CreateRawType<KWmvType>, &CreateRawType<KWmaType>,  &CreateRawType<KMkvType>,
        &CreateRawType<KWebmType>, &CreateRawType<KOggType>, &CreateRawType<KFlacType>, &CreateRawType<K3g2Type>,
        &CreateRawType<KM4vType>,  &CreateRawType<KCr3Type>, &CreateRawType<KAiffType>, &CreateRawType<KMidiType>,
        &CreateRawType<KFlvType>,  &CreateRawType<KAacType>, &CreateRawType<KAmrType>,  &CreateRawType<KWavPackType>,
        &CreateRawType<KCafType>,
    };
    return kTypes;
}
