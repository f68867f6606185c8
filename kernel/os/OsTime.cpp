#include "os/OsTime.h"

#include <mutex>

namespace {
constexpr int64_t kSecondsPerDay = 86400;
// Days from 1601-01-01 to 1970-01-01.
constexpr int64_t kDaysFrom1601To1970 = 134774;
// Time-zone transitions lie far more than a day apart; the offsets one day before and one day
// after a moment bracket any single transition near it.
constexpr int64_t kTransitionProbe = kSecondsPerDay;

int64_t FloorDiv(int64_t a, int64_t b)
{
    const int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

void EnsureTimeZoneLoaded()
{
    // localtime_r need not read TZ itself; load the rules once. Code that changes TZ later
    // (tests) calls tzset() again.
    static std::once_flag once;
    std::call_once(once, [] { tzset(); });
}

// Offset of local time from UTC, in seconds, at the UTC moment `t`.
bool UtcOffsetAt(time_t t, int64_t* offset)
{
    tm parts{};
    if (localtime_r(&t, &parts) == nullptr) return false;
    *offset = parts.tm_gmtoff;
    return true;
}

// Whole seconds since 1970 and the remaining ticks (0 .. 9999999) of a file time.
void SplitFileTime(int64_t fileTime, int64_t* seconds, int64_t* ticks)
{
    const int64_t sinceEpoch = fileTime - kFileTimeUnixEpoch;
    *seconds = FloorDiv(sinceEpoch, kFileTimeTicksPerSecond);
    *ticks = sinceEpoch - *seconds * kFileTimeTicksPerSecond;
}

bool JoinFileTime(int64_t seconds, int64_t ticks, int64_t* fileTime)
{
    // The largest and smallest second counts that stay inside 0 .. INT64_MAX as file times.
    constexpr int64_t kMaxSeconds = (INT64_MAX - kFileTimeUnixEpoch) / kFileTimeTicksPerSecond - 1;
    constexpr int64_t kMinSeconds = -kFileTimeUnixEpoch / kFileTimeTicksPerSecond;
    if (seconds < kMinSeconds || seconds > kMaxSeconds) return false;
    *fileTime = kFileTimeUnixEpoch + seconds * kFileTimeTicksPerSecond + ticks;
    return true;
}
} // namespace

bool DosDateTimeToFileTime(uint16_t dosDate, uint16_t dosTime, int64_t* fileTime)
{
    *fileTime = 0;
    // Date: bits 0-4 day, 5-8 month, 9-15 years since 1980. Time: bits 0-4 seconds / 2,
    // 5-10 minutes, 11-15 hours.
    const int day = dosDate & 0x1F;
    const int month = (dosDate >> 5) & 0x0F;
    const int year = 1980 + (dosDate >> 9);
    const int seconds2 = dosTime & 0x1F;
    const int minutes = (dosTime >> 5) & 0x3F;
    const int hours = dosTime >> 11;
    if (dosDate == 0 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return false;
    if (hours >= 24 || minutes >= 60 || seconds2 >= 30) return false;
    const int64_t days = DaysFromCivil(year, month, day) + kDaysFrom1601To1970;
    const int64_t secs = days * kSecondsPerDay + hours * 3600 + minutes * 60 + seconds2 * 2;
    *fileTime = secs * kFileTimeTicksPerSecond;
    return true;
}

// A local wall-clock time inside the hour skipped when clocks go forward does not exist, and
// one inside the hour repeated when clocks go back exists twice. Both are read with the offset
// in force before the change: a skipped 02:30 becomes the moment the clock shows 03:30, and a
// repeated 02:30 is its first occurrence (still daylight time).
bool FileTimeLocalToUtc(int64_t local, int64_t* utc)
{
    *utc = 0;
    if (local < 0) return false;
    EnsureTimeZoneLoaded();
    int64_t wall = 0;
    int64_t ticks = 0;
    SplitFileTime(local, &wall, &ticks);
    int64_t before = 0;
    int64_t after = 0;
    if (!UtcOffsetAt(static_cast<time_t>(wall - kTransitionProbe), &before) ||
        !UtcOffsetAt(static_cast<time_t>(wall + kTransitionProbe), &after))
        return false;
    int64_t chosen = before;
    int64_t check = 0;
    if (before != after && UtcOffsetAt(static_cast<time_t>(wall - before), &check) && check != before)
    {
        // The earlier offset does not hold at that moment: the time lies after the change (or
        // in the skipped hour, where neither holds and the earlier offset is kept).
        int64_t checkAfter = 0;
        if (UtcOffsetAt(static_cast<time_t>(wall - after), &checkAfter) && checkAfter == after) chosen = after;
    }
    return JoinFileTime(wall - chosen, ticks, utc) && *utc >= 0;
}

bool FileTimeUtcToLocal(int64_t utc, int64_t* local)
{
    *local = 0;
    if (utc < 0) return false;
    EnsureTimeZoneLoaded();
    int64_t seconds = 0;
    int64_t ticks = 0;
    SplitFileTime(utc, &seconds, &ticks);
    int64_t offset = 0;
    if (!UtcOffsetAt(static_cast<time_t>(seconds), &offset)) return false;
    return JoinFileTime(seconds + offset, ticks, local) && *local >= 0;
}

timespec FileTimeToTimespec(int64_t utcFileTime)
{
    int64_t seconds = 0;
    int64_t ticks = 0;
    SplitFileTime(utcFileTime, &seconds, &ticks);
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(seconds);
    ts.tv_nsec = static_cast<long>(ticks * 100);
    return ts;
}

int64_t TimespecToFileTime(const timespec& ts)
{
    int64_t fileTime = 0;
    const int64_t ticks = static_cast<int64_t>(ts.tv_nsec) / 100;
    if (ts.tv_nsec < 0 || ts.tv_nsec >= 1000000000 || !JoinFileTime(ts.tv_sec, ticks, &fileTime)) return 0;
    return fileTime;
}

bool IsLeapYear(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int64_t year, int month)
{
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// The usual era arithmetic: 400-year eras of 146097 days, years starting on 1 March so that
// the leap day is the last day of a year.
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d)
{
    y -= m <= 2 ? 1 : 0;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int64_t* y, int64_t* m, int64_t* d)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    *d = doy - (153 * mp + 2) / 5 + 1;
    *m = mp < 10 ? mp + 3 : mp - 9;
    *y = yoe + era * 400 + (*m <= 2 ? 1 : 0);
}
