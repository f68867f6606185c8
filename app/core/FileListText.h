#pragma once
// What the file list shows of a record: the attribute letters, the dates, the status texts.
// Record times are local wall-clock file times (100-ns units since 1601-01-01) and are shown
// as they are, without any time-zone conversion.
#include <cstdint>
#include <string>

struct tagFileNode;

struct tagCalendarTime
{
    int nYear = 0;
    int nMonth = 0; // 1..12
    int nDay = 0;   // 1..31
    int nHour = 0;
    int nMinute = 0;
    int nSecond = 0;
    int nMilliseconds = 0;
};

/// Splits a file time into its calendar fields (proleptic Gregorian calendar).
tagCalendarTime FileTimeToCalendar(uint64_t fileTime);
/// The file time of a calendar date and time; false for a field out of range or a date
/// before 1601.
bool CalendarToFileTime(const tagCalendarTime& time, uint64_t* fileTime);

/// Seven letters "acdehrs" (archive, compressed, directory, encrypted, hidden, read-only,
/// system), each replaced by "_" when its bit is clear.
std::string AttributeLetters(uint16_t attributes);
/// "%d-%d-%d %d:%d:%d" (year, month, day, hour, minute, second); "" for a time of 0.
std::string DateText(uint64_t fileTime);

/// The column texts of a record; "" where its mask holds no value.
std::string SizeColumn(const tagFileNode* record);
std::string CreatedColumn(const tagFileNode* record);
std::string ModifiedColumn(const tagFileNode* record);
std::string AttributeColumn(const tagFileNode* record);
/// "intact", "overwritten", "unreadable parts" or "unknown" for a file record; "" for a folder.
std::string ConditionColumn(const tagFileNode* record);
/// A fixed word for machine-read listings: "intact", "overwritten", "unreadable" or "unknown"
/// (null for a folder).
const char* ConditionKey(const tagFileNode* record);

/// "Selected %s in %d files." and "Total %s in %d files.".
std::string SelectedStatusText(uint64_t bytes, uint32_t count);
std::string TotalStatusText(uint64_t bytes, uint32_t count);
