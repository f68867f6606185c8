#pragma once
// Base of every file system that carries the copy-out and stream-opening code for files found
// by their content. It holds no data of its own beyond the progress server.
#include "fs/IProgress.h"

class KRawSupport : public IProgress_Server
{
public:
    ~KRawSupport() override = default;
};
