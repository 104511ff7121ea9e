// The frame of zqxmlu: streams, files, messages, number arguments, the check of a command line
// and ToolMain.
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include "cli.h"
#include "platform/console.h"
#include "platform/utf.h"
#include "zqxmlu.h"

namespace zqtool {

namespace fs = std::filesystem;

namespace {

std::string Reason() {
    return std::strerror(errno);
}

std::string Size(uint64_t bytes) {
    if (bytes % kMiB == 0) return std::to_string(bytes / kMiB) + " MiB";
    return std::to_string(bytes) + " bytes";
}

}  // namespace

// --- Messages and arguments ----------------------------------------------------------------------

std::string Quote(std::string_view text, size_t most) {
    size_t shown = std::min(text.size(), most);
    // Never cut inside a UTF-8 sequence.
    while (shown > 0 && shown < text.size() &&
           (static_cast<unsigned char>(text[shown]) & 0xC0) == 0x80) {
        --shown;
    }
    std::string q = "'";
    for (size_t i = 0; i < shown; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\n') {
            q += "\\n";
        } else if (c == '\t') {
            q += "\\t";
        } else if (c == '\r') {
            q += "\\r";
        } else if (c < 0x20 || c == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            q += hex;
        } else {
            q += static_cast<char>(c);
        }
    }
    if (shown < text.size()) return q + "...' (" + std::to_string(text.size()) + " bytes)";
    return q + "'";
}

int64_t ParseNumber(std::string_view what, const std::string& text, int64_t lo, int64_t hi) {
    int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, value);
    if (text.empty() || r.ec != std::errc() || r.ptr != end || value < lo || value > hi) {
        throw UsageError(std::string(what) + " must be a whole number from " + std::to_string(lo) +
                         " to " + std::to_string(hi) + ", not " + Quote(text));
    }
    return value;
}

void RefuseNul(std::string_view text, std::string_view what) {
    const size_t at = text.find('\0');
    if (at != std::string_view::npos) {
        throw Failure(std::string(what) + " holds a NUL byte (offset " + std::to_string(at) +
                      "): it is read as text, which ends at its first NUL");
    }
}

size_t CountReplacements(std::string_view utf8) {
    constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
    size_t n = 0;
    for (size_t at = utf8.find(kReplacement); at != std::string_view::npos;
         at = utf8.find(kReplacement, at + kReplacement.size())) {
        ++n;
    }
    return n;
}

bool InvalidUtf8(std::string_view text) {
    if (text.empty()) return false;
    const int len = static_cast<int>(text.size());
    WideText units(static_cast<size_t>(zq::Utf8ToUtf16(text.data(), len, nullptr, 0)), ZqWChar{0});
    zq::Utf8ToUtf16(text.data(), len, units.data(), static_cast<int>(units.size()));
    return static_cast<size_t>(std::count(units.begin(), units.end(), kReplacementUnit)) !=
           CountReplacements(text);
}

size_t WholeUtf8(std::string_view text) {
    for (size_t back = 1; back <= std::min<size_t>(4, text.size()); ++back) {
        const auto c = static_cast<unsigned char>(text[text.size() - back]);
        if ((c & 0xC0) == 0x80) continue;  // a continuation byte: look further back
        const size_t need = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        return need > back ? text.size() - back : text.size();
    }
    return text.size();
}

