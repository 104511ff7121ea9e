// Numbers and dates: the scanners, the date value, parsing, formatting and the clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "support.h"
#include "zqxmlu.h"

namespace {

// The text in a heap block of exactly its size, so that a read past the NUL is an ASan error.
std::unique_ptr<char[]> Exact(const std::string& s) {
    auto p = std::make_unique<char[]>(s.size() + 1);
    std::memcpy(p.get(), s.c_str(), s.size() + 1);
    return p;
}

// The first character after a sign is taken as a digit untested (':' adds 10), except the
// terminator; bytes 0x80 and above are no digits; the value wraps modulo 2^32.
TEST(Numbers, ParseDecimal) {
    struct Case {
        std::string text;
        int32_t value;
        uint32_t advance;
    };
    // clang-format off
    const Case cases[] = {
        {"2004-07-15", 2004, 5}, {"07-15", 7, 3}, {"15", 15, 3}, {"-05:30", -5, 4},
        {"+02:00", 2, 4}, {"9\xC3", 9, 2}, {"4294967297", 1, 11}, {"-2147483648", INT32_MIN, 12},
        {":5", 105, 3}, {"", 0, 1}, {"-", 0, 2}, {"+", 0, 2},
    };
    // clang-format on
    for (const Case& c : cases) {
        auto text = Exact(c.text);
        ZqLong value = 77;
        EXPECT_EQ(ZqXmlU_ParseDecimal(text.get(), &value), c.advance) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }
}

// Decimal digits carry over into the hex phase after a lower-case 'x' (an 'X' ends the
// number); hex-only mode knows no sign; '.' and '_' end a hex number unconsumed; values wrap.
TEST(Numbers, ParseInteger) {
    struct Case {
        std::string text;
        int64_t value;
        int hexOnly;
        uint32_t advance;
    };
    // clang-format off
    const Case cases[] = {
        {"0x1f", 31, 0, 5}, {"x1F", 31, 0, 4}, {"-x10", -16, 0, 5}, {"12x4", 196, 0, 5},
        {"12X4", 12, 0, 3}, {"1f.", 31, 1, 2}, {"1f_", 31, 1, 2}, {"1f:", 31, 1, 3},
        {"ff\"", 255, 1, 3}, {"-1", 0, 1, 0}, {"01.zqtv", 1, 0, 3}, {"-42_", -42, 0, 4},
        {"", 0, 0, 1}, {"", 0, 1, 1}, {"-", 0, 0, 2}, {"-9223372036854775808", INT64_MIN, 0, 21},
        {"18446744073709551617", 1, 0, 21}, {"x10000000000000001", 1, 0, 19},
    };
    // clang-format on
    for (const Case& c : cases) {
        auto text = Exact(c.text);
        int64_t value = 77;
        EXPECT_EQ(ZqXmlU_ParseInteger(text.get(), &value, c.hexOnly), c.advance) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }
}

uint64_t Parse(const std::string& text, int format, ZqLong zoneHours = 0, ZqULong zoneMinutes = 0) {
    auto copy = Exact(text);
    const uint64_t value = ZqXmlU_ParseDate(copy.get(), format, zoneHours, zoneMinutes);
    EXPECT_EQ(text, copy.get()) << "the text must come back unchanged";
    return value;
}

std::string Format(uint64_t value, int format, ZqLong zoneHours = 0, ZqULong zoneMinutes = 0) {
    char out[64];
    return ZqXmlU_MakeDateA(value, format, out, sizeof out, zoneHours, zoneMinutes);
}

constexpr uint64_t kJuly15 = 1092575132;  // 2004-07-15T13:05:09Z

TEST(ParseDate, WorkedValues) {
    struct Group {
        int format;
        uint64_t value;
        std::vector<std::string> texts;
        ZqLong zoneHours = 0;
        ZqULong zoneMinutes = 0;
    };
    const Group groups[] = {
        // The zone of the text, in each of its forms, overrides the arguments.
        {23,
         kJuly15,
         {"2004-07-15T13:05:09Z", "2004-07-15T15:05:09+02:00", "2004-07-15T07:35:09-05:30",
          "2004-07-15T15:05:09+2:00", "2004-07-15T15:05:09+2:0", "2004-07-15T15:05:09+2:0 ",
          "2004-07-15T13:05:09+00:30"},
         7,
         0},
        {23, 0, {"2004-07-15T15:05:09+2:0 x", "2004-07-15T15:05:09+0200", "2004-07-15T15:05:09+"}},
        // Otherwise the arguments, whose minutes count only with non-zero hours.
        {23, kJuly15, {"2004-07-15T15:05:09"}, 2, 0},
        {23, kJuly15, {"2004-07-15T13:05:09"}, 0, 30},
        {24, kJuly15, {"2004-07-15T07:35:09", "2004-07-15T07:35:09.75+02:00"}, -5, 30},
        {23, 719164, {"1969-12-31T23:00:00-05:00"}},  // before 1970: the day alone
        // Leap seconds: second 60 only at the table's instants, from 1972 on, or past its end.
        {23, 81475199, {"1972-06-30T23:59:59Z"}},
        {23, 81475200, {"1972-06-30T23:59:60Z", "1972-07-01T00:00:00Z"}},
        {23, 81475202, {"1972-07-01T00:00:01Z"}},
        {23, 97372801, {"1972-12-31T23:59:60Z", "1973-01-01T00:00:00Z"}},
        {23, 1265068823, {"2010-01-01T23:59:60Z", "2010-01-02T00:00:00Z"}},
        {23, 0, {"1971-12-31T23:59:60Z", "1980-03-03T23:59:60Z"}},
        // The other layouts, and what each one leaves unchecked.
        {21, 1092571223, {"20040715"}},
        {25, 1092571223, {"2004-07-15"}},
        {22, kJuly15, {"2004:07:15 13:05:09", "2004:07:15T13:05:09"}},
        {27, kJuly15, {"Thu Jul 15 13:05:09 2004", "Fri Jul 15 13:05:09 2004"}},
        {32, kJuly15, {"07/15/2004 13:05:09"}},
        {32, kJuly15 - 12 * 3600, {"07/15/2004 01:05:09 PM"}},
        {25, Parse("2004-03-01", 25), {"2004-02-30"}},
        // Every real day is walked in the Calendar tests; these are the days that do not exist.
        {25, 577736, {"1582-10-05", "1582-10-14"}},
        // Rejections: names, codes, fields, ranges, texts cut short.
        {27, 0, {"thu Jul 15 13:05:09 2004", "Thu JUL 15 13:05:09 2004"}},
        {28, 0, {"Thu Jul 15 13:05:09 2004"}},
        {26, 0, {"2004/07/15 01:05:09 PM"}},
        {99, 0, {"2004-07-15T13:05:09"}},
        {23,
         0,
         {"2004-07-15T13:05:09.25+02:00", "2004-07-15T13:05:9Z", "2004-07-15T24:00:00Z",
          "2004-07-15T23:60:00Z", "", "2004-07-15T13:05:"}},
        {25, 0, {"2004-13-15", "2004-00-15", "2004-07", "2004-07-", "-"}},
        {21, 0, {"2004071", "200407155"}},
        {24, 0, {"1970-01-01T00:00:00"}, 800, 0},  // falls before the start of the count
    };
    for (const Group& g : groups) {
        for (const std::string& text : g.texts) {
            EXPECT_EQ(Parse(text, g.format, g.zoneHours, g.zoneMinutes), g.value)
                << text << " format " << g.format;
        }
    }
}

TEST(ParseDate, FractionsOfFormat23) {
    zqtest::Text text("2004-07-15T13:05:09.25Z");
    EXPECT_EQ(ZqXmlU_ParseDateF(text, 23, 0, 0), 1092575132.25);
    const uint64_t bits = ParseDate(text, 23, 0, 0, 1);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    EXPECT_EQ(d, 1092575132.25);
    EXPECT_EQ(ParseDate(text, 23, 0, 0, 0), kJuly15);
    zqtest::Text plain("2004-07-15T15:05:09.5"), day("1969-12-31T10:00:00.5Z");
    EXPECT_EQ(ZqXmlU_ParseDateF(plain, 23, 2, 0), 1092575132.5);
    EXPECT_EQ(ZqXmlU_ParseDateF(day, 23, 0, 0), 719164.5);
    zqtest::Text date("2004-07-15"), bad("2004-07-15T13:05:09.25-01:00");
    EXPECT_EQ(ZqXmlU_ParseDateF(date, 25, 0, 0), 1092571223.0);
    EXPECT_EQ(ZqXmlU_ParseDateF(bad, 23, 0, 0), 0.0);
}

// Every layout is checked against printf over many instants (InstantsAgainstTimegm); these are
// the values worth seeing spelt out.
TEST(MakeDate, WorkedValues) {
    struct Case {
        uint64_t value;
        int format;
        const char* text;
        ZqLong zoneHours = 0;
        ZqULong zoneMinutes = 0;
    };
    const Case cases[] = {
        {kJuly15, 23, "2004-07-15T15:05:09+02:00", 2, 0},
        {kJuly15, 23, "2004-07-15T07:35:09-05:30", -5, 30},
        {kJuly15, 23, "2004-07-15T12:35:09+00:30", 0, 30},  // hours 0: minutes west of UTC
        {kJuly15, 99, "2004/07/15 01:05:09 PM"},
        {2678400, 27, "Thu 01 01 1970 12:00:00 AM"},
        {81475200, 23, "1972-07-01T00:00:00+00:00"},  // never a second 60
        {1107172823, 25, "2004-12-31"},
        {Parse("2000-12-31T12:00:00Z", 23), 25, "2000-12-31"},
        // Day numbers show noon whatever the zone; so does the gap below the second count.
        {719164, 23, "1969-12-31T12:00:00+02:00", 2, 0},
        {577816, 23, "1583-01-01T12:00:00+02:00", 2, 0},
        {719165, 24, "1969-12-31T12:00:00"},
        {2678399, 24, "1969-12-31T12:00:00"},
        {577815, 25, "1582-12-31"},
        {1, 27, "Sat 01 02 0001 12:00:00 PM"},
        // Past the 32-bit range of seconds, and local times before 1970: the true time.
        {2150162047, 23, "2038-01-19T03:13:44+00:00"},
        {2150162048, 23, "2038-01-19T03:13:45+00:00"},
        {2678400 + 3600, 23, "1969-12-31T20:00:00-05:00", -5, 0},
        {UINT64_MAX, 25, "584554051223-10-09"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Format(c.value, c.format, c.zoneHours, c.zoneMinutes), c.text)
            << c.value << " format " << c.format;
    }
}

// Every day of the Gregorian span before 1970, against the civil days of <chrono>.
TEST(Calendar, GregorianDaysAgainstCivilDays) {
    using namespace std::chrono;
    const sys_days first = year{1583} / January / 1;
    const sys_days last = year{1969} / December / 31;
    for (sys_days d = first; d <= last; d += days{1}) {
        const year_month_day ymd{d};
        char text[40];
        std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(ymd.year()),
                      static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()));
        const auto expected = static_cast<uint64_t>(577816 + (d - first).count());
        ASSERT_EQ(Parse(text, 25), expected) << text;
        ASSERT_EQ(Format(expected, 25), text);
    }
}

