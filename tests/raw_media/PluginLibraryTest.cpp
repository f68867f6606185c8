// The shipped plug-in libraries, loaded as the engine loads them: one export, a factory that
// lists every type, each type usable through the interface alone.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "os/OsLibrary.h"
#include "raw/RawFileTypeAbi.h"

namespace {
std::set<std::string> ExtensionsOf(const std::string& library)
{
    KOsLibrary lib;
    std::set<std::string> extensions;
    if (!lib.Load(std::string(VLM_BINARY_DIR) + "/bin/" + library)) return extensions;
    auto entry = reinterpret_cast<PFN_GetRawFileTypeFactory>(lib.Symbol("GetRawFileTypeFactory"));
    if (!entry) return extensions;
    IRawFileTypeFactory* factory = entry();
    if (!factory) return extensions;
    for (int i = 0; i < factory->GetCount(); ++i)
    {
        IRawFileType* type = factory->GetType(i);
        if (!type || !type->Initiate()) continue;
        char ext[260] = {};
        type->GetExtension(ext, sizeof(ext));
        int64_t limits[2] = {};
        if (type->GetInfo(RAW_INFO_SIZE_LIMITS, limits, 16) == 0 && limits[1] > limits[0]) extensions.insert(ext);
        type->Release();
    }
    EXPECT_EQ(factory->GetType(factory->GetCount()), nullptr);
    EXPECT_EQ(factory->GetType(-1), nullptr);
    return extensions;
}
} // namespace

TEST(RawPluginLibrary, EachFamilyListsItsTypes)
{
    EXPECT_EQ(ExtensionsOf("vlm_images.api"),
              (std::set<std::string>{"jpg", "gif", "png", "bmp", "ico",  "cur",  "tif",  "cr2", "nef",  "arw", "dng",
                                     "pef", "orf", "rw2", "psd", "webp", "heic", "avif", "raf", "djvu", "emf", "jp2"}));
    EXPECT_EQ(ExtensionsOf("vlm_media.api"),
              (std::set<std::string>{"mov",  "3gp", "mp4", "m4a",  "mp3", "avi",  "wav", "mpg", "asf",
                                     "wmv",  "wma", "mkv", "webm", "ogg", "flac", "3g2", "m4v", "cr3",
                                     "aiff", "mid", "flv", "aac",  "amr", "wv",   "caf"}));
    EXPECT_EQ(ExtensionsOf("vlm_archives.api"), (std::set<std::string>{"7z", "gz", "bz2", "xz", "cab", "tar"}));
}
