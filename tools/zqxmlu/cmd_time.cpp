// Date subcommands: parse a text into a date value, format a date value, read the clock.
#include <charconv>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cli.h"
#include "zqxmlu.h"

namespace zqtool {

namespace {

struct Alias {
    const char* name;
    int code;
    const char* example;
};

// Readable names of the format codes (codes 28 to 31 have none: the parser rejects them and the
// formatter writes them as code 26).
constexpr Alias kAliases[] = {
    {"compact", 21, "20040715"},
    {"exif", 22, "2004:07:15 13:05:09"},
    {"iso-zone", 23, "2004-07-15T13:05:09+02:00"},
    {"iso", 24, "2004-07-15T13:05:09"},
    {"date", 25, "2004-07-15"},
    {"slash", 26, "2004/07/15 01:05:09 PM (format only)"},
    {"ctime", 27, "parse: Thu Jul 15 13:05:09 2004; format: Thu 07 15 2004 01:05:09 PM"},
    {"us", 32, "07/15/2004 01:05:09 PM"},
    {"date-mon", 33, "2004-Jul-15 (format only)"},
    {"mon-day-time", 34, "Jul-15 01:05 PM (format only)"},
    {"mon-day-year", 35, "Jul-15-2004 (format only)"},
    {"mon-day-year-time", 36, "Jul-15-2004 01:05:09 PM (format only)"},
};

std::string FormatHelp() {
    std::string help = "FORMAT is a code from 21 to 36 or one of these names:\n";
    for (const Alias& a : kAliases) {
        help +=
            "  " + std::string(a.name) + " (" + std::to_string(a.code) + "): " + a.example + "\n";
    }
    help +=
        "--zone +HH:MM (or -HH:MM, or Z) is passed as zone hours +-HH and zone minutes MM; the\n"
        "parser ignores the minutes when the hours are 0, the formatter then shows the time MM\n"
        "minutes earlier than UTC.";
    return help;
}

int FormatCode(const std::string& text) {
    for (const Alias& a : kAliases) {
        if (text == a.name) return a.code;
    }
    int code = 0;
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, code);
    if (r.ec != std::errc() || r.ptr != end || code < 21 || code > 36) {
        throw UsageError("FORMAT must be a code from 21 to 36 or a format name, not '" + text +
                         "'");
    }
    return code;
}

struct Zone {
    ZqLong hours = 0;
    ZqULong minutes = 0;
};

// [+-]H[H][:MM], or Z.
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
        h < 0 || m < 0 || m > 59) {
        throw UsageError("--zone must look like +HH:MM, -HH:MM or Z, not '" + text + "'");
    }
    z.hours = negative ? -h : h;
    z.minutes = static_cast<ZqULong>(m);
    return z;
}

struct DateOptions {
    std::string format;
    std::string text;
    uint64_t value = 0;
    std::string zone;
    bool asDouble = false;
};

void RunParse(const DateOptions& o) {
    const int code = FormatCode(o.format);
    const Zone z = ParseZone(o.zone);
    std::vector<char> text(o.text.begin(), o.text.end());
    text.push_back('\0');
    char out[64];
    if (o.asDouble) {
        const double d = ZqXmlU_ParseDateF(text.data(), code, z.hours, z.minutes);
        if (d == 0.0) throw Failure("'" + o.text + "' does not read in format " + o.format);
        const auto r = std::to_chars(out, out + sizeof out, d, std::chars_format::fixed);
        WriteOutput(std::string(out, r.ptr) + "\n");
        return;
    }
    const uint64_t value = ZqXmlU_ParseDate(text.data(), code, z.hours, z.minutes);
    if (value == 0) throw Failure("'" + o.text + "' does not read in format " + o.format);
    WriteOutput(std::to_string(value) + "\n");
}

void RunFormat(const DateOptions& o) {
    const int code = FormatCode(o.format);
    const Zone z = ParseZone(o.zone);
    char out[64];
    ZqXmlU_MakeDateA(o.value, code, out, sizeof out, z.hours, z.minutes);
    WriteOutput(std::string(out) + "\n");
}

void RunNow(const DateOptions& o) {
    const Zone z = ParseZone(o.zone);
    char out[64];
    const uint64_t now = ZqXmlU_GetTimeString(out, sizeof out, 0, z.hours, z.minutes);
    WriteOutput(std::string(out) + " " + std::to_string(now) + "\n");
}

}  // namespace

void AddTimeCommands(CLI::App& app) {
    CLI::App* date = app.add_subcommand("date", "Parse, format and read dates (date values)");
    date->require_subcommand(1);
    date->footer(FormatHelp());

    auto opts = std::make_shared<DateOptions>();
    CLI::App* parse = date->add_subcommand(
        "parse", "Read TEXT in layout FORMAT and print its date value (exit 1 if rejected)");
    parse->add_option("FORMAT", opts->format, "Format code or name")->required();
    parse->add_option("TEXT", opts->text, "Date text")->required();
    parse->add_option("--zone", opts->zone, "Zone of a text without one: +HH:MM");
    parse->add_flag("--float", opts->asDouble, "Print the value with the text's fraction");
    parse->footer(FormatHelp());
    parse->callback([opts] { RunParse(*opts); });

    CLI::App* format = date->add_subcommand("format", "Print date value VALUE in layout FORMAT");
    format->add_option("VALUE", opts->value, "Date value")->required();
    format->add_option("FORMAT", opts->format, "Format code or name")->required();
    format->add_option("--zone", opts->zone, "Zone to show the time in: +HH:MM");
    format->footer(FormatHelp());
    format->callback([opts] { RunFormat(*opts); });

    CLI::App* now = date->add_subcommand(
        "now", "Print the current time in the iso-zone layout, then its date value");
    now->add_option("--zone", opts->zone, "Zone to show the time in: +HH:MM");
    now->callback([opts] { RunNow(*opts); });
}

}  // namespace zqtool
