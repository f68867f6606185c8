#pragma once
// A store of 1,000,000 generated records for the tree and listing benchmarks, and the process's
// peak resident memory.
#include <cstdint>
#include <cstdio>
#include <sys/resource.h>

#include "fs/KFileNode.h"

inline double PeakRssMiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0; // ru_maxrss is in KiB on Linux
}

inline tagRawFileNode* AddBenchRecord(KFileNode& store, const char* name, uint32_t self, uint32_t parent, int64_t size,
                                      uint16_t attributes)
{
    auto* r = store.Add<tagRawFileNode>(name);
    r->dwSelfId = self;
    r->dwParentId = parent;
    r->s64Size = size;
    r->wValidMask = FN_MASK_FOUND;
    r->wAttributes = attributes;
    r->byKind = FN_KIND_PRESENT;
    return r;
}

// 1,000,000 records: root, "Lost Files", 100,000 folders (a tree of fan-out 10) each followed
// by its 9 files; 1% of the files name a parent that does not exist.
inline void FillBenchStore(KFileNode& store)
{
    constexpr uint32_t kFolders = 100000;
    AddBenchRecord(store, "root", 0, 0, 0, FN_ATTR_FOLDER)->wValidMask = FN_MASK_SYSTEM_FOLDER;
    AddBenchRecord(store, "Lost Files", 1, 0, 0, FN_ATTR_FOLDER)->wValidMask = FN_MASK_SYSTEM_FOLDER;
    char name[32];
    uint32_t file = 0;
    for (uint32_t i = 0; i < kFolders; ++i)
    {
        std::snprintf(name, sizeof(name), "folder%u", i);
        AddBenchRecord(store, name, 10 + i, i < 10 ? 0 : 10 + i / 10, 0, FN_ATTR_FOLDER);
        for (int k = 0; k < 9; ++k, ++file)
        {
            std::snprintf(name, sizeof(name), "IMG_%07u.JPG", file);
            const uint32_t parent = (file % 100 == 0) ? 5000000 + file % 3000 : 10 + i;
            AddBenchRecord(store, name, 1000000 + file, parent, 100000 + file, FN_ATTR_ARCHIVE);
        }
    }
}
