// Numbers and dates: the scanners, the date value, parsing, formatting and the clock.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <tuple>
#include <vector>

#include "support.h"
#include "time/dateparse.h"
#include "zqxmlu.h"

namespace {

using zqtest::Exact;

// ParseDecimal (mode -1): the first character after a sign is taken as a digit untested (':'
// adds 10), except the terminator; bytes 0x80 and above are no digits. ParseInteger (mode 0, or 1
// for hex only): decimal digits carry over into the hex phase after a lower-case 'x' (an 'X' ends
// the number); hex-only mode knows no sign; '.' and '_' end a hex number unconsumed. Both wrap.
TEST(Numbers, ParseDecimalAndInteger) {
    // clang-format off
    const std::tuple<std::string, int, int64_t, uint32_t> cases[] = {
        {"2004-07-15", -1, 2004, 5}, {"-05:30", -1, -5, 4}, {"+02:00", -1, 2, 4}, {"9\xC3", -1, 9, 2},
        {"4294967297", -1, 1, 11}, {"-2147483648", -1, INT32_MIN, 12}, {":5", -1, 105, 3},
        {"", -1, 0, 1}, {"-", -1, 0, 2},
        {"x1F", 0, 31, 4}, {"-x10", 0, -16, 5}, {"12x4", 0, 196, 5}, {"12X4", 0, 12, 3},
        {"1f.", 1, 31, 2}, {"1f:", 1, 31, 3}, {"-1", 1, 0, 0}, {"01.zqtv", 0, 1, 3}, {"-42_", 0, -42, 4},
        {"", 0, 0, 1}, {"", 1, 0, 1}, {"-9223372036854775808", 0, INT64_MIN, 21},
        {"18446744073709551617", 0, 1, 21}, {"x10000000000000001", 0, 1, 19},
    };
    // clang-format on
    for (const auto& [in, mode, expected, advance] : cases) {
        auto text = Exact(in);  // a read past the NUL is an ASan error
        int64_t value = 77;
        ZqLong decimal = 77;
        EXPECT_EQ(mode < 0 ? ZqXmlU_ParseDecimal(text.data(), &decimal)
                           : ZqXmlU_ParseInteger(text.data(), &value, mode),
                  advance)
            << in;
        EXPECT_EQ(mode < 0 ? decimal : value, expected) << in;
    }
}

// The export's answer, which the field-by-field path must give too (without the shortcut for the
// usual ISO texts).
uint64_t Parse(const std::string& text, int format, ZqLong zoneHours = 0, ZqULong zoneMinutes = 0) {
    auto copy = Exact(text);
    const uint64_t value = ZqXmlU_ParseDate(copy.data(), format, zoneHours, zoneMinutes);
    EXPECT_EQ(text, copy.data()) << "the text must come back unchanged";
    const auto general = zq::date::ParseText(copy.data(), format, zoneHours, zoneMinutes, false);
    EXPECT_EQ(general.accepted ? general.value : 0, value) << text;
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
    // clang-format off
    const Group groups[] = {
        // The zone of the text, in each of its forms, overrides the arguments.
        // (InstantsAgainstTimegm parses the usual "+hh:mm" in every zone.)
        {23, kJuly15, {"2004-07-15T13:05:09Z", "2004-07-15T15:05:09+2:00", "2004-07-15T15:05:09+2:0",
                       "2004-07-15T15:05:09+2:0 ", "2004-07-15T15:05:09+2:0  ",
                       "2004-07-15T13:05:09+00:30"}, 7, 0},
        {23, 0, {"2004-07-15T15:05:09+2:0 x", "2004-07-15T15:05:09+0200", "2004-07-15T15:05:09+"}},
        // Otherwise the arguments, whose minutes count only with non-zero hours.
        {23, kJuly15, {"2004-07-15T15:05:09"}, 2, 0},
        {23, kJuly15, {"2004-07-15T13:05:09"}, 0, 30},
        {24, kJuly15, {"2004-07-15T07:35:09", "2004-07-15T07:35:09.75+02:00"}, -5, 30},
        {23, 719164, {"1969-12-31T23:00:00-05:00"}},  // before 1970: the day alone
        // Leap seconds: second 60 only at the table's instants, from 1972 on, or past its end.
        {23, 81475199, {"1972-06-30T23:59:59Z"}},
        {23, 81475200, {"1972-06-30T23:59:60Z", "1972-07-01T00:00:00Z"}},
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
        // Every real day is walked in the Calendar test; these are the days that do not exist.
        {25, 577736, {"1582-10-05", "1582-10-14"}},
        // Rejections: names, other codes, fields, ranges, texts cut short.
        {27, 0, {"thu Jul 15 13:05:09 2004", "Thu JUL 15 13:05:09 2004"}},
        {28, 0, {"Thu Jul 15 13:05:09 2004"}},
        {23, 0, {"2004-07-15T13:05:09.25+02:00", "2004-07-15T13:05:9Z", "2004-07-15T24:00:00Z",
                 "2004-07-15T23:60:00Z", "", "2004-07-15T13:05:"}},
        {25, 0, {"2004-13-15", "2004-00-15", "2004-07", "-"}},
        {21, 0, {"2004071", "200407155"}},
        {24, 0, {"1970-01-01T00:00:00"}, 800, 0},  // falls before the start of the count
        // A zone that brings the arithmetic to exactly 0 (after the leap step): 1, never 0.
        {24, 1, {"1970-01-01T00:00:37"}, 744, 1}, {23, 2, {"1970-01-01T00:00:39"}, 744, 1},
        {22, 1, {"1970:01:01 00:00:37"}, 744, 1}, {24, 0, {"1970-01-01T00:00:36"}, 744, 1},
        // Zone shifts of thousands of years (five 400-year cycles of days).
        {24, kJuly15, {"4004-07-15T13:05:09"}, 17531640, 0},
        {23, Parse("4004-07-15T13:05:09Z", 23), {"2004-07-15T13:05:09"}, -17531640, 0},
        // The last seconds before 1970 in UTC wrap in the unsigned walk down the leap table.
        {23, 2678399, {"1970-01-01T00:59:36+01:00", "1970-01-01T00:59:59+01:00"}},
        {23, 2678398, {"1970-01-01T00:59:35+01:00"}},
    };
    // clang-format on
    for (const Group& g : groups) {
        for (const std::string& text : g.texts) {
            EXPECT_EQ(Parse(text, g.format, g.zoneHours, g.zoneMinutes), g.value)
                << text << " format " << g.format;
        }
    }
}

// The fraction of format 23's seconds: in ParseDateF, and in ParseDate as the bits of a double.
TEST(ParseDate, FractionsOfFormat23) {
    const std::tuple<const char*, int, ZqLong, double> cases[] = {
        {"2004-07-15T13:05:09.25Z", 23, 0, 1092575132.25},
        {"2004-07-15T15:05:09.5", 23, 2, 1092575132.5},
        {"1969-12-31T10:00:00.5Z", 23, 0, 719164.5},
        {"2004-07-15", 25, 0, 1092571223.0},
        {"2004-07-15T13:05:09.25-01:00", 23, 0, 0.0},
    };
    for (const auto& [in, format, zoneHours, value] : cases) {
        zqtest::Text text(in);
        EXPECT_EQ(ZqXmlU_ParseDateF(text, format, zoneHours, 0), value) << in;
        EXPECT_EQ(std::bit_cast<double>(ParseDate(text, format, zoneHours, 0, 1)), value) << in;
        EXPECT_EQ(ParseDate(text, format, zoneHours, 0, 0), static_cast<uint64_t>(value)) << in;
    }
}

// Every layout is checked against printf over many instants (InstantsAgainstTimegm); these are
// the values worth seeing spelt out.
TEST(MakeDate, WorkedValues) {
    const std::tuple<uint64_t, int, const char*, ZqLong, ZqULong> cases[] = {
        {kJuly15, 23, "2004-07-15T12:35:09+00:30", 0, 30},  // hours 0: minutes west of UTC
        {2678400, 27, "Thu 01 01 1970 12:00:00 AM", 0, 0},
        {81475200, 23, "1972-07-01T00:00:00+00:00", 0, 0},  // never a second 60
        {1107172823, 25, "2004-12-31", 0, 0},
        {Parse("2000-12-31T12:00:00Z", 23), 25, "2000-12-31", 0, 0},
        // Day numbers show noon whatever the zone; so does the gap below the second count.
        {719164, 23, "1969-12-31T12:00:00+02:00", 2, 0},
        {719165, 24, "1969-12-31T12:00:00", 0, 0},
        {577815, 25, "1582-12-31", 0, 0},
        {1, 27, "Sat 01 02 0001 12:00:00 PM", 0, 0},
        // Past the 32-bit range of seconds, and local times before 1970: the true time.
        {2150162047, 23, "2038-01-19T03:13:44+00:00", 0, 0},
        {2150162048, 23, "2038-01-19T03:13:45+00:00", 0, 0},
        {2678400 + 3600, 23, "1969-12-31T20:00:00-05:00", -5, 0},
        {UINT64_MAX, 25, "584554051223-10-09", 0, 0},
        {kJuly15, 25, "4004-07-15", 17531640, 0},
        {kJuly15, 25, "0004-07-18", -17531640, 0},
        {kJuly15, 25, "0001-01-01", -21037968, 0},
    };
    for (const auto& [value, format, text, zoneHours, zoneMinutes] : cases)
        EXPECT_EQ(Format(value, format, zoneHours, zoneMinutes), text) << value << " " << format;
}

// Every day from 1 January of year 1 to the end of 1969, counted one by one: the Julian calendar up
// to 4 October 1582, then, from 15 October, the Gregorian one.
TEST(Calendar, EveryDayBefore1970) {
    const int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    uint64_t count = 0;
    for (int y = 1; y <= 1969; ++y) {
        const bool leap = y % 4 == 0 && (y <= 1582 || y % 100 != 0 || y % 400 == 0);
        for (int m = 1; m <= 12; ++m) {
            for (int d = 1; d <= lengths[m - 1] + (m == 2 && leap ? 1 : 0); ++d, ++count) {
                if (y == 1582 && m == 10 && d == 5) d = 15;
                if (y == 1583 && m == 1 && d == 1) ++count;  // day 577815 has no date of its own
                char text[40];
                std::snprintf(text, sizeof text, "%04d-%02d-%02d", y, m, d);
                ASSERT_EQ(Parse(text, 25), count == 0 ? 1 : count) << text;
                ASSERT_EQ(Format(count, 25), text);
            }
        }
    }
    EXPECT_EQ(count, 719165u);  // 1 January 1970
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
    auto next = [&rng](uint32_t n) {
        return static_cast<int>((rng = rng * 1103515245u + 12345u) / 65536 % n);
    };
    for (int k = 0; k < 20000; ++k) {
        std::tm local{};
        local.tm_year = 70 + next(68);
        local.tm_mon = next(12);
        local.tm_mday = 1 + next(28);
        local.tm_hour = next(24);
        local.tm_min = next(60);
        local.tm_sec = next(60);
        const int zoneHours = next(27) - 12;
        const unsigned zoneMinutes = zoneHours == 0 ? 0 : static_cast<unsigned>(next(4)) * 15;
        const int64_t offset = zoneHours * 3600 + (zoneHours < 0 ? -60 : 60) * int64_t{zoneMinutes};
        const int64_t utc = zqtest::TimeGm(&local) - offset;  // timegm also fills in tm_wday
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
            zqtest::WString w(40, ZqWChar('#'));
            ZqXmlU_MakeDateA(kJuly15, format, a.data(), size, -5, 30);
            ZqXmlU_MakeDateW(kJuly15, format, w.data(), size, -5, 30);
            const size_t used = size == 0 ? 0 : expect.size() + 1;
            EXPECT_EQ(a.substr(0, used), expect.substr(0, used) + std::string(used ? 1 : 0, '\0'));
            EXPECT_EQ(w.substr(0, used), zqtest::WString(a.begin(), a.begin() + used));
            EXPECT_EQ(a.find_first_not_of('#', used), std::string::npos);
            EXPECT_EQ(w.find_first_not_of(ZqWChar('#'), used), zqtest::WString::npos);
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

// NULLs, texts cut at every length ending at an inaccessible page, outputs of exactly the text's
// size at the page, and the widest zones and values.
TEST(Dates, HostileInputs) {
    ZqLong decimal = 7;
    int64_t integer = 7;
    EXPECT_EQ(ZqXmlU_ParseDecimal(nullptr, &decimal), 0u);
    EXPECT_EQ(decimal, 0);
    EXPECT_EQ(ZqXmlU_ParseInteger(nullptr, &integer, 0), 0u);
    EXPECT_EQ(integer, 0);
    EXPECT_EQ(ZqXmlU_ParseDecimal(zqtest::Text("-42x"), nullptr), 4u);
    EXPECT_EQ(ZqXmlU_ParseInteger(zqtest::Text("x1f:"), nullptr, 0), 4u);
    EXPECT_EQ(ZqXmlU_ParseDate(nullptr, 23, 0, 0), 0u);
    EXPECT_EQ(ParseDate(nullptr, 23, 0, 0, 1), 0u);
    EXPECT_EQ(ZqXmlU_ParseDateF(nullptr, 23, 0, 0), 0.0);
    EXPECT_EQ(ZqXmlU_MakeDateA(kJuly15, 23, nullptr, 64, 0, 0), nullptr);
    EXPECT_EQ(ZqXmlU_MakeDateW(kJuly15, 23, nullptr, 64, 0, 0), nullptr);
    ZqXmlU_SetOverrideNow(kJuly15);
    EXPECT_EQ(ZqXmlU_GetTimeString(nullptr, 26, 0, 0, 0), kJuly15);
    ZqXmlU_SetOverrideNow(0);
    EXPECT_GT(ZqXmlU_GetTimeString(nullptr, 26, 0, 0, 0), kJuly15);

    const std::pair<int, std::string> texts[] = {
        {21, "20040715"},
        {22, "2004:07:15 13:05:09"},
        {23, "2004-07-15T13:05:09.25+02:00"},
        {23, "2004-07-15T13:05:09+2:3"},
        {24, "2004-07-15T13:05:09"},
        {25, "2004-07-15"},
        {27, "Thu Jul 15 13:05:09 2004"},
        {32, "07/15/2004 01:05:09 PM"},
    };
    for (const auto& [format, full] : texts) {
        for (size_t n = 0; n <= full.size(); ++n) {
            zqtest::PageEnd text(full.substr(0, n));
            const uint64_t value = ZqXmlU_ParseDate(text, format, -5, 30);
            EXPECT_EQ(ZqXmlU_ParseDateF(text, format, -5, 30) != 0.0, value != 0);
            EXPECT_EQ(std::string(text), full.substr(0, n));
            ZqLong v;
            EXPECT_LE(ZqXmlU_ParseDecimal(text, &v), n + 1);
        }
    }
    const std::tuple<uint64_t, ZqLong, ZqULong> extremes[] = {
        {kJuly15, -5, 30},
        {UINT64_MAX, INT32_MAX, UINT32_MAX},
        {2678400, INT32_MIN, UINT32_MAX},
        {0, 0, 0},
    };
    for (const auto& [value, zoneHours, zoneMinutes] : extremes) {
        for (int format = 20; format <= 37; ++format) {
            const std::string full = Format(value, format, zoneHours, zoneMinutes);
            ASSERT_FALSE(full.empty());
            zqtest::PageEnd fits(full.size() + 1), shortBy1(full.size());
            ZqXmlU_MakeDateA(value, format, fits, static_cast<unsigned>(fits.size()), zoneHours,
                             zoneMinutes);
            EXPECT_EQ(std::string(fits), full);
            ZqXmlU_MakeDateA(value, format, shortBy1, static_cast<unsigned>(shortBy1.size()),
                             zoneHours, zoneMinutes);
            EXPECT_EQ(shortBy1.data()[0], '\0');
        }
    }
}

#ifdef ZQ_TOOL
TEST(Tool, DateSubcommands) {
    const std::string tool = std::string(ZQ_TOOL) + " date ";
    const std::tuple<std::string, std::string, int> cases[] = {
        {"parse iso-zone 2004-07-15T15:05:09+02:00", "1092575132\n", 0},
        {"parse 24 2004-07-15T07:35:09 --zone -05:30", "1092575132\n", 0},
        {"parse iso-zone 2004-07-15T13:05:09.25Z --float", "1092575132.25\n", 0},
        {"parse ctime 'Thu Jul 15 13:05:09 2004'", "1092575132\n", 0},
        {"format 1092575132 iso-zone --zone +02:00", "2004-07-15T15:05:09+02:00\n", 0},
        {"parse date 2004-13-01", "", 1},
        {"format 1 fortnight", "", 2},
        {"format 1 37", "", 2},
        {"format 1 iso --zone 5:0:0", "", 2},
    };
    for (const auto& [args, out, status] : cases) {
        const auto r = zqtest::Run(tool + args);
        EXPECT_EQ(r.status, status) << args << ": " << r.err;
        EXPECT_EQ(r.out, out) << args;
    }
    const auto now = zqtest::Run(tool + "now --zone -05:30");
    ASSERT_EQ(now.status, 0);
    EXPECT_EQ(now.out.substr(19, 7), "-05:30 ");
    EXPECT_EQ(std::to_string(Parse(now.out.substr(0, 25), 23)) + "\n", now.out.substr(26));
    EXPECT_NE(zqtest::Run(tool + "--help").out.find("mon-day-year-time (36)"), std::string::npos);
}
#endif

}  // namespace
