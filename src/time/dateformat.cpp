// Date formatting and the clock. A date value is split into a local day number and the seconds
// of that day, the day number into a calendar date, and the date is written in the layout of a
// format code. The layouts are the printf formats noted beside each case, written here digit by
// digit: a width-and-precision field such as %04.4lu or %2.2lu prints at least that many digits,
// zero-filled; %+02.2d prints a sign and at least two digits.
#include <atomic>
#include <cstdint>
#include <cstring>

#include "platform/clock.h"
#include "platform/fmt.h"
#include "platform/utf.h"
#include "time/calendar.h"
#include "zqxmlu.h"

namespace {

using zq::cal::kSecondsPerDay;

// The clock override: 0 means the system time.
std::atomic<uint64_t> gOverrideNow{0};

// Every layout, with a year of up to 20 digits and the widest zone, stays below this.
constexpr size_t kTextMax = 64;

struct Local {
    int64_t dayNumber;
    int64_t secondOfDay;
};

// The local day and time of a date value in a zone (east of UTC: UTC + hours + minutes when
// zoneHours > 0, UTC + hours - minutes otherwise). Day numbers, and the values between them and
// the second count, show noon. Second counts are worked in 64 bits with floor division, so that
// times past 2038 and local times before 1970 show their true date.
Local Split(uint64_t value, ZqLong zoneHours, ZqULong zoneMinutes) {
    if (value < zq::cal::kEpochValue) {
        const auto day = static_cast<int64_t>(value);
        return Local{day < zq::cal::kEpochDay ? day : zq::cal::kEpochDay - 1, 43200};
    }
    uint64_t s = value - zq::cal::kEpochValue;
    int i = zq::cal::kLeapCount - 1;
    while (i >= 0 && s <= zq::cal::kLeapSeconds[i])
        --i;
    s -= static_cast<uint64_t>(i + 1);

    const int64_t minutes = static_cast<int64_t>(zoneMinutes) * 60;
    const int64_t shift =
        static_cast<int64_t>(zoneHours) * 3600 + (zoneHours > 0 ? minutes : -minutes);
    int64_t shiftDays = shift / kSecondsPerDay;
    int64_t shiftSeconds = shift % kSecondsPerDay;
    if (shiftSeconds < 0) {
        shiftSeconds += kSecondsPerDay;
        --shiftDays;
    }
    int64_t second = static_cast<int64_t>(s % kSecondsPerDay) + shiftSeconds;
    int64_t day = static_cast<int64_t>(s / kSecondsPerDay) + shiftDays + zq::cal::kEpochDay;
    if (second >= kSecondsPerDay) {
        second -= kSecondsPerDay;
        ++day;
    }
    if (day < 0) day = 0;  // a zone shift of more than 1969 years shows 1 January of year 1
    return Local{day, second};
}

class Writer {
  public:
    explicit Writer(char* out) : begin_(out), p_(out) {}

    Writer& Char(char c) {
        *p_++ = c;
        return *this;
    }
    Writer& Str(const char* s) {
        while (*s)
            *p_++ = *s++;
        return *this;
    }
    // At least minDigits digits, zero-filled.
    Writer& Number(uint64_t v, int minDigits) {
        char digits[20];
        int n = 0;
        do {
            digits[n++] = static_cast<char>('0' + v % 10);
            v /= 10;
        } while (v);
        for (int k = n; k < minDigits; ++k)
            *p_++ = '0';
        while (n)
            *p_++ = digits[--n];
        return *this;
    }
    size_t Finish() {
        *p_ = '\0';
        return static_cast<size_t>(p_ - begin_);
    }

