// The whole scan-result loader: header, file-system sections with each scanner's stored
// state, then each loaded file system's tree over a blank volume (as a resume before the
// volume is found again), then each stored candidate selected on that volume.
#include <vector>

#include "FuzzDrive.h"
#include "FuzzImage.h"
#include "FuzzTargets.h"
#include "core/CScanResultFile.h"
#include "fs/IFileSystem.h"
#include "engine/KFileSystemMgr.h"

int FuzzScanResult(const uint8_t* data, size_t size)
{
    tagScanResultStatus status;
    CScanResultFile::ParseStatus(data, size, &status);
    KFuzzStorage in(data, size);
    tagScanResultHeader header;
    if (!CScanResultFile::ReadHeader(&in, &header)) return 0;
    static const std::vector<uint8_t> s_Blank(4096 * 512, 0);
    MemoryVolume volume(kBorrow, s_Blank);
    KFileSystemMgr fileSystems;
    IFileSystem* current = nullptr;
    uint32_t view = 0;
    CScanResultFile::ReadFileSystems(&in, &volume, &fileSystems, &current, &view);
    for (int i = 0; i < fileSystems.GetCount(); ++i)
    {
        IFileSystem* fs = fileSystems.GetAt(i);
        if (!fs) continue;
        fs->SetVolume(&volume);
        uint32_t count = 0;
        fs->GetCandidateCount(&count);
        FuzzExerciseListing(*fs);
        // Stored candidates are read again from the volume: their runs and positions come
        // from the file and must not turn into endless reads.
        FuzzListCandidates(*fs, [&] { FuzzExerciseListing(*fs); });
    }
    return 0;
}