// Every day from 1 January of year 1 to the end of 1582, counted one by one on the Julian
// calendar, with the ten days of October 1582 left out.
TEST(Calendar, JulianDaysAndTheSwitch) {
    const int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    uint64_t count = 0;
    for (int y = 1; y <= 1582; ++y) {
        for (int m = 1; m <= 12; ++m) {
            const int n = lengths[m - 1] + (m == 2 && y % 4 == 0 ? 1 : 0);
            for (int d = 1; d <= n; ++d, ++count) {
                if (y == 1582 && m == 10 && d == 5) d = 15;
                char text[40];
                std::snprintf(text, sizeof text, "%04d-%02d-%02d", y, m, d);
                ASSERT_EQ(Parse(text, 25), count == 0 ? 1 : count) << text;
                ASSERT_EQ(Format(count, 25), text);
            }
        }
    }
    EXPECT_EQ(count, 577815u);
}

// What printf makes of a layout, from the fields of a broken-down time. Arguments a layout does
// not use are passed and ignored. (The layouts give both a zero flag and a precision; the
// compiler's note that the flag then does nothing is silenced.)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat"
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
std::string Reference(int code, const std::tm& t, int zoneHours, unsigned zoneMinutes) {
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    const unsigned long y = t.tm_year + 1900, mo = t.tm_mon + 1, d = t.tm_mday, h = t.tm_hour,
                        mi = t.tm_min, s = t.tm_sec, h12 = h % 12 ? h % 12 : 12;
    const char* am = h < 12 ? "AM" : "PM";
    const char* mon = kMonths[t.tm_mon];
    char b[64];
    const auto n = sizeof b;
    // clang-format off
    switch (code) {
        case 21: std::snprintf(b, n, "%04.4lu%02.2lu%02.2lu", y, mo, d); break;
        case 22: std::snprintf(b, n, "%04.4lu:%02.2lu:%02.2lu %02.2lu:%02.2lu:%02.2lu", y, mo, d, h, mi, s); break;
        case 23: std::snprintf(b, n, "%04.4lu-%02.2lu-%02.2luT%02.2lu:%02.2lu:%02.2lu%+02.2d:%02.2u", y, mo, d, h, mi, s, zoneHours, zoneMinutes); break;
        case 24: std::snprintf(b, n, "%04.4lu-%02.2lu-%02.2luT%02.2lu:%02.2lu:%02.2lu", y, mo, d, h, mi, s); break;
        case 25: std::snprintf(b, n, "%04.4lu-%02.2lu-%02.2lu", y, mo, d); break;
        case 27: std::snprintf(b, n, "%s %02d %02d %04d %02d:%02d:%02d %s", kDays[t.tm_wday], int(mo), int(d), int(y), int(h12), int(mi), int(s), am); break;
        case 32: std::snprintf(b, n, "%02d/%02d/%04d %02d:%02d:%02d %s", int(mo), int(d), int(y), int(h12), int(mi), int(s), am); break;
        case 33: std::snprintf(b, n, "%04.4lu-%s-%02.2lu", y, mon, d); break;
        case 34: std::snprintf(b, n, "%s-%02.2lu %2.2lu:%02.2lu %s", mon, d, h12, mi, am); break;
        case 35: std::snprintf(b, n, "%s-%02.2lu-%04.4lu", mon, d, y); break;
        case 36: std::snprintf(b, n, "%s-%02.2lu-%04.4lu %2.2lu:%02.2lu:%02.2lu %s", mon, d, y, h12, mi, s, am); break;
        default: std::snprintf(b, n, "%04d/%02d/%02d %02d:%02d:%02d %s", int(y), int(mo), int(d), int(h12), int(mi), int(s), am); break;
    }
    // clang-format on
    return b;
}
#pragma GCC diagnostic pop

