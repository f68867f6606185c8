#include "FuzzTargets.h"

std::span<const tagFuzzTarget> FuzzTargets()
{
    static const tagFuzzTarget s_Targets[] = {
        {"discovery", FuzzDiscovery, true},
        {"ldm", FuzzLdm, true},
        {"fat_scan", FuzzFatScan, false},
        {"fat_volume", FuzzFatVolume, true},
        {"fat_entries", FuzzFatEntries, false},
        {"exfat_scan", FuzzExFatScan, false},
        {"exfat_volume", FuzzExFatVolume, true},
        {"exfat_entries", FuzzExFatEntries, false},
        {"ntfs_volume", FuzzNtfsVolume, true},
        {"ntfs_record", FuzzNtfsRecord, false},
        {"lznt1", FuzzLznt1, false},
        {"ntfs_fullscan", FuzzNtfsFullScan, false},
        {"raw_types", FuzzRawTypes, false},
        {"inflate", FuzzInflate, false},
        {"filenode_load", FuzzFileNodeLoad, false},
        {"rescue_map", FuzzRescueMap, false},
#ifdef VLM_FUZZ_HAVE_APPCORE
        {"scan_result", FuzzScanResult, false},
#endif
    };
    return s_Targets;
}
