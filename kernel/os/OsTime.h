#pragma once
// File times: 64-bit counts of 100-ns intervals since 1601-01-01. Records keep local time;
// conversion to and from UTC uses the machine's time-zone rules (TZ, /etc/localtime).
#include <cstdint>
#include <ctime>

inline constexpr int64_t kFileTimeTicksPerSecond = 10000000;
inline constexpr int64_t kFileTimeUnixEpoch = 116444736000000000; // 1970-01-01 in file time

// DOS date and time (as in FAT directory entries) to a file time of the same wall clock.
// Returns false (and 0) for an invalid date or time: a date of 0, a month outside 1-12, a day
// that the month does not have (30 February), hours >= 24, minutes >= 60, a 2-second field >= 30.
bool DosDateTimeToFileTime(uint16_t dosDate, uint16_t dosTime, int64_t* fileTime);

// Local wall-clock file time <-> UTC file time, with the DST rule in force at that moment.
// A local time inside the hour skipped when clocks go forward, or inside the hour that occurs
// twice when they go back, is read with the offset in force before the change (a skipped 02:30
// is the moment the clock shows 03:30; a repeated 02:30 is its first occurrence). False (and 0)
// when the result would fall before 1601.
bool FileTimeLocalToUtc(int64_t local, int64_t* utc);
bool FileTimeUtcToLocal(int64_t utc, int64_t* local);

// Calendar arithmetic on the proleptic Gregorian calendar, no time zone involved:
// days since 1970-01-01 of (year, month 1-12, day 1-31), and back.
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day);
void CivilFromDays(int64_t days, int64_t* year, int64_t* month, int64_t* day);
bool IsLeapYear(int64_t year);
int DaysInMonth(int64_t year, int month); // month 1-12

// UTC file time <-> struct timespec since the Unix epoch.
timespec FileTimeToTimespec(int64_t utcFileTime);
int64_t TimespecToFileTime(const timespec& ts);
