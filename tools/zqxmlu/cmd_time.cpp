// Date subcommands: parse a text into a date value, format a date value, read the clock.
//
// The tool keeps the round trip of parse and format: a 12-hour time with AM or PM is read as the
// formatter writes it, the ctime layout is also read in the formatter's form, and what a date
// value cannot hold (a time of day before 1970, a zone of less than an hour) is refused, never
// dropped.
#include <charconv>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cli.h"
#include "zqxmlu.h"

namespace zqtool {

namespace {

struct Layout {
    const char* name;
    const char* example;
    int code;
    bool parses;
};

// Readable names of the format codes (codes 28 to 31 have no layout of their own).
constexpr Layout kLayouts[] = {
    {"compact", "20040715", 21, true},
    {"exif", "2004:07:15 13:05:09", 22, true},
    {"iso-zone", "2004-07-15T13:05:09+02:00", 23, true},
    {"iso", "2004-07-15T13:05:09", 24, true},
    {"date", "2004-07-15", 25, true},
    {"slash", "2004/07/15 01:05:09 PM", 26, false},
    {"ctime", "Thu Jul 15 13:05:09 2004 (written: Thu 07 15 2004 01:05:09 PM)", 27, true},
    {"us", "07/15/2004 01:05:09 PM", 32, true},
    {"date-mon", "2004-Jul-15", 33, false},
    {"mon-day-time", "Jul-15 01:05 PM", 34, false},
    {"mon-day-year", "Jul-15-2004", 35, false},
    {"mon-day-year-time", "Jul-15-2004 01:05:09 PM", 36, false},
};

constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// First day number of the second count, and the first value that is one again.
constexpr uint64_t kFirstGap = 719165;
constexpr uint64_t kFirstSecond = 2678400;
constexpr uint64_t kSkippedDay = 577815;

std::string FormatHelp() {
    std::string help =
        "FORMAT is one of these names or its code (format only: written, not read):\n";
    for (const Layout& l : kLayouts) {
        help += "  " + std::string(l.name) + " (" + std::to_string(l.code) + "): " + l.example +
                (l.parses ? "\n" : " (format only)\n");
    }
    help +=
        "--zone: +HH:MM, -HH:MM, +HH or Z, hours from -23 to +23; the library carries the\n"
        "zone's sign in its hours, so a zone of less than an hour (+00:30) is refused.\n"
        "A date value holds the instant from 1970 on; before 1970 it holds only the day, shown\n"
        "at 12:00:00, and parse refuses a time of day that it would lose.";
    return help;
}

const Layout& FindLayout(const std::string& text) {
    for (const Layout& l : kLayouts) {
        if (text == l.name || text == std::to_string(l.code)) return l;
    }
    throw UsageError("FORMAT must be a format name or code (see zqxmlu date --help), not " +
                     Quote(text));
}

struct Zone {
    ZqLong hours = 0;
    ZqULong minutes = 0;
};

void RefuseSubHourZone(int hours, int minutes, const std::string& shown) {
    if (hours == 0 && minutes != 0) {
        throw Failure("the zone " + shown +
                      " is less than an hour from UTC: the library carries the zone's sign in "
                      "its hours and cannot show or read it");
    }
}

// [+-]HH[:MM], or Z.
Zone ParseZone(const std::string& text) {
    Zone z;
    if (text.empty() || text == "Z" || text == "z") return z;
    const bool negative = text[0] == '-';
    const size_t start = (negative || text[0] == '+') ? 1 : 0;
    const size_t colon = text.find(':', start);
    const std::string hours = text.substr(start, colon - start);
    const std::string minutes = colon == std::string::npos ? "0" : text.substr(colon + 1);
    int h = -1;
    int m = -1;
    const auto rh = std::from_chars(hours.data(), hours.data() + hours.size(), h);
    const auto rm = std::from_chars(minutes.data(), minutes.data() + minutes.size(), m);
    if (hours.empty() || hours.size() > 2 || rh.ptr != hours.data() + hours.size() ||
        minutes.empty() || minutes.size() > 2 || rm.ptr != minutes.data() + minutes.size() ||
        h < 0 || h > 23 || m < 0 || m > 59) {
        throw UsageError("--zone must look like +HH:MM, -HH:MM or Z (hours up to 23), not " +
                         Quote(text));
    }
    RefuseSubHourZone(h, m, Quote(text));
    z.hours = negative ? -h : h;
    z.minutes = static_cast<ZqULong>(m);
    return z;
}

bool Digits(const std::string& text, size_t at, size_t n) {
    if (at + n > text.size()) return false;
    for (size_t i = at; i < at + n; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
    }
    return true;
}

// The 24-hour form of the two-digit 12-hour clock hour at `at`, with its marker (AM or PM).
std::string Hour24(const std::string& text, size_t at, const std::string& marker) {
    const int h = Digits(text, at, 2) ? (text[at] - '0') * 10 + (text[at + 1] - '0') : 0;
    if (h < 1 || h > 12) {
        throw Failure("a time with AM or PM has an hour from 01 to 12, not " +
                      Quote(text.substr(at, 2)));
    }
    const int h24 = h % 12 + (marker == "PM" ? 12 : 0);
    return {static_cast<char>('0' + h24 / 10), static_cast<char>('0' + h24 % 10)};
}

bool HasMarker(const std::string& text, size_t at) {
    return text.size() == at + 3 && text[at] == ' ' &&
           (text.compare(at + 1, 2, "AM") == 0 || text.compare(at + 1, 2, "PM") == 0);
}

// The text as the library's parser reads it: a 12-hour time made 24-hour (the parser reads the
// hour as 0 to 23 and ignores the marker), the formatter's ctime layout put into the parser's.
std::string ForParser(const std::string& text, int code) {
    if (code == 32 && HasMarker(text, 19)) {
        return text.substr(0, 11) + Hour24(text, 11, text.substr(20, 2)) + text.substr(13, 6);
    }
    // The formatter's ctime: "Thu 07 15 2004 01:05:09 PM"; the parser's: "Thu Jul 15 13:05:09
    // 2004".
    if (code == 27 && HasMarker(text, 23) && Digits(text, 4, 2)) {
        const int month = (text[4] - '0') * 10 + (text[5] - '0');
        if (month < 1 || month > 12) throw Failure("no month " + Quote(text.substr(4, 2)));
        return text.substr(0, 4) + kMonths[month - 1] + text.substr(6, 4) +
               Hour24(text, 15, text.substr(24, 2)) + text.substr(17, 6) + " " + text.substr(10, 4);
    }
    return text;
}

// The length each fixed layout has, so that nothing after it goes unread.
size_t LayoutLength(int code) {
    switch (code) {
        case 21:
            return 8;
        case 25:
            return 10;
        case 27:
            return 24;
        case 23:
            return 0;  // fraction and zone vary
        default:
            return 19;
    }
}

// The zone written in a text of format 23, refused when it is less than an hour.
void CheckTextZone(const std::string& text) {
    size_t at = 19;
    if (text.size() > at && text[at] == '.') return;  // a fraction may only end in Z
    if (text.size() <= at || (text[at] != '+' && text[at] != '-')) return;
    const size_t colon = text.find(':', at);
    if (colon == std::string::npos) return;
    int h = -1;
    int m = -1;
    std::from_chars(text.data() + at + 1, text.data() + colon, h);
    std::from_chars(text.data() + colon + 1, text.data() + text.size(), m);
    RefuseSubHourZone(h, m, Quote(text.substr(at)));
}

struct DateOptions {
    std::string format;
    std::string text;
    std::string value;
    std::string zone;
    bool asDouble = false;
};

// The date value of `original` in `layout`, in the zone `z`; with `keepTime`, a time of day before
// 1970 (which the value cannot hold) is refused.
uint64_t ReadDate(const Layout& layout, const std::string& original, const Zone& z, bool keepTime) {
    if (!layout.parses) {
        throw UsageError("date parse: " + std::string(layout.name) +
                         " is written by date format only; none of its texts is read");
    }
    const std::string text = ForParser(original, layout.code);
    const size_t length = LayoutLength(layout.code);
    if (length != 0 && text.size() != length) {
        throw Failure(Quote(original) + " is not in the " + layout.name + " layout (" +
                      layout.example + ")" + (text.size() > length ? ": text follows it" : ""));
    }
    if (layout.code == 23) CheckTextZone(text);
    std::vector<char> writable = Writable(text);
    const uint64_t value = ZqXmlU_ParseDate(writable.data(), layout.code, z.hours, z.minutes);
    if (value == 0) {
        throw Failure(Quote(original) + " does not read in the " + layout.name + " layout (" +
                      layout.example + ")");
    }
    if (value >= kFirstGap && value < kFirstSecond) {
        throw Failure(Quote(original) +
                      " lies before 1970-01-01T00:00:00Z in UTC, where a date value holds only a "
                      "day, yet its own date is in 1970");
    }
    if (keepTime && value < kFirstGap && length != 8 && length != 10 &&
        text.compare(11, 8, "12:00:00") != 0) {
        throw Failure("before 1970 a date value holds only the day (shown at 12:00:00): the time " +
                      text.substr(11, 8) +
                      " would be lost; give the date alone, or the instant in UTC");
    }
    return value;
}

void RunParse(Io& io, const DateOptions& o) {
    const Layout& layout = FindLayout(o.format);
    const Zone z = ParseZone(o.zone);
    const uint64_t value = ReadDate(layout, o.text, z, true);
    if (!o.asDouble) {
        io.Write(std::to_string(value) + "\n");
        return;
    }
    std::vector<char> writable = Writable(ForParser(o.text, layout.code));
    const double d = ZqXmlU_ParseDateF(writable.data(), layout.code, z.hours, z.minutes);
    char out[64];
    const auto r = std::to_chars(out, out + sizeof out, d, std::chars_format::fixed);
    io.Write(std::string(out, r.ptr) + "\n");
}

// The largest value the four-digit layouts show: 9999-12-31T23:59:59Z.
uint64_t LastValue() {
    char last[] = "9999-12-31T23:59:59Z";
    return ZqXmlU_ParseDate(last, 23, 0, 0);
}

void RunFormat(Io& io, const DateOptions& o) {
    const Layout& layout = FindLayout(o.format);
    const Zone z = ParseZone(o.zone);
    const uint64_t last = LastValue();
    const auto value = static_cast<uint64_t>(
        ParseNumber("date format: VALUE", o.value, 1, static_cast<int64_t>(last)));
    if ((value >= kFirstGap && value < kFirstSecond) || value == kSkippedDay) {
        throw UsageError("date format: VALUE must be a day number from 1 to " +
                         std::to_string(kFirstGap - 1) + " (not " + std::to_string(kSkippedDay) +
                         ", a day the calendar skips) or a second count from " +
                         std::to_string(kFirstSecond) + " to " + std::to_string(last) + ", not " +
                         Quote(o.value));
    }
    char out[64];
    ZqXmlU_MakeDateA(value, layout.code, out, sizeof out, z.hours, z.minutes);
    io.Write(std::string(out) + "\n");
}

void RunNow(Io& io, const DateOptions& o) {
    const Zone z = ParseZone(o.zone);
    char out[64];
    const uint64_t now = ZqXmlU_GetTimeString(out, sizeof out, 0, z.hours, z.minutes);
    io.Write(std::string(out) + " " + std::to_string(now) + "\n");
}

}  // namespace

uint64_t ParseDateText(const std::string& layout, const std::string& text) {
    return ReadDate(FindLayout(layout), text, Zone{}, false);
}

std::string IsoDate(uint64_t value) {
    char out[64];
    ZqXmlU_MakeDateA(value, value < kFirstSecond ? 25 : 23, out, sizeof out, 0, 0);
    return out;
}

void AddTimeCommands(CLI::App& app, Io& io) {
    CLI::App* date = app.add_subcommand("date", "Parse, format and read dates (date values)");
    date->require_subcommand(1);
    Rules(date, FormatHelp());

    auto opts = std::make_shared<DateOptions>();
    CLI::App* parse = date->add_subcommand(
        "parse", "Read TEXT in layout FORMAT and print its date value (exit 1 if rejected)");
    parse->add_option("FORMAT", opts->format, "Format name or code")->required();
    parse->add_option("TEXT", opts->text, "Date text, exactly in the layout")->required();
    parse->add_option("--zone", opts->zone, "Zone of a text without one (default: UTC)");
    parse->add_flag("--float", opts->asDouble, "Print the value with the text's fraction");
    Rules(parse, FormatHelp());
    parse->callback([opts, &io] { RunParse(io, *opts); });

    CLI::App* format = date->add_subcommand("format", "Print date value VALUE in layout FORMAT");
    format->add_option("VALUE", opts->value, "Date value (a day number or a second count)")
        ->required();
    format->add_option("FORMAT", opts->format, "Format name or code")->required();
    format->add_option("--zone", opts->zone, "Zone to show the time in (default: UTC)");
    Rules(format, FormatHelp());
    format->callback([opts, &io] { RunFormat(io, *opts); });

    CLI::App* now = date->add_subcommand(
        "now", "Print the current time in the iso-zone layout, then its date value");
    now->add_option("--zone", opts->zone, "Zone to show the time in (default: UTC)");
    Rules(now,
          "--zone: +HH:MM, -HH:MM, +HH or Z, hours from -23 to +23, not less than an hour "
          "from UTC.");
    now->callback([opts, &io] { RunNow(io, *opts); });
}

}  // namespace zqtool
