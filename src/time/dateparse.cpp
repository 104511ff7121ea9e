// Date parsing: one fixed layout per call, named by its format code. Fields are read with
// ZqXmlU_ParseDecimal, each starting where the previous one's delimiter was consumed, and the
// separators are checked at fixed character positions (the usual ISO texts take a shortcut that
// reads the same fields). Anything rejected gives 0.
//
// The text is only read, never written, and never past its terminator: the fixed-position
// checks see the bytes beyond the end as NUL, and a field that would start at or beyond the end
// rejects the date.
#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <optional>
#include <system_error>

#include "time/calendar.h"
#include "time/dateparse.h"
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

inline bool IsDigit(char ch) {
    return static_cast<unsigned char>(ch) - unsigned{'0'} <= 9;
}

// Two decimal digits at k.
inline int32_t Two(const char* t, size_t k) {
    return (t[k] - '0') * 10 + (t[k + 1] - '0');
}

// Eight characters of a layout as one word, in memory order: a '0' stands for any digit.
struct Shape {
    uint64_t pattern;     // the layout's bytes
    uint64_t separators;  // 0xFF where the layout has a separator

    explicit constexpr Shape(const char (&layout)[9]) : pattern(0), separators(0) {
        std::array<char, 8> p{};
        std::array<unsigned char, 8> m{};
        for (size_t i = 0; i < 8; ++i) {
            p[i] = layout[i];
            m[i] = layout[i] == '0' ? 0 : 0xFF;
        }
        pattern = std::bit_cast<uint64_t>(p);
        separators = std::bit_cast<uint64_t>(m);
    }

    // Whether the eight characters at t have the layout: every byte of x ^ pattern is a digit's
    // value (0..9), and 0 where a separator stands. A byte of 0x8A or more carries into the next
    // byte's sum, but is caught by its own high bit.
    bool Matches(const char* t) const {
        uint64_t x;
        std::memcpy(&x, t, sizeof x);
        const uint64_t v = x ^ pattern;
        return (((v + 0x7676767676767676u) | v) & 0x8080808080808080u) == 0 &&
               (v & separators) == 0;
    }
};

constexpr Shape kIsoDate("0000-00-");    // characters 0..7
constexpr Shape kIsoMiddle("00T00:00");  // characters 8..15
constexpr Shape kIsoTime("00:00:00");    // characters 11..18