  private:
    char* begin_;
    char* p_;
};

// Writes `value` in the layout of `format` into out (kTextMax bytes); returns the length.
size_t Render(uint64_t value, int format, ZqLong zoneHours, ZqULong zoneMinutes, char* out) {
    const Local local = Split(value, zoneHours, zoneMinutes);
    const zq::cal::Date date = zq::cal::DateOfDay(local.dayNumber);
    const auto year = static_cast<uint64_t>(date.year);
    const auto month = static_cast<uint64_t>(date.month);
    const auto day = static_cast<uint64_t>(date.day);
    const auto hour = static_cast<uint64_t>(local.secondOfDay / 3600);
    const auto minute = static_cast<uint64_t>(local.secondOfDay % 3600 / 60);
    const auto second = static_cast<uint64_t>(local.secondOfDay % 60);
    const uint64_t hour12 = hour % 12 == 0 ? 12 : hour % 12;
    const char* marker = hour < 12 ? "AM" : "PM";
    const char* monthName = zq::cal::kMonthNames[date.month - 1];

    Writer w(out);
    // The pieces the layouts share: "yyyy-mm-dd" with its separator, "hh:mm:ss", "hh:mm:ss AM".
    auto date24 = [&](char sep) {
        w.Number(year, 4).Char(sep).Number(month, 2).Char(sep).Number(day, 2);
    };
    auto clock24 = [&] {
        w.Number(hour, 2).Char(':').Number(minute, 2).Char(':').Number(second, 2);
    };
    auto clock12 = [&] {
        w.Number(hour12, 2).Char(':').Number(minute, 2).Char(':').Number(second, 2);
        w.Char(' ').Str(marker);
    };
    switch (format) {
        case 21:  // "%04.4lu%02.2lu%02.2lu"
            w.Number(year, 4).Number(month, 2).Number(day, 2);
            break;
        case 22:  // "%04.4lu:%02.2lu:%02.2lu %02.2lu:%02.2lu:%02.2lu"
            date24(':');
            w.Char(' ');
            clock24();
            break;
        case 23:  // "%04.4lu-%02.2lu-%02.2luT%02.2lu:%02.2lu:%02.2lu%+02.2d:%02.2u"
        case 24:  // "%04.4lu-%02.2lu-%02.2luT%02.2lu:%02.2lu:%02.2lu"
            date24('-');
            w.Char('T');
            clock24();
            if (format == 23) {
                const int64_t hours = zoneHours;
                w.Char(hours < 0 ? '-' : '+');
                w.Number(static_cast<uint64_t>(hours < 0 ? -hours : hours), 2);
                w.Char(':').Number(zoneMinutes, 2);
            }
            break;
        case 25:  // "%04.4lu-%02.2lu-%02.2lu"
            date24('-');
            break;
        case 27:  // "%s %02d %02d %04d %02d:%02d:%02d %s"
            w.Str(zq::cal::kWeekdayNames[zq::cal::WeekdayOfDay(local.dayNumber)]).Char(' ');
            w.Number(month, 2).Char(' ').Number(day, 2).Char(' ').Number(year, 4).Char(' ');
            clock12();
            break;
        case 32:  // "%02d/%02d/%04d %02d:%02d:%02d %s"
            w.Number(month, 2).Char('/').Number(day, 2).Char('/').Number(year, 4).Char(' ');
            clock12();
            break;
        case 33:  // "%04.4lu-%s-%02.2lu"
            w.Number(year, 4).Char('-').Str(monthName).Char('-').Number(day, 2);
            break;
        case 34:  // "%s-%02.2lu %2.2lu:%02.2lu %s"
            w.Str(monthName).Char('-').Number(day, 2).Char(' ').Number(hour12, 2).Char(':');
            w.Number(minute, 2).Char(' ').Str(marker);
            break;
        case 35:  // "%s-%02.2lu-%04.4lu"
        case 36:  // "%s-%02.2lu-%04.4lu %2.2lu:%02.2lu:%02.2lu %s"
            w.Str(monthName).Char('-').Number(day, 2).Char('-').Number(year, 4);
            if (format == 36) {
                w.Char(' ');
                clock12();
            }
            break;
        default:  // 26, 28 to 31 and every other code: "%04d/%02d/%02d %02d:%02d:%02d %s"
            date24('/');
            w.Char(' ');
            clock12();
            break;
    }
    return w.Finish();
}

// Copies a whole text of n units and its terminator into dst, or, when it does not fit in
// dstSize units, leaves an empty text there. dstSize 0 writes nothing.
template <typename C>
void Deliver(C* dst, unsigned dstSize, const C* text, size_t n) {
    if (!dst || dstSize == 0) return;
    if (n < dstSize) {
        std::memcpy(dst, text, (n + 1) * sizeof(C));
    } else {
        dst[0] = 0;
    }
}

}  // namespace

extern "C" {

char* ZQ_CALL ZqXmlU_MakeDateA(uint64_t value, int format, char* dst, unsigned dstSize,
                               ZqLong zoneHours, ZqULong zoneMinutes) {
    char text[kTextMax];
    const size_t n = Render(value, format, zoneHours, zoneMinutes, text);
    Deliver(dst, dstSize, text, n);
    return dst;
}

ZqWChar* ZQ_CALL ZqXmlU_MakeDateW(uint64_t value, int format, ZqWChar* dst, unsigned dstSize,
                                  ZqLong zoneHours, ZqULong zoneMinutes) {
    char text[kTextMax];
    ZqXmlU_MakeDateA(value, format, text, sizeof text, zoneHours, zoneMinutes);
    ZqWChar wide[kTextMax];
    if (zq::Utf8ToUtf16(text, -1, wide, static_cast<int>(kTextMax)) == 0) {
        wide[0] = u' ';  // a text too long for the local buffer
        wide[1] = 0;
    }
    Deliver(dst, dstSize, wide, zq::WStrLen(wide));
    return dst;
}

uint64_t ZQ_CALL ZqXmlU_GetTimeString(char* dst, unsigned dstSize, int noText, ZqLong zoneHours,
                                      ZqULong zoneMinutes) {
    const uint64_t pinned = gOverrideNow.load(std::memory_order_acquire);
    if (pinned != 0) {
        if (!noText) ZqXmlU_MakeDateA(pinned, 23, dst, dstSize, zoneHours, zoneMinutes);
        return pinned;
    }
    // The UTC text goes into dst whatever noText says, then the zone's text replaces it.
    const zq::UtcTime u = zq::UtcNow();
    char text[kTextMax];
    const int n = zq::FormatTo(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d",
                               u.year, u.month, u.day, u.hour, u.minute, u.second, '+', 0, 0);
    Deliver(dst, dstSize, text, static_cast<size_t>(n));
    const uint64_t now = ZqXmlU_ParseDate(text, 23, 0, 0);
    if (!noText) ZqXmlU_MakeDateA(now, 23, dst, dstSize, zoneHours, zoneMinutes);
    return now;
}

}  // extern "C"

void ZQ_CALL ZqXmlU_SetOverrideNow(uint64_t value) {
    gOverrideNow.store(value, std::memory_order_release);
}
