#pragma once
// File times: 64-bit counts of 100-ns intervals since 1601-01-01. Records keep local time;
// conversion to and from UTC uses the machine's time-zone rules (TZ, /etc/localtime).
#include <cstdint>
#include <ctime>

inline constexpr int64_t kFileTimeTicksPerSecond = 10000000;
inline constexpr int64_t kFileTimeUnixEpoch = 116444736000000000; // 1970-01-01 in file time

// DOS date and time (as in FAT directory entries) to a file time of the same wall clock.
// Returns false (and 0) for an invalid date, including a date of 0.
bool DosDateTimeToFileTime(uint16_t dosDate, uint16_t dosTime, int64_t* fileTime);

// Local wall-clock file time <-> UTC file time, with the DST rule in force at that moment.
bool FileTimeLocalToUtc(int64_t local, int64_t* utc);
bool FileTimeUtcToLocal(int64_t utc, int64_t* local);

// UTC file time <-> struct timespec since the Unix epoch.
timespec FileTimeToTimespec(int64_t utcFileTime);
int64_t TimespecToFileTime(const timespec& ts);