bool Utf16LeToUtf8(std::string_view bytes, std::string& out) {
    WideText units(bytes.size() / 2, ZqWChar{0});
    for (size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<ZqWChar>(static_cast<unsigned char>(bytes[2 * i]) |
                                        (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    }
    out.clear();
    if (units.empty()) return true;
    const int len = static_cast<int>(units.size());
    out.resize(static_cast<size_t>(zq::Utf16ToUtf8(units.data(), len, nullptr, 0)));
    zq::Utf16ToUtf8(units.data(), len, out.data(), static_cast<int>(out.size()));
    return CountReplacements(out) ==
           static_cast<size_t>(std::count(units.begin(), units.end(), kReplacementUnit));
}

WideText ToUtf16(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int len = static_cast<int>(utf8.size());
    WideText w(static_cast<size_t>(zq::Utf8ToUtf16(utf8.data(), len, nullptr, 0)), ZqWChar{0});
    zq::Utf8ToUtf16(utf8.data(), len, w.data(), static_cast<int>(w.size()));
    return w;
}

std::string ToUtf8(const ZqWChar* units) {
    const int n = zq::Utf16ToUtf8(units, -1, nullptr, 0);
    std::string s(static_cast<size_t>(n), '\0');
    zq::Utf16ToUtf8(units, -1, s.data(), n);
    s.resize(std::strlen(s.c_str()));
    return s;
}

// --- Input and output ----------------------------------------------------------------------------

size_t Source::Read(char* dst, size_t n) {
    const size_t got = std::fread(dst, 1, n, f_);
    if (got < n && std::ferror(f_)) throw Failure("cannot read " + name_ + ": " + Reason());
    return got;
}

size_t Source::ReadInto(std::string& buffer, size_t n) {
    if (!scratch_) scratch_ = std::make_unique<char[]>(kChunk);
    size_t total = 0;
    while (total < n) {
        const size_t got = Read(scratch_.get(), std::min(n - total, kChunk));
        buffer.append(scratch_.get(), got);
        total += got;
        if (got == 0) break;
    }
    return total;
}

Source Io::Open(const std::string& file) const {
    if (file == "-") {
        if (!s_.inOpen) throw Failure("cannot read standard input: it is closed");
        return Source(s_.in, false, "standard input");
    }
    if (file.empty()) throw UsageError("FILE is an empty name (- stands for standard input)");
    std::error_code ec;
    if (fs::is_directory(zq::PathOf(file), ec)) {
        throw Failure("cannot read " + Quote(file) + ": a directory");
    }
    std::FILE* f = zq::OpenFile(file, "rb");
    if (!f) throw Failure("cannot open " + Quote(file) + ": " + Reason());
    return Source(f, true, Quote(file));
}

std::string ReadRest(Source& in, uint64_t limit) {
    std::string data;
    while (in.ReadInto(data, kChunk) != 0) {
        if (data.size() > limit) {
            throw Failure(in.name() + " is larger than " + Size(limit) +
                          ", the most this subcommand reads");
        }
    }
    return data;
}

std::string Io::ReadAll(const std::string& file, uint64_t limit) const {
    Source in = Open(file);
    return ReadRest(in, limit);
}

void Io::Write(std::string_view bytes) {
    if (!s_.outOpen) throw Failure("cannot write standard output: it is closed");
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), s_.out) != bytes.size()) {
        throw Failure("cannot write standard output: " + Reason());
    }
}

void Io::Flush() {
    if (s_.outOpen && (std::fflush(s_.out) != 0 || std::ferror(s_.out))) {
        throw Failure("cannot write standard output: " + Reason());
    }
}

void Io::Report(std::string_view message) const {
    std::string line = "zqxmlu: ";
    for (const char c : message)
        line += c == '\n' || c == '\r' ? ' ' : c;
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), s_.err);
    std::fflush(s_.err);
}

void Io::Replace(const std::string& file, std::string_view bytes) {
    std::error_code ec;
    // A symbolic link stays one: its target is replaced.
    fs::path target = zq::PathOf(file);
    if (fs::is_symlink(fs::symlink_status(target, ec))) target = fs::canonical(target, ec);
    const fs::file_status status = fs::status(target, ec);
    if (ec || !fs::is_regular_file(status)) {
        throw Failure("cannot rewrite " + Quote(file) + ": not a regular file");
    }
    std::string temp;
    std::FILE* out = zq::CreateFileBeside(zq::Utf8Of(target), temp);
    if (!out) throw Failure("cannot write beside " + Quote(file) + ": " + Reason());
    const bool wrote =
        std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size() && std::fflush(out) == 0;
    int error = wrote ? 0 : errno;
    if (std::fclose(out) != 0 && error == 0) error = errno ? errno : EIO;
    if (error == 0) fs::permissions(zq::PathOf(temp), status.permissions(), ec);
    if (error == 0 && !ec) fs::rename(zq::PathOf(temp), target, ec);
    if (error != 0 || ec) {
        const std::string why = error != 0 ? std::strerror(error) : ec.message();
        fs::remove(zq::PathOf(temp), ec);
        throw Failure("cannot rewrite " + Quote(file) + ": " + why + " (the file is unchanged)");
    }
}

const char* const kDocumentRules =
    "Input: an XML document, held whole (256 MiB at most); any line ends; a NUL byte is refused\n"
    "(the document is read as text, which ends at its first NUL).";

std::string ReadDocument(Io& io, const std::string& file) {
    std::string text = io.ReadAll(file);
    RefuseNul(text, "the document");
    return text;
}

