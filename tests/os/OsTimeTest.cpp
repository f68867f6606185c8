#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <sys/stat.h>

#include "os/OsTime.h"

namespace {
constexpr int64_t kTicksPerHour = 3600 * kFileTimeTicksPerSecond;

// File time of a UTC calendar moment, through the C library rather than our own arithmetic.
int64_t UtcFileTime(int year, int month, int day, int hour, int minute, int second)
{
    tm parts{};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
    return kFileTimeUnixEpoch + static_cast<int64_t>(timegm(&parts)) * kFileTimeTicksPerSecond;
}

uint16_t DosDate(int year, int month, int day)
{
    return static_cast<uint16_t>(((year - 1980) << 9) | (month << 5) | day);
}

uint16_t DosTime(int hour, int minute, int second)
{
    return static_cast<uint16_t>((hour << 11) | (minute << 5) | (second / 2));
}

// Sets TZ for one test and puts the previous value back.
class ScopedTimeZone
{
public:
    explicit ScopedTimeZone(const char* zone)
    {
        if (const char* old = std::getenv("TZ")) m_Old = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ScopedTimeZone()
    {
        if (m_Old)
            setenv("TZ", m_Old->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::optional<std::string> m_Old;
};
} // namespace

TEST(OsTime, DosDateTimeGivesTheSameWallClock)
{
    int64_t ft = -1;
    ASSERT_TRUE(DosDateTimeToFileTime(DosDate(1980, 1, 1), 0, &ft));
    EXPECT_EQ(ft, 119600064000000000);

    struct Case
    {
        int y, mo, d, h, mi, s;
    };
    const Case cases[] = {{1980, 1, 1, 0, 0, 0},   {1984, 2, 29, 12, 30, 58}, {1999, 12, 31, 23, 59, 58},
                          {2000, 2, 29, 0, 0, 2},  {2024, 7, 15, 8, 5, 30},   {2107, 12, 31, 23, 59, 58},
                          {2038, 1, 19, 3, 14, 8}, {2100, 3, 1, 1, 1, 1}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.y << "-" << c.mo << "-" << c.d);
        ASSERT_TRUE(DosDateTimeToFileTime(DosDate(c.y, c.mo, c.d), DosTime(c.h, c.mi, c.s), &ft));
        EXPECT_EQ(ft, UtcFileTime(c.y, c.mo, c.d, c.h, c.mi, c.s - c.s % 2));
    }
}

TEST(OsTime, DosDateTimeRejectsImpossibleFields)
{
    struct Case
    {
        const char* name;
        uint16_t date, time;
    };
    const Case cases[] = {
        {"date 0", 0, 0},
        {"date 0 with a time", 0, DosTime(12, 0, 0)},
        {"month 0", DosDate(2000, 0, 1), 0},
        {"month 13", DosDate(2000, 13, 1), 0},
        {"day 0", DosDate(2000, 1, 0), 0},
        {"30 February", DosDate(2000, 2, 30), 0},
        {"29 February, no leap year", DosDate(2001, 2, 29), 0},
        {"29 February 2100", DosDate(2100, 2, 29), 0},
        {"31 April", DosDate(2000, 4, 31), 0},
        {"hour 24", DosDate(2000, 1, 1), DosTime(24, 0, 0)},
        {"minute 60", DosDate(2000, 1, 1), DosTime(0, 60, 0)},
        {"seconds field 30", DosDate(2000, 1, 1), 30},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        int64_t ft = 12345;
        EXPECT_FALSE(DosDateTimeToFileTime(c.date, c.time, &ft));
        EXPECT_EQ(ft, 0);
    }
}

// Each zone is given once as a database name and once as a rule string that needs no database.
class OsTimeZone : public testing::TestWithParam<const char*>
{
protected:
    void SetUp() override
    {
        const std::string zone = GetParam();
        struct stat st
        {};
        if (zone.find(',') == std::string::npos && ::stat(("/usr/share/zoneinfo/" + zone).c_str(), &st) != 0)
            GTEST_SKIP() << "no time-zone database for " << zone;
        m_Zone.emplace(GetParam());
    }
    void TearDown() override { m_Zone.reset(); }

