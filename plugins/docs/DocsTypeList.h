#pragma once
#include <span>

#include "common/KRawTypeBase.h"

/// Every document, archive and mailbox type, in the order the plug-in lists them.
std::span<const RawTypeCreate> RawTypeList_docs();
