// The library's calendar, shared by the date parser and the date formatter: the tables, the
// leap-second list and the day-number arithmetic.
//
// Day numbers count days from 1 January of year 1 of the Julian calendar (day 0) to 4 October
// 1582 (day 577736), go on with 15 October 1582 as 577737 through 31 December 1582 as 577814,
// and from 1 January 1583 (577816) are the proleptic Gregorian day count from 1 January of
// year 1 plus 3. Day 577815 is never produced by the parser; the formatter shows it as
// 31 December 1582. 1 January 1970 is day 719165.
#ifndef ZQ_TIME_CALENDAR_H
#define ZQ_TIME_CALENDAR_H

#include <cstdint>

namespace zq::cal {

// Date value of 1970-01-01T00:00:00Z; values below it are day numbers.
inline constexpr uint64_t kEpochValue = 2678400;
// Day number of 1 January 1970.
inline constexpr int64_t kEpochDay = 719165;
// The last day of the Julian count (4 October 1582) and the first day of 1583.
inline constexpr int64_t kLastJulianDay = 577736;
inline constexpr int64_t kFirstGregorianDay = 577816;
inline constexpr int64_t kSecondsPerDay = 86400;

// Leap-second instants: the POSIX second count of a midnight UTC plus the entry's index for the
// first entries. The later entries are kept exactly as they have always been stored, even where
// they differ from the published list: date values written years ago depend on them.
inline constexpr int kLeapCount = 23;
inline constexpr uint64_t kLeapSeconds[kLeapCount] = {
    78796800,  94694401,  126230402, 157766403, 189302404, 220924805, 252460806,  283996807,
    315532808, 363793609, 394329611, 425865611, 457401612, 473299213, 536457614,  567993615,
    615254416, 646790417, 678326418, 725760019, 773020820, 820454421, 1041379222,
};

// Days before each month, common year [0] and leap year [1].
inline constexpr int kDaysBefore[2][12] = {
    {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334},
    {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335},
};
inline constexpr int kMonthDays[2][12] = {
    {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
    {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
};

inline constexpr char kWeekdayNames[7][4] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
inline constexpr char kMonthNames[12][4] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Julian leap years up to 1582 (remainder with the sign of the dividend), Gregorian after.
inline bool IsLeapYear(int64_t year) {
    if (year % 4 != 0) return false;
    return year <= 1582 || year % 100 != 0 || year % 400 == 0;
}

// Day number of a date. month must lie in 1..12; the day is an offset that may run past the end
// of the month (30 February is 1 March) or below 1. The days 5 to 14 October 1582 give 577736.
inline int64_t DayNumber(int64_t year, int month, int64_t day) {
    const int64_t before = kDaysBefore[IsLeapYear(year) ? 1 : 0][month - 1];
    const int64_t y = year - 1;
    if (year < 1582 || (year == 1582 && (month < 10 || (month == 10 && day <= 4)))) {
        return y * 365 + y / 4 + before + day - 1;
    }
    if (year == 1582) {
        if (month == 10 && day <= 14) return kLastJulianDay;
        return before + day + 577449;
    }
    const int64_t g = (y / 400) * 146097 + ((y % 400) / 100) * 36524 + ((y % 100) / 4) * 1461 +
                      (y % 4) * 365 + before + day - 1;
    return g + 3;
}

struct Date {
    int64_t year;
    int month;  // 1..12
    int day;    // 1..31
};

// Calendar date of a day number >= 0.
inline Date DateOfDay(int64_t dayNumber) {
    int64_t year;
    int64_t r;  // 0-based day within the year
    bool leap;
    if (dayNumber <= kLastJulianDay) {
        year = (dayNumber / 1461) * 4;
        r = dayNumber % 1461;
        const int64_t q = r / 365 < 3 ? r / 365 : 3;
        year += q + 1;
        r -= q * 365;
        leap = year % 4 == 0;
    } else if (dayNumber < kFirstGregorianDay - 1) {
        year = 1582;
        r = dayNumber - 577450;
        leap = false;
    } else {
        // Day 577815, which has no date of its own, comes out here as 31 December 1582.
        const int64_t g = dayNumber - 3;
        year = (g / 146097) * 400;
        r = g % 146097;
        int64_t q = r / 36524 < 3 ? r / 36524 : 3;
        year += q * 100;
        r -= q * 36524;
        year += (r / 1461) * 4;
        r %= 1461;
        q = r / 365 < 3 ? r / 365 : 3;
        year += q + 1;
        r -= q * 365;
        leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    }
    const int* lengths = kMonthDays[leap ? 1 : 0];
    int month = 0;
    while (month < 11 && r >= lengths[month]) {
        r -= lengths[month];
        ++month;
    }
    return Date{year, month + 1, static_cast<int>(r) + 1};
}

// Weekday of a day number >= 0: 0 Sunday .. 6 Saturday (1 January 1970 is a Thursday).
inline int WeekdayOfDay(int64_t dayNumber) {
    return static_cast<int>((dayNumber + 5) % 7);
}

}  // namespace zq::cal

#endif  // ZQ_TIME_CALENDAR_H