// Instants from 1970 to 2037 in assorted zones: the value is timegm's second count plus one for
// every leap-second instant passed, and every layout prints what printf prints of the fields.
TEST(Calendar, InstantsAgainstTimegm) {
    const uint64_t leaps[] = {78796800,  94694401,  126230402, 157766403, 189302404, 220924805,
                              252460806, 283996807, 315532808, 363793609, 394329611, 425865611,
                              457401612, 473299213, 536457614, 567993615, 615254416, 646790417,
                              678326418, 725760019, 773020820, 820454421, 1041379222};
    uint32_t rng = 12345;
    auto next = [&rng](uint32_t n) { return (rng = rng * 1103515245u + 12345u) / 65536 % n; };
    for (int k = 0; k < 20000; ++k) {
        std::tm local{};
        local.tm_year = 70 + static_cast<int>(next(68));
        local.tm_mon = static_cast<int>(next(12));
        local.tm_mday = 1 + static_cast<int>(next(28));
        local.tm_hour = static_cast<int>(next(24));
        local.tm_min = static_cast<int>(next(60));
        local.tm_sec = static_cast<int>(next(60));
        const int zoneHours = static_cast<int>(next(27)) - 12;
        const unsigned zoneMinutes = zoneHours == 0 ? 0 : next(4) * 15;
        const int64_t offset = zoneHours * 3600 + (zoneHours < 0 ? -60 : 60) * int64_t{zoneMinutes};
        const int64_t utc = timegm(&local) - offset;  // timegm also fills in tm_wday
        if (utc < 0) continue;
        uint64_t expected = static_cast<uint64_t>(utc) + 2678400;
        for (int i = 0; i < 23; ++i)
            expected += utc > static_cast<int64_t>(leaps[i]) - i ? 1 : 0;

        const std::string text = Reference(23, local, zoneHours, zoneMinutes);
        ASSERT_EQ(Parse(text, 23), expected) << text;
        for (int code = 21; code <= 36; ++code) {
            ASSERT_EQ(Format(expected, code, zoneHours, zoneMinutes),
                      Reference(code, local, zoneHours, zoneMinutes))
                << text << " format " << code;
        }
    }
}

