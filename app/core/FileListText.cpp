#include "core/FileListText.h"

#include "base/FormatSize.h"
#include "core/TextFormat.h"
#include "fs/tagFileNode.h"
#include "os/OsTime.h"
#include "core/VlmStrings.h"

namespace {

constexpr int64_t kTicksPerMs = 10000;
constexpr int64_t kMsPerDay = 86400000;
// Days from 1601-01-01 to 1970-01-01.
constexpr int64_t kEpochDays1601 = 134774;

} // namespace

tagCalendarTime FileTimeToCalendar(uint64_t fileTime)
{
    const uint64_t totalMs = fileTime / static_cast<uint64_t>(kTicksPerMs);
    const auto days = static_cast<int64_t>(totalMs / static_cast<uint64_t>(kMsPerDay));
    const auto msOfDay = static_cast<int64_t>(totalMs % static_cast<uint64_t>(kMsPerDay));
    tagCalendarTime t;
    int64_t year = 0, month = 0, day = 0;
    CivilFromDays(days - kEpochDays1601, &year, &month, &day);
    t.nYear = static_cast<int>(year);
    t.nMonth = static_cast<int>(month);
    t.nDay = static_cast<int>(day);
    t.nHour = static_cast<int>(msOfDay / 3600000);
    t.nMinute = static_cast<int>(msOfDay / 60000 % 60);
    t.nSecond = static_cast<int>(msOfDay / 1000 % 60);
    t.nMilliseconds = static_cast<int>(msOfDay % 1000);
    return t;
}

bool CalendarToFileTime(const tagCalendarTime& t, uint64_t* fileTime)
{
    *fileTime = 0;
    if (t.nYear < 1601 || t.nYear > 30827 || t.nMonth < 1 || t.nMonth > 12 || t.nDay < 1 ||
        t.nDay > DaysInMonth(t.nYear, t.nMonth) || t.nHour < 0 || t.nHour > 23 || t.nMinute < 0 || t.nMinute > 59 ||
        t.nSecond < 0 || t.nSecond > 59 || t.nMilliseconds < 0 || t.nMilliseconds > 999)
        return false;
    const int64_t days = DaysFromCivil(t.nYear, t.nMonth, t.nDay) + kEpochDays1601;
    const int64_t ms =
        days * kMsPerDay + t.nHour * 3600000LL + t.nMinute * 60000LL + t.nSecond * 1000LL + t.nMilliseconds;
    *fileTime = static_cast<uint64_t>(ms) * static_cast<uint64_t>(kTicksPerMs);
    return true;
}

std::string AttributeLetters(uint16_t attributes)
{
    static const struct
    {
        char letter;
        uint16_t bit;
    } kLetters[] = {{'a', FN_ATTR_ARCHIVE}, {'c', FN_ATTR_COMPRESSED}, {'d', FN_ATTR_FOLDER}, {'e', FN_ATTR_ENCRYPTED},
                    {'h', FN_ATTR_HIDDEN},  {'r', FN_ATTR_READONLY},   {'s', FN_ATTR_SYSTEM}};
    std::string text;
    for (const auto& l : kLetters) text += (attributes & l.bit) ? l.letter : '_';
    return text;
}

std::string DateText(uint64_t fileTime)
{
    if (fileTime == 0) return {};
    const tagCalendarTime t = FileTimeToCalendar(fileTime);
    return FormatText("%d-%d-%d %d:%d:%d", t.nYear, t.nMonth, t.nDay, t.nHour, t.nMinute, t.nSecond);
}

std::string SizeColumn(const tagFileNode* record)
{
    if (!record || !(record->wValidMask & FN_MASK_SIZE)) return {};
    return FormatSize(record->s64Size);
}

std::string CreatedColumn(const tagFileNode* record)
{
    if (!record || !(record->wValidMask & FN_MASK_CREATED)) return {};
    return DateText(record->ftCreated);
}

std::string ModifiedColumn(const tagFileNode* record)
{
    if (!record || !(record->wValidMask & FN_MASK_MODIFIED)) return {};
    return DateText(record->ftModified);
}

std::string AttributeColumn(const tagFileNode* record)
{
    if (!record || !(record->wValidMask & FN_MASK_ATTRIBUTES)) return {};
    return AttributeLetters(record->wAttributes);
}

std::string ConditionColumn(const tagFileNode* record)
{
    if (!IsFileRecord(record)) return {};
    return VlmString(static_cast<uint32_t>(IDS_COND_UNKNOWN) + KnownCondition(record->byCondition));
}

const char* ConditionKey(const tagFileNode* record)
{
    if (!IsFileRecord(record)) return nullptr;
    switch (KnownCondition(record->byCondition))
    {
    case FN_COND_INTACT: return "intact";
    case FN_COND_OVERWRITTEN: return "overwritten";
    case FN_COND_UNREADABLE: return "unreadable";
    default: return "unknown";
    }
}

std::string SelectedStatusText(uint64_t bytes, uint32_t count)
{
    return FormatText(VlmString(IDS_STATUS_SELECTED), FormatSize(static_cast<int64_t>(bytes)).c_str(),
                      static_cast<int>(count));
}

std::string TotalStatusText(uint64_t bytes, uint32_t count)
{
    return FormatText(VlmString(IDS_STATUS_TOTAL), FormatSize(static_cast<int64_t>(bytes)).c_str(),
                      static_cast<int>(count));
}
