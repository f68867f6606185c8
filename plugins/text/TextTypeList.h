#pragma once
#include <span>

#include "common/KRawTypeBase.h"

/// Every text type, in the order the plug-in lists them.
std::span<const RawTypeCreate> RawTypeList_text();
