#pragma once
#include <span>

#include "common/KRawTypeBase.h"

/// Programs, libraries, fonts and system files, in the order the plug-in lists them.
std::span<const RawTypeCreate> RawTypeList_system();
