#pragma once
#include <span>

#include "common/KRawTypeBase.h"

/// Every compressed-archive type, in the order the plug-in lists them.
std::span<const RawTypeCreate> RawTypeList_archives();
