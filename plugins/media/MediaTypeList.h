#pragma once
#include <span>

#include "common/KRawTypeBase.h"

/// Every audio and video type, in the order the plug-in lists them.
std::span<const RawTypeCreate> RawTypeList_media();