    std::optional<ScopedTimeZone> m_Zone;
};

// Central Europe, 2021: clocks went forward at 01:00 UTC on 28 March (02:00 -> 03:00) and
// back at 01:00 UTC on 31 October (03:00 -> 02:00).
TEST_P(OsTimeZone, LocalToUtcAcrossBothChanges)
{
    struct Case
    {
        const char* name;
        int64_t local, utc;
    };
    const Case cases[] = {
        {"winter", UtcFileTime(2021, 1, 15, 12, 0, 0), UtcFileTime(2021, 1, 15, 11, 0, 0)},
        {"summer", UtcFileTime(2021, 7, 15, 12, 0, 0), UtcFileTime(2021, 7, 15, 10, 0, 0)},
        {"last second before spring", UtcFileTime(2021, 3, 28, 1, 59, 59), UtcFileTime(2021, 3, 28, 0, 59, 59)},
        {"skipped hour reads as before", UtcFileTime(2021, 3, 28, 2, 30, 0), UtcFileTime(2021, 3, 28, 1, 30, 0)},
        {"first summer second", UtcFileTime(2021, 3, 28, 3, 0, 0), UtcFileTime(2021, 3, 28, 1, 0, 0)},
        {"before the repeated hour", UtcFileTime(2021, 10, 31, 1, 30, 0), UtcFileTime(2021, 10, 30, 23, 30, 0)},
        {"repeated hour, first time", UtcFileTime(2021, 10, 31, 2, 30, 0), UtcFileTime(2021, 10, 31, 0, 30, 0)},
        {"after the repeated hour", UtcFileTime(2021, 10, 31, 3, 0, 0), UtcFileTime(2021, 10, 31, 2, 0, 0)},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        int64_t utc = 0;
        ASSERT_TRUE(FileTimeLocalToUtc(c.local + 1234567, &utc));
        EXPECT_EQ(utc, c.utc + 1234567); // sub-second ticks are kept
    }
}

// Every half hour of a year goes to local time and back unchanged, except the second pass
// through the repeated hour, which reads back as its first occurrence.
TEST_P(OsTimeZone, RoundTripOverAYear)
{
    const int64_t start = UtcFileTime(2021, 1, 1, 0, 0, 0);
    const int64_t repeatedStart = UtcFileTime(2021, 10, 31, 1, 0, 0);
    const int64_t repeatedEnd = repeatedStart + kTicksPerHour;
    for (int64_t t = start; t < start + 365 * 24 * kTicksPerHour; t += kTicksPerHour / 2)
    {
        int64_t local = 0;
        int64_t back = 0;
        ASSERT_TRUE(FileTimeUtcToLocal(t, &local));
        ASSERT_TRUE(FileTimeLocalToUtc(local, &back));
        const bool secondPass = t >= repeatedStart && t < repeatedEnd;
        ASSERT_EQ(back, secondPass ? t - kTicksPerHour : t) << "at " << (t - start) / kTicksPerHour << " h";
    }
}

INSTANTIATE_TEST_SUITE_P(CentralEurope, OsTimeZone, testing::Values("Europe/Berlin", "CET-1CEST,M3.5.0,M10.5.0/3"));

TEST(OsTime, ConversionsRefuseTimesBefore1601)
{
    ScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    int64_t out = 99;
    EXPECT_FALSE(FileTimeLocalToUtc(-1, &out));
    EXPECT_EQ(out, 0);
    // Midnight of 1 January 1601, local, is still 1600 in UTC east of Greenwich.
    EXPECT_FALSE(FileTimeLocalToUtc(0, &out));
    EXPECT_TRUE(FileTimeUtcToLocal(0, &out));
    EXPECT_EQ(out, kTicksPerHour);
}

TEST(OsTime, TimespecConversionsKeepTicksAndNegativeSeconds)
{
    const timespec before = FileTimeToTimespec(kFileTimeUnixEpoch - 1);
    EXPECT_EQ(before.tv_sec, -1);
    EXPECT_EQ(before.tv_nsec, 999999900);
    EXPECT_EQ(TimespecToFileTime(before), kFileTimeUnixEpoch - 1);

    const int64_t t = UtcFileTime(2022, 5, 6, 7, 8, 9) + 4567891;
    const timespec ts = FileTimeToTimespec(t);
    EXPECT_EQ(ts.tv_nsec, 456789100);
    EXPECT_EQ(TimespecToFileTime(ts), t);

    timespec bad{};
    bad.tv_nsec = 1000000000;
    EXPECT_EQ(TimespecToFileTime(bad), 0);
}