CLI::Option* AddFile(CLI::App* cmd, std::string& file, const char* help) {
    return cmd->add_option("FILE", file, help ? help : "Input file (absent or -: standard input)");
}

void AddTarget(CLI::App* cmd, Target& target) {
    cmd->add_flag("-i,--in-place", target.inPlace,
                  "Rewrite FILE (a new file beside it, renamed over it when complete)");
    AddFile(cmd, target.file, "Document (absent or -: standard input)");
}

void CheckTarget(const Target& target) {
    if (!target.inPlace) return;
    if (target.file == "-") {
        throw UsageError("-i needs a FILE to rewrite (standard input cannot be rewritten)");
    }
    std::error_code ec;
    const fs::file_status status = fs::status(zq::PathOf(target.file), ec);
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        throw Failure("cannot rewrite " + Quote(target.file) + ": not a regular file");
    }
}

void Deliver(Io& io, const Target& target, std::string_view text) {
    if (target.inPlace) {
        io.Replace(target.file, text);
    } else {
        io.Write(text);
    }
}

void Rules(CLI::App* cmd, const std::string& rules) {
    cmd->footer(rules);
}

SharedText::SharedText(std::string_view text) {
    if (text.size() >= 0x7FFFFF00u) throw Failure("the input is too large");
    p_ = static_cast<char*>(ZqXmlU_xml_alloc(static_cast<unsigned>(text.size() + 1), kToolTag));
    if (!p_) throw std::bad_alloc();
    std::memcpy(p_, text.data(), text.size());
}

// --- The command line ----------------------------------------------------------------------------

namespace {

// The subcommand path of `app` without the program name ("date parse"), for messages.
std::string Where(const CLI::App* app) {
    std::string path;
    for (; app && app->get_parent(); app = app->get_parent()) {
        path = path.empty() ? app->get_name() : app->get_name() + " " + path;
    }
    return path;
}

std::string At(const CLI::App* app) {
    const std::string where = Where(app);
    return where.empty() ? std::string() : where + ": ";
}

// How CLI11 tells an option from a value: a dash and a character that may begin a name; a digit
// makes a value ("-5", "-05:30").
bool StartsName(char c) {
    return c != '-' && c != '!' && c != ' ' && c != '\n';
}
bool IsLong(const std::string& a) {
    return a.size() > 2 && a[0] == '-' && a[1] == '-' && StartsName(a[2]);
}
bool IsShort(const std::string& a) {
    return a.size() > 1 && a[0] == '-' && StartsName(a[1]) && !(a[1] >= '0' && a[1] <= '9');
}

bool TakesValue(const CLI::Option* opt) {
    return opt->get_items_expected_max() > 0;
}

std::vector<CLI::App*> Subcommands(CLI::App* app) {
    return app->get_subcommands(std::function<bool(CLI::App*)>());
}

[[noreturn]] void UnknownOption(CLI::App* app, const std::string& arg) {
    const bool positionals =
        !app->get_options([](const CLI::Option* o) { return o->get_positional(); }).empty();
    throw UsageError(At(app) + "unknown option " + Quote(arg) +
                     (positionals ? " (an argument that begins with '-' goes after --)" : ""));
}

// Checks the command line against the subcommands and options before CLI11 parses it, so that each
// mistake is named for what it is: an unknown subcommand or option, a missing or extra argument.
void Validate(CLI::App& app, int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {  // help and the version are answered whatever else is wrong
        const std::string_view a = argv[i];
        if (a == "--") break;
        if (a == "-h" || a == "--help" || (i == 1 && a == "--version")) return;
    }
    CLI::App* cur = &app;
    std::vector<std::string> positionals;
    bool literal = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (!literal && a == "--") {
            literal = true;
            continue;
        }
        const bool isLong = !literal && IsLong(a);
        const bool isShort = !literal && !isLong && IsShort(a);
        if (isLong || isShort) {
            const size_t eq = isLong ? a.find('=') : std::string::npos;
            const std::string name = isLong ? a.substr(0, eq) : a.substr(0, 2);
            const bool attached = isLong ? eq != std::string::npos : a.size() > 2;
            const CLI::Option* opt = cur->get_option_no_throw(name);
            if (!opt) UnknownOption(cur, a);
            if (TakesValue(opt)) {
                if (!attached) {
                    if (i + 1 >= argc || IsLong(argv[i + 1]) || IsShort(argv[i + 1])) {
                        throw UsageError(At(cur) + name + " needs a value" +
                                         (i + 1 < argc ? " (write " + name +
                                                             "=VALUE for one that begins with '-')"
                                                       : ""));
                    }
                    ++i;
                }
            } else if (isShort && attached) {  // grouped flags such as -di
                for (size_t k = 2; k < a.size(); ++k) {
                    const CLI::Option* flag = cur->get_option_no_throw(std::string{'-', a[k]});
                    if (!flag || TakesValue(flag)) UnknownOption(cur, a);
                }
            }
            continue;
        }
        const std::vector<CLI::App*> subs = Subcommands(cur);
        if (!subs.empty()) {
            const auto sub = std::find_if(subs.begin(), subs.end(),
                                          [&](const CLI::App* s) { return s->get_name() == a; });
            if (sub == subs.end()) {
                throw UsageError(At(cur) + "unknown subcommand " + Quote(a) + " (" +
                                 (Where(cur).empty() ? "zqxmlu" : "zqxmlu " + Where(cur)) +
                                 " --help lists them)");
            }
            cur = *sub;
            continue;
        }
        positionals.push_back(a);
    }
    const std::vector<CLI::App*> subs = Subcommands(cur);
    if (!subs.empty()) {
        std::string names;
        for (size_t k = 0; k < subs.size(); ++k) {
            names += (k == 0 ? "" : k + 1 == subs.size() ? " or " : ", ") + subs[k]->get_name();
        }
        throw UsageError(At(cur) + "a subcommand is needed" +
                         (subs.size() <= 6 ? ": " + names : " (zqxmlu --help lists them)"));
    }
    size_t used = 0;
    for (const CLI::Option* opt :
         cur->get_options([](const CLI::Option* o) { return o->get_positional(); })) {
        const size_t take = std::min<size_t>(positionals.size() - used,
                                             static_cast<size_t>(opt->get_items_expected_max()));
        if (take == 0 && opt->get_required()) {
            throw UsageError(At(cur) + opt->get_name(true) + " is missing");
        }
        used += take;
    }
    if (used < positionals.size()) {
        throw UsageError(At(cur) + "unexpected argument " + Quote(positionals[used]));
    }
}

}  // namespace