// The usual texts of formats 23 and 24: "yyyy-mm-ddThh:mm:ss" with a non-digit after the
// seconds, for format 23 followed by 'Z', the end, or "+hh:mm" / "-hh:mm" with a non-digit after
// it. The fields are those the field-by-field scan reads from such a text; every other text goes
// that way (false). Only characters before the terminator, or the terminator, are looked at.
bool ReadUsualIso(const char* t, int format, Reading& r) {
    const size_t len = strnlen(t, 26);
    if (len < 19 || !kIsoDate.Matches(t) || !kIsoMiddle.Matches(t + 8) ||
        !kIsoTime.Matches(t + 11) || IsDigit(t[19])) {
        return false;
    }
    if (format == 23 && t[19] != 'Z' && t[19] != '\0') {
        if (len < 25 || (t[19] != '+' && t[19] != '-') || !IsDigit(t[20]) || !IsDigit(t[21]) ||
            t[22] != ':' || !IsDigit(t[23]) || !IsDigit(t[24]) || IsDigit(t[25])) {
            return false;
        }
        const int32_t hours = Two(t, 20);
        r.zoneHours = t[19] == '-' ? -hours : hours;
        r.zoneMinutes = static_cast<ZqULong>(Two(t, 23));
    } else if (format == 23 && t[19] == 'Z') {
        r.zoneHours = 0;
        r.zoneMinutes = 0;
    }
    r.year = Two(t, 0) * 100 + Two(t, 2);
    r.month = Two(t, 5);
    r.day = Two(t, 8);
    r.hour = Two(t, 11);
    r.minute = Two(t, 14);
    r.second = Two(t, 17);
    return true;
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
    // An offset stands right after the seconds: none may follow a fraction.
    if (c.At(19) != '-' && c.At(19) != '+') return false;
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
        case 24:  // YYYY-MM-DDThh:mm:ss, anything after ignored
            if (!(c.Fields(r.year, r.month, r.day) && c.Fields(r.hour, r.minute, r.second) &&
                  Separators(c, "....-..-..T..:..:"))) {
                return false;
            }
            return format == 24 || ReadIsoZone(c, r);
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

// The leap-second step, one walk for every path. It starts at t + 23 with i = 22 and, while
// t + i + 1 taken modulo 2^64 is at most entry[i] + 1, steps down to i - 1; the value is then
// t + i + 1. Where it stops:
// - t >= 0: at the highest i with t + i > entry[i], that is t > entry[i] - i. These thresholds
//   rise strictly, so i + 1 is the number of them below t, found by a binary search.
// - t < 0: t + i + 1 wraps below zero exactly for i < -t - 1, and no entry is that large, so the
//   walk stops at once for t <= -24 and at i = -t - 2 for the last 23 seconds before 1970.
constexpr std::array<uint64_t, kLeapCount> kThresholds = [] {
    std::array<uint64_t, kLeapCount> d{};
    for (int i = 0; i < kLeapCount; ++i)
        d[i] = kLeapSeconds[i] - static_cast<uint64_t>(i);
    return d;
}();
static_assert(std::is_sorted(kThresholds.begin(), kThresholds.end(), std::less_equal<>()));

int LeapStop(int64_t t) {
    if (t < 0) return static_cast<int>(std::min<int64_t>(kLeapCount - 1, -t - 2));
    // A binary search without branches: the instants are spread over the whole table.
    const auto key = static_cast<uint64_t>(t);
    const uint64_t* base = kThresholds.data();
    static_assert(kLeapCount == 23, "the steps below halve 23 entries");
    for (const size_t step : {11, 6, 3, 1, 1})
        base = base[step] < key ? base + step : base;
    return static_cast<int>(base - kThresholds.data()) + (*base < key ? 1 : 0) - 1;
}

// The date of a reading, or nothing when it is rejected. Never 0: a date whose arithmetic gives
// 0 is 1, so that 0 stays the exports' answer for "no date".
std::optional<uint64_t> DateValue(const Reading& r) {
    if (r.hour < 0 || r.hour > 23 || r.minute < 0 || r.minute > 59 || r.second < 0 ||
        r.second > 60 || (r.second == 60 && r.year < 1972) || r.month < 1 || r.month > 12) {
        return std::nullopt;
    }
    const int64_t day = zq::cal::DayNumber(r.year, r.month, r.day);
    int64_t value = day;  // before 1970 the day alone: time of day and zone play no part
    if (r.year >= 1970) {
        int64_t t = (day - zq::cal::kEpochDay) * zq::cal::kSecondsPerDay + r.hour * 3600 +
                    r.minute * 60 + r.second;
        const int64_t shift = static_cast<int64_t>(r.zoneHours) * 3600;
        const int64_t minutes = static_cast<int64_t>(r.zoneMinutes) * 60;
        if (r.zoneHours < 0) {
            t += -shift + minutes;
        } else if (r.zoneHours > 0) {
            t -= shift + minutes;
        }
        const int i = LeapStop(t);
        // A second 60 must be a table instant; after the last entry it is taken as the first
        // second of the next minute.
        if (r.second == 60 && i + 1 < kLeapCount &&
            t + i + 1 != static_cast<int64_t>(kLeapSeconds[i + 1])) {
            return std::nullopt;
        }
        value = t + i + 1 + static_cast<int64_t>(zq::cal::kEpochValue);
    }
    if (value < 0) return std::nullopt;  // before 0001-01-01 or before the start of the count
    return value == 0 ? 1 : static_cast<uint64_t>(value);
}

}  // namespace

namespace zq::date {

Parsed ParseText(char* text, int format, ZqLong zoneHours, ZqULong zoneMinutes, bool shortcut) {
    if (!text) return {};
    Reading r;
    r.zoneHours = zoneHours;
    r.zoneMinutes = zoneMinutes;
    if (!(shortcut && (format == 23 || format == 24) && ReadUsualIso(text, format, r))) {
        Cursor c{text, std::strlen(text)};
        if (!ReadLayout(c, format, r)) return {};
    }
    const std::optional<uint64_t> value = DateValue(r);
    if (!value) return {};
    return Parsed{true, *value, r.fraction};
}

}  // namespace zq::date

uint64_t ZQ_CALL ParseDate(char* text, int format, ZqLong zoneHours, ZqULong zoneMinutes,
                           int asDouble) {
    const zq::date::Parsed p = zq::date::ParseText(text, format, zoneHours, zoneMinutes, true);
    if (!p.accepted) return 0;
    if (!asDouble) return p.value;
    return std::bit_cast<uint64_t>(static_cast<double>(p.value) + p.fraction);
}

double ZQ_CALL ZqXmlU_ParseDateF(char* text, int format, ZqLong zoneHours, ZqULong zoneMinutes) {
    const zq::date::Parsed p = zq::date::ParseText(text, format, zoneHours, zoneMinutes, true);
    return p.accepted ? static_cast<double>(p.value) + p.fraction : 0.0;
}

extern "C" {

uint64_t ZQ_CALL ZqXmlU_ParseDate(char* text, int format, ZqLong zoneHours, ZqULong zoneMinutes) {
    const zq::date::Parsed p = zq::date::ParseText(text, format, zoneHours, zoneMinutes, true);
    return p.accepted ? p.value : 0;
}

}  // extern "C"