TEST(MakeDate, BoundedByTheSizeGiven) {
    for (int format = 20; format <= 37; ++format) {
        const std::string full = Format(kJuly15, format, -5, 30);
        for (unsigned size = 0; size <= full.size() + 1; ++size) {
            // The whole text when it fits, else an empty text; never a unit past the size.
            const std::string expect = size > full.size() ? full : "";
            std::string a(40, '#');
            std::u16string w(40, u'#');
            ZqXmlU_MakeDateA(kJuly15, format, a.data(), size, -5, 30);
            ZqXmlU_MakeDateW(kJuly15, format, w.data(), size, -5, 30);
            const size_t used = size == 0 ? 0 : expect.size() + 1;
            EXPECT_EQ(a.substr(0, used), expect.substr(0, used) + std::string(used ? 1 : 0, '\0'));
            EXPECT_EQ(w.substr(0, used), std::u16string(a.begin(), a.begin() + used));
            EXPECT_EQ(a.find_first_not_of('#', used), std::string::npos);
            EXPECT_EQ(w.find_first_not_of(u'#', used), std::u16string::npos);
        }
    }
}

TEST(Clock, OverrideAndSystemTime) {
    char dst[32] = "untouched";
    ZqXmlU_SetOverrideNow(kJuly15);
    EXPECT_EQ(ZqXmlU_GetTimeString(dst, sizeof dst, 0, 2, 0), kJuly15);
    EXPECT_STREQ(dst, "2004-07-15T15:05:09+02:00");
    std::strcpy(dst, "untouched");
    EXPECT_EQ(ZqXmlU_GetTimeString(dst, sizeof dst, 1, 2, 0), kJuly15);
    EXPECT_STREQ(dst, "untouched");

    ZqXmlU_SetOverrideNow(0);
    const uint64_t before = static_cast<uint64_t>(std::time(nullptr)) + 2678400 + 23;
    const uint64_t utc = ZqXmlU_GetTimeString(dst, sizeof dst, 1, 2, 0);
    EXPECT_STREQ(dst + 19, "+00:00");  // without text the UTC text stays in dst
    EXPECT_EQ(Parse(dst, 23), utc);
    const uint64_t now = ZqXmlU_GetTimeString(dst, sizeof dst, 0, -5, 30);
    const uint64_t after = static_cast<uint64_t>(std::time(nullptr)) + 2678400 + 23;
    EXPECT_STREQ(dst + 19, "-05:30");
    EXPECT_EQ(Parse(dst, 23), now);
    EXPECT_TRUE(before <= utc && utc <= now && now <= after);
    char small[8] = "#######";
    EXPECT_GE(ZqXmlU_GetTimeString(small, sizeof small, 0, 0, 0), now);
    EXPECT_STREQ(small, "");
}