int ToolMain(int argc, char** argv, const Streams& streams) {
    Io io(streams);
    try {
        CLI::App app{"zqxmlu - XML and text utilities of the ZqXmlU library", "zqxmlu"};
        app.set_version_flag("--version", "zqxmlu " ZQXMLU_VERSION_STRING
                                          " (ZqXmlU library " ZQXMLU_VERSION_STRING ")");
        app.require_subcommand(1);
        // "/x" is a path, never an option (CLI11 reads it as one on Windows by default); the
        // subcommands made below inherit this.
        app.allow_windows_style_options(false);
        AddFrameCommands(app, io);
        AddTextCommands(app, io);
        AddTimeCommands(app, io);
        AddUriCommands(app, io);
        AddScanCommands(app, io);
        AddMetadataCommands(app, io);
        AddCryptoCommands(app, io);
        AddLibraryCommands(app, io);
        // Set last: subcommands take their parent's footer when they are made.
        app.footer(
            "FILE: input file; absent or '-': standard input. Each subcommand's --help states its\n"
            "input rules (line ends, NUL bytes, size limits).\n"
            "Exit status: 0 success, 1 failed operation, 2 usage error.");
        try {
            Validate(app, argc, argv);
            app.parse(argc, argv);
        } catch (const CLI::CallForHelp&) {
            io.Write(app.help());
        } catch (const CLI::CallForAllHelp&) {
            io.Write(app.help("", CLI::AppFormatMode::All));
        } catch (const CLI::CallForVersion& e) {
            io.Write(std::string(e.what()) + "\n");
        } catch (const CLI::ParseError& e) {
            throw UsageError(e.what());
        }
        io.Flush();
        return 0;
    } catch (const UsageError& e) {
        io.Report(e.what());
        return 2;
    } catch (const Failure& e) {
        io.Report(e.what());
        return 1;
    } catch (const std::bad_alloc&) {
        io.Report("out of memory");
        return 1;
    } catch (const std::exception& e) {
        io.Report(std::string("unexpected error: ") + e.what());
        return 1;
    } catch (...) {
        io.Report("unexpected error");
        return 1;
    }
}

}  // namespace zqtool
