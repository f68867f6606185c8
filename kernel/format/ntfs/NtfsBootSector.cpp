#include "format/ntfs/NtfsBootSector.h"

uint32_t NtfsRecordSectors(uint32_t field, uint32_t spc, uint32_t bps)
{
    const int8_t c = static_cast<int8_t>(field & 0xFF);
    uint64_t sectors = 0;
    if (c >= 0)
        sectors = static_cast<uint64_t>(field) * spc;
    else if (-c < 32 && bps != 0)
        sectors = (static_cast<uint64_t>(1) << -c) / bps;
    return sectors >= 1 && sectors <= kNtfsMaxRecordSectors ? static_cast<uint32_t>(sectors) : 0;
}