#ifdef ZQ_TOOL
TEST(Tool, DateSubcommands) {
    const std::string tool = std::string(ZQ_TOOL) + " date ";
    const std::pair<std::string, std::string> ok[] = {
        {"parse iso-zone 2004-07-15T15:05:09+02:00", "1092575132\n"},
        {"parse 24 2004-07-15T07:35:09 --zone -05:30", "1092575132\n"},
        {"parse iso-zone 2004-07-15T13:05:09.25Z --float", "1092575132.25\n"},
        {"parse ctime 'Thu Jul 15 13:05:09 2004'", "1092575132\n"},
        {"format 1092575132 iso-zone --zone +02:00", "2004-07-15T15:05:09+02:00\n"},
        {"format 1092575132 36", "Jul-15-2004 01:05:09 PM\n"},
    };
    for (const auto& [args, out] : ok) {
        const auto r = zqtest::Run(tool + args);
        EXPECT_EQ(r.status, 0) << args << ": " << r.err;
        EXPECT_EQ(r.out, out) << args;
    }
    EXPECT_EQ(zqtest::Run(tool + "parse date 2004-13-01").status, 1);
    for (const char* args : {"format 1 fortnight", "format 1 37", "format 1 iso --zone 5:0:0"})
        EXPECT_EQ(zqtest::Run(tool + args).status, 2) << args;
    const auto now = zqtest::Run(tool + "now --zone -05:30");
    ASSERT_EQ(now.status, 0);
    EXPECT_EQ(now.out.substr(19, 7), "-05:30 ");
    EXPECT_EQ(std::to_string(Parse(now.out.substr(0, 25), 23)) + "\n", now.out.substr(26));
    EXPECT_NE(zqtest::Run(tool + "--help").out.find("mon-day-year-time (36)"), std::string::npos);
}
#endif

}  // namespace
