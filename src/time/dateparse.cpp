// Date parsing: one fixed layout per call, named by its format code. Fields are read with
// ZqXmlU_ParseDecimal, each starting where the previous one's delimiter was consumed, and the
// separators are checked at fixed character positions. Anything rejected gives 0.
//
// The text is only read, never written, and never past its terminator: the fixed-position
// checks see the bytes beyond the end as NUL, and a field that would start at or beyond the end
// rejects the date.
#include <charconv>
#include <cstdint>
#include <cstring>
#include <system_error>

#include "time/calendar.h"
#include "zqxmlu.h"

namespace {

using zq::cal::kLeapCount;
using zq::cal::kLeapSeconds;

struct Cursor {
    char* text;
    size_t len;
    size_t pos = 0;

    char At(size_t k) const { return k < len ? text[k] : '\0'; }

    // Reads the next decimal field and consumes its delimiter; false at the end of the text.
    bool Next(int32_t& v) {
        if (pos >= len) return false;
        ZqLong x;
        pos += ZqXmlU_ParseDecimal(text + pos, &x);
        v = x;
        return true;
    }

    bool Fields(int32_t& a, int32_t& b, int32_t& c) { return Next(a) && Next(b) && Next(c); }
};

// The date and time read from a text, and the zone it is read in.
struct Reading {
    int32_t year = 0;
    int32_t month = 0;
    int32_t day = 0;
    int32_t hour = 12;  // formats without a time of day stand for noon
    int32_t minute = 0;
    int32_t second = 0;
    ZqLong zoneHours = 0;
    ZqULong zoneMinutes = 0;
    double fraction = 0.0;
};

// Checks the separators of a layout: every character of `mask` other than '.' must stand at its
// own index in the text.
bool Separators(const Cursor& c, const char* mask) {
    for (size_t k = 0; mask[k]; ++k) {
        if (mask[k] != '.' && c.At(k) != mask[k]) return false;
    }
    return true;
}

// The seconds of format 23 with their decimal fraction, read from index 17 the way strtod reads
// a number (leading white space and a '+' allowed); 0 when nothing converts.
double SecondsWithFraction(const Cursor& c) {
    const char* p = c.text + 17;
    const char* end = c.text + c.len;
    while (p < end && (*p == ' ' || (*p >= '\t' && *p <= '\r')))
        ++p;
    if (p < end && *p == '+') {
        ++p;
        if (p < end && *p == '-') return 0.0;
    }
    double x = 0.0;
    if (std::from_chars(p, end, x).ec != std::errc()) return 0.0;
    return x;
}

// Format 23: after the seconds an optional fraction, then 'Z', the end of the text, or an offset
// +hh:mm, -hh:mm or +h:mm (+h:m when nothing but a space or the end follows the minutes).
bool ReadIsoZone(Cursor& c, Reading& r) {
    if (c.pos != 20) return false;  // the seconds must end at index 19
    size_t at = 19;
    if (c.At(19) == '.') {
        r.fraction = SecondsWithFraction(c) - r.second;
        at = 20;
        while (c.At(at) >= '0' && c.At(at) <= '9')
            ++at;
    }
    const char z = c.At(at);
    if (z == 'Z') {
        r.zoneHours = 0;
        r.zoneMinutes = 0;
        return true;
    }
    if (z == '\0') return true;
    if (c.At(19) != '-' && c.At(19) != '+')
        return false;  // also rejects an offset after a fraction
    c.pos = 19;
    int32_t hours = 0;
    int32_t minutes = 0;
    c.Next(hours);
    r.zoneHours = hours;
    if (c.At(21) == ':' && c.pos == 22) {
        if (!c.Next(minutes)) return false;
        if (c.pos != 25 && c.At(c.pos) != '\0' && c.At(c.pos) != ' ') return false;
    } else if (c.At(22) == ':') {
        c.pos = 23;
        if (!c.Next(minutes)) return false;
    } else {
        return false;
    }
    r.zoneMinutes = static_cast<ZqULong>(minutes);
    return true;
}

// The month (1-based) of format 27's names, or 0.
int ReadNames(const Cursor& c) {
    auto matches = [&c](size_t at, const char* name) {
        return c.At(at) == name[0] && c.At(at + 1) == name[1] && c.At(at + 2) == name[2];
    };
    bool weekday = false;
    for (const auto& name : zq::cal::kWeekdayNames)
        weekday = weekday || matches(0, name);
    if (!weekday) return 0;
    for (int m = 0; m < 12; ++m) {
        if (matches(4, zq::cal::kMonthNames[m])) return m + 1;
    }
    return 0;
}

// Reads the fields of `format`; false when the layout does not match.
bool ReadLayout(Cursor& c, int format, Reading& r) {
    switch (format) {
        case 21: {  // YYYYMMDD: year and month from fixed slices, the day must end at index 8
            if (c.len < 8) return false;
            char slice[5] = {};
            std::memcpy(slice, c.text, 4);
            ZqLong v;
            ZqXmlU_ParseDecimal(slice, &v);
            r.year = v;
            std::memcpy(slice, c.text + 4, 2);
            slice[2] = '\0';
            ZqXmlU_ParseDecimal(slice, &v);
            r.month = v;
            c.pos = 6;
            return c.Next(r.day) && c.pos == 9;
        }
        case 22:  // YYYY:MM:DD hh:mm:ss
            return c.Fields(r.year, r.month, r.day) && c.Fields(r.hour, r.minute, r.second) &&
                   Separators(c, "....:..:.....:..:");
        case 23:  // YYYY-MM-DDThh:mm:ss[.fff][Z|+hh:mm]
            return c.Fields(r.year, r.month, r.day) && c.Fields(r.hour, r.minute, r.second) &&
                   ReadIsoZone(c, r) && Separators(c, "....-..-..T..:..:");
        case 24:  // YYYY-MM-DDThh:mm:ss, anything after ignored
            return c.Fields(r.year, r.month, r.day) && c.Fields(r.hour, r.minute, r.second) &&
                   Separators(c, "....-..-..T..:..:");
        case 25:  // YYYY-MM-DD
            return c.Fields(r.year, r.month, r.day) && Separators(c, "....-..-");
        case 27:  // Www Mmm DD hh:mm:ss YYYY
            r.month = ReadNames(c);
            if (r.month == 0) return false;
            c.pos = 8;
            return c.Next(r.day) && c.Fields(r.hour, r.minute, r.second) && c.Next(r.year) &&
                   Separators(c, "... ... .. ..:..:.. ");
        case 32:  // MM/DD/YYYY hh:mm:ss, anything after (an AM or PM marker) ignored
            return c.Fields(r.month, r.day, r.year) && c.Fields(r.hour, r.minute, r.second) &&
                   Separators(c, "../../.... ..:..:");
        default:  // 26, 28 to 31 and every other code
            return false;
    }
}

// Seconds since 1970 (UTC, before the leap correction) -> date value, or 0 when a second 60 is
// not one of the table's instants.
uint64_t LeapCorrected(int64_t t, int32_t second) {
    uint64_t u = static_cast<uint64_t>(t) + kLeapCount;
    int i = kLeapCount - 1;
    while (i >= 0 && u <= kLeapSeconds[i] + 1) {
        --u;
        --i;
    }
    // A second 60 after the last entry is taken as the first second of the next minute.
    if (second == 60 && i + 1 < kLeapCount && u != kLeapSeconds[i + 1]) return 0;
    return u + zq::cal::kEpochValue;
}

uint64_t DateValue(const Reading& r) {
    if (r.hour < 0 || r.hour > 23 || r.minute < 0 || r.minute > 59 || r.second < 0 ||
        r.second > 60 || (r.second == 60 && r.year < 1972) || r.month < 1 || r.month > 12) {
        return 0;
    }
    const int64_t day = zq::cal::DayNumber(r.year, r.month, r.day);
    int64_t result;
    if (r.year < 1970) {
        result = day;  // time of day and zone play no part before 1970
    } else {
        int64_t t = (day - zq::cal::kEpochDay) * zq::cal::kSecondsPerDay + r.hour * 3600 +
                    r.minute * 60 + r.second;
        const int64_t shift = static_cast<int64_t>(r.zoneHours) * 3600;
        const int64_t minutes = static_cast<int64_t>(r.zoneMinutes) * 60;
        if (r.zoneHours < 0) {
            t += -shift + minutes;
        } else if (r.zoneHours > 0) {
            t -= shift + minutes;
        }
        const uint64_t value = LeapCorrected(t, r.second);
        if (value == 0) return 0;
        result = static_cast<int64_t>(value);
    }
    if (result < 0) return 0;  // before the start of the count
    return result == 0 ? 1 : static_cast<uint64_t>(result);
}

}  // namespace

uint64_t ZQ_CALL ParseDate(char* text, int format, ZqLong zoneHours, ZqULong zoneMinutes,
                           int asDouble) {
    if (!text) return 0;
    Cursor c{text, std::strlen(text)};
    Reading r;
    r.zoneHours = zoneHours;
    r.zoneMinutes = zoneMinutes;
    if (!ReadLayout(c, format, r)) return 0;
    const uint64_t value = DateValue(r);
    if (!asDouble || value == 0) return value;
    const double d = static_cast<double>(value) + r.fraction;
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    return bits;
}

double ZQ_CALL ZqXmlU_ParseDateF(char* text, int format, ZqLong zoneHours, ZqULong zoneMinutes) {
    const uint64_t bits = ParseDate(text, format, zoneHours, zoneMinutes, 1);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

extern "C" {

uint64_t ZQ_CALL ZqXmlU_ParseDate(char* text, int format, ZqLong zoneHours, ZqULong zoneMinutes) {
    return ParseDate(text, format, zoneHours, zoneMinutes, 0);
}

}  // extern "C"
