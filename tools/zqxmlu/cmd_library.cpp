// The library subcommand: the images of a folder tree with the keywords and dates of their
// sidecars, one JSON line an image.
//
// The main thread walks the tree in the order of the paths and hands the images over in batches;
// worker threads read the sidecars of a batch, each into its own result slot; the main thread then
// writes the batch's lines and reports in order. Only the walk's folder listings and one batch are
// held at a time.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli.h"
#include "platform/console.h"
#include "zqxmlu.h"

namespace zqtool {

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

// The date properties an image's sidecar may hold, in the order the output lists them.
constexpr const char* kDateProperties[] = {
    "xmp:CreateDate",        "xmp:ModifyDate",         "xmp:MetadataDate",
    "exif:DateTimeOriginal", "exif:DateTimeDigitized", "photoshop:DateCreated",
};

constexpr uint64_t kSidecarLimit = 64 * kMiB;
// Images handed to the workers at once.
constexpr size_t kBatch = 512;
constexpr int kMostJobs = 256;
constexpr char kSeparator = static_cast<char>(fs::path::preferred_separator);

// A path as reports show it: in full, control bytes escaped.
std::string Shown(std::string_view path) {
    return Quote(path, std::string_view::npos);
}

std::string Join(const std::string& folder, const std::string& name) {
    const char last = folder.empty() ? kSeparator : folder.back();
    return last == '/' || last == kSeparator ? folder + name : folder + kSeparator + name;
}

// One step of the walk: an image, or a report on something it passed over.
struct Item {
    std::string path;
    std::string sidecar;               // empty: the folder holds none
    const char* unreadable = nullptr;  // why the sidecar cannot be read as a file
    std::string report;                // set: no image
};

Item Reported(std::string report) {
    Item item;
    item.report = std::move(report);
    return item;
}

// The walk over a folder tree, depth first. A folder's entries are visited in the order of their
// names, a folder's name taken with the separator after it, so that the paths come out sorted.
class Walker {
  public:
    // Throws Failure when `root` is no folder that can be read.
    explicit Walker(const std::string& root) {
        std::error_code ec;
        const fs::file_status status = fs::status(zq::PathOf(root), ec);
        if (ec) throw Failure("cannot read folder " + Shown(root) + ": " + ec.message());
        if (!fs::is_directory(status)) throw Failure(Shown(root) + " is not a folder");
        if (!Enter(root, pending_) && stack_.empty()) throw Failure(pending_);
    }

    // The next image or report; false at the end of the walk.
    bool Next(Item& item) {
        if (!pending_.empty()) {
            item = Reported(std::move(pending_));
            pending_.clear();
            return true;
        }
        while (!stack_.empty()) {
            Folder& folder = stack_.back();
            if (folder.next == folder.entries.size()) {
                stack_.pop_back();
                continue;
            }
            const Entry& e = folder.entries[folder.next++];
            if (e.name.empty() || e.name[0] == '.') continue;  // sidecars, hidden files
            const std::string path = Join(folder.path, e.name);
            if (e.kind == Kind::kFolder && !e.link) {
                std::string report;
                if (InvalidUtf8(e.name)) {
                    report = Shown(path) + ": the folder's name is not UTF-8 (passed over)";
                } else if (Enter(path, report)) {
                    continue;
                }
                item = Reported(report);
                return true;
            }
            if (e.kind != Kind::kFile) continue;
            TaggedBlock<ZqWChar> sidecar;
            WideText named = ToUtf16("x\\" + e.name);
            ZqXmlU_GetSidecarNameW(named.data(), sidecar.p);
            if (!sidecar.p) continue;  // no extension: not an image
            if (InvalidUtf8(e.name)) {
                item = Reported(Shown(path) + ": the name is not UTF-8 (passed over)");
                return true;
            }
            if (e.name.find('\\') != std::string::npos) {
                item = Reported(Shown(path) +
                                ": the library takes the '\\' in the name for the end of a "
                                "folder's name (passed over)");
                return true;
            }
            item = Item();
            item.path = path;
            const std::string name = ToUtf8(sidecar.p + 2);
            const auto found = std::lower_bound(
                folder.entries.begin(), folder.entries.end(), name,
                [](const Entry& a, const std::string& key) { return a.key < key; });
            if (found != folder.entries.end() && found->key == name) {
                item.sidecar = Join(folder.path, name);
                if (found->kind == Kind::kFolder) item.unreadable = "a folder";
                if (found->kind == Kind::kOther) item.unreadable = "not a regular file";
            }
            return true;
        }
        return false;
    }

  private:
    enum class Kind { kFile, kFolder, kOther };
    struct Entry {
        std::string name;
        std::string key;  // the name; the separator follows a folder's
        Kind kind = Kind::kOther;
        bool link = false;
    };
    struct Folder {
        std::string path;
        std::vector<Entry> entries;  // by key
        size_t next = 0;
    };

    // Lists the folder `path` on top of the stack; false, with a report, when it cannot be read
    // in full (what it listed is walked all the same).
    bool Enter(const std::string& path, std::string& report) {
        Folder folder;
        folder.path = path;
        std::error_code ec;
        bool unnamed = false;  // a name that has no UTF-8 form
        fs::directory_iterator it(zq::PathOf(path), ec);
        for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
            Entry e;
            std::error_code linkError, folderError, fileError;
            e.link = it->is_symlink(linkError);
            if (it->is_directory(folderError)) {
                e.kind = Kind::kFolder;
            } else if (it->is_regular_file(fileError)) {
                e.kind = Kind::kFile;
            }
            if (linkError || folderError || fileError) e.kind = Kind::kOther;
            try {
                e.name = zq::Utf8Of(it->path().filename());
            } catch (const std::system_error&) {
                unnamed = true;
                continue;
            }
            e.key = e.name;
            if (e.kind == Kind::kFolder && !e.link && e.name[0] != '.') e.key += kSeparator;
            folder.entries.push_back(std::move(e));
        }
        std::sort(folder.entries.begin(), folder.entries.end(),
                  [](const Entry& a, const Entry& b) { return a.key < b.key; });
        if (ec) report = "cannot read folder " + Shown(path) + ": " + ec.message();
        if (unnamed && !ec) {
            report = Shown(path) + ": a name in the folder has no UTF-8 form (passed over)";
        }
        if (!ec || !folder.entries.empty()) stack_.push_back(std::move(folder));
        return report.empty();
    }

    std::vector<Folder> stack_;
    std::string pending_;  // the report on the root's listing
};

// What the main thread writes for one step: the line (empty when the image is not listed) and the
// reports before it.
struct Result {
    std::string line;
    std::vector<std::string> reports;
};

// The value of the property `name` of a sidecar: the content of its element or the value of its
// attribute, de-escaped; nullopt when the sidecar holds neither.
std::optional<std::string> Property(std::string& text, const char* name) {
    TaggedBlock<char> contents;
    std::vector<char> n = Writable(name);
    const int element =
        ZqXmlU_GetElementContents(text.data(), n.data(), &contents.p, nullptr, 1, 0, 0, kToolTag);
    if (element == 1) return Unescape(contents.p ? contents.p : "");
    // An attribute: white space, the name, '=' and a quoted value, inside a tag.
    const size_t length = std::strlen(name);
    for (size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + 1)) {
        if (at == 0 || (text[at - 1] != ' ' && text[at - 1] != '\t' && text[at - 1] != '\n' &&
                        text[at - 1] != '\r')) {
            continue;
        }
        size_t q = text.find_first_not_of(" \t\r\n", at + length);
        if (q == std::string::npos || text[q] != '=') continue;
        q = text.find_first_not_of(" \t\r\n", q + 1);
        if (q == std::string::npos || (text[q] != '"' && text[q] != '\'')) continue;
        const size_t end = text.find(text[q], q + 1);
        const size_t tag = text.find_last_of("<>", at);
        if (end == std::string::npos || tag == std::string::npos || text[tag] != '<') continue;
        return Unescape(std::string_view(text).substr(q + 1, end - q - 1));
    }
    return std::nullopt;
}

// The keywords and dates of a sidecar; reports for the dates it cannot read. Throws Failure when
// the sidecar cannot be read at all.
void ReadSidecar(const Item& item, Json& keywords, Json& dates, Result& result) {
    if (item.unreadable)
        throw Failure("cannot read " + Shown(item.sidecar) + ": " + item.unreadable);
    std::FILE* f = zq::OpenFile(item.sidecar, "rb");
    if (!f) throw Failure("cannot open " + Shown(item.sidecar) + ": " + std::strerror(errno));
    Source in(f, true, Shown(item.sidecar));
    std::string text = ReadRest(in, kSidecarLimit);
    try {
        if (text.empty()) throw Failure("the sidecar is empty");
        RefuseNul(text, "the sidecar");
        char rdf[] = "rdf:RDF";
        if (ZqXmlU_GetElementContents(text.data(), rdf, nullptr, nullptr, 0, 0, 0, kToolTag) != 1) {
            throw Failure("no rdf:RDF element with an end tag: not an XMP packet");
        }
        // The keywords of dc:subject, then those of the property the library's keyword packet
        // writes that dc:subject does not hold.
        std::vector<std::string> items;
        std::vector<std::string> more;
        ElementItems(text.data(), "dc:subject", items);
        ElementItems(text.data(), "Iptc4xmpCore:Keywords", more);
        const auto own = static_cast<ptrdiff_t>(items.size());
        for (std::string& k : more) {
            if (std::find(items.begin(), items.begin() + own, k) == items.begin() + own) {
                items.push_back(std::move(k));
            }
        }
        for (size_t i = 0; i < items.size(); ++i) {
            if (InvalidUtf8(items[i])) {
                throw Failure("keyword " + std::to_string(i + 1) + ", " + Quote(items[i]) +
                              ", is not UTF-8");
            }
        }
        keywords = items;
    } catch (const Failure& e) {
        throw Failure(Shown(item.sidecar) + ": " + e.what());
    }
    dates = Json::object();
    for (const char* name : kDateProperties) {
        try {
            const std::optional<std::string> date = Property(text, name);
            if (!date) continue;
            if (InvalidUtf8(*date)) throw Failure(Quote(*date) + " is not UTF-8");
            const char* layout = date->size() == 10   ? "date"
                                 : date->size() == 19 ? "iso"
                                                      : "iso-zone";
            const uint64_t value = ParseDateText(layout, *date);
            dates[name] = Json{{"text", *date}, {"iso", IsoDate(value)}, {"value", value}};
        } catch (const Failure& e) {
            result.reports.push_back(Shown(item.sidecar) + ": " + name + ": " + e.what() +
                                     " (left out)");
        }
    }
}

// The result of one step of the walk. `keyword`: list the image only when it carries it.
Result Examine(const Item& item, const std::optional<std::string>& keyword) {
    Result result;
    if (!item.report.empty()) {
        result.reports.push_back(item.report);
        return result;
    }
    Json keywords = Json::array();
    Json dates = Json::object();
    if (!item.sidecar.empty()) {
        try {
            ReadSidecar(item, keywords, dates, result);
        } catch (const Failure& e) {
            result.reports.push_back(e.what());
            keywords = nullptr;
            dates = nullptr;
        }
    }
    if (keyword && (!keywords.is_array() ||
                    std::find(keywords.begin(), keywords.end(), *keyword) == keywords.end())) {
        return result;
    }
    Json line;
    line["path"] = item.path;
    line["sidecar"] = item.sidecar.empty() ? Json(nullptr) : Json(item.sidecar);
    line["keywords"] = std::move(keywords);
    line["dates"] = std::move(dates);
    result.line = line.dump() + "\n";
    return result;
}

// The progress bar: one line on standard error when it is a terminal, redrawn in place at most
// ten times a second and erased before anything else is written.
class ProgressBar {
  public:
    explicit ProgressBar(std::FILE* err) : err_(err), shown_(zq::IsTerminal(err)) {}
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;
    ~ProgressBar() { Erase(); }

    bool shown() const { return shown_; }
    void SetTotal(size_t total) { total_ = total; }

    // `done` images of the total, or found so far while no total is set.
    void Draw(size_t done, bool now = false) {
        const auto t = std::chrono::steady_clock::now();
        if (!shown_ || (!now && t - last_ < std::chrono::milliseconds(100))) return;
        last_ = t;
        std::string text = "\r";
        if (!total_) {
            text += "counting images: " + std::to_string(done);
        } else {
            constexpr size_t kBar = 20;
            const size_t filled = *total_ ? kBar * std::min(done, *total_) / *total_ : kBar;
            text += "[" + std::string(filled, '#') + std::string(kBar - filled, '.') + "] " +
                    std::to_string(done) + "/" + std::to_string(*total_) + " images";
        }
        text.resize(kWidth + 1, ' ');  // over the longer line before
        std::fwrite(text.data(), 1, text.size(), err_);
        std::fflush(err_);
        drawn_ = true;
    }

    void Erase() {
        if (!drawn_) return;
        const std::string blank = "\r" + std::string(kWidth, ' ') + "\r";
        std::fwrite(blank.data(), 1, blank.size(), err_);
        std::fflush(err_);
        drawn_ = false;
    }

  private:
    static constexpr size_t kWidth = 60;
    std::FILE* err_;
    bool shown_;
    bool drawn_ = false;
    std::optional<size_t> total_;
    std::chrono::steady_clock::time_point last_;
};

// Examines the steps of `batch` on `jobs` threads (this one among them) into `results`.
void ExamineBatch(const std::vector<Item>& batch, std::vector<Result>& results, int jobs,
                  const std::optional<std::string>& keyword, ProgressBar& bar, size_t before) {
    results.assign(batch.size(), Result{});
    if (batch.empty()) return;
    std::atomic<size_t> next{0};
    std::atomic<size_t> finished{0};
    const size_t helpers = std::min(static_cast<size_t>(jobs), batch.size()) - 1;
    std::vector<std::exception_ptr> failures(helpers + 1);
    const auto work = [&](size_t slot) {
        try {
            for (size_t i = next++; i < batch.size(); i = next++) {
                results[i] = Examine(batch[i], keyword);
                ++finished;
                if (slot == 0) bar.Draw(before + finished);
            }
        } catch (...) {
            failures[slot] = std::current_exception();
            next = batch.size();
        }
    };
    {
        std::vector<std::jthread> threads;
        for (size_t k = 1; k <= helpers; ++k) {
            try {
                threads.emplace_back(work, k);
            } catch (const std::system_error&) {
                break;  // the threads started so far and this one share the work
            }
        }
        work(0);
    }
    for (const std::exception_ptr& failure : failures) {
        if (failure) std::rethrow_exception(failure);
    }
}

struct LibraryOptions {
    std::string dir;
    std::string keywordText;
    std::optional<std::string> keyword;
    std::string jobs;
};

void RunLibrary(Io& io, const LibraryOptions& o) {
    if (o.dir.empty()) throw UsageError("library: DIR is an empty name");
    if (InvalidUtf8(o.dir)) throw UsageError("library: DIR is not valid UTF-8: " + Quote(o.dir));
    const unsigned cores = std::thread::hardware_concurrency();
    const int jobs = o.jobs.empty()
                         ? static_cast<int>(std::clamp(cores, 1u, static_cast<unsigned>(kMostJobs)))
                         : static_cast<int>(ParseNumber("library: --jobs", o.jobs, 1, kMostJobs));
    Walker walker(o.dir);
    ProgressBar bar(io.err());
    Item item;
    if (bar.shown()) {  // the total first, for the bar
        Walker counter(o.dir);
        size_t total = 0;
        while (counter.Next(item)) {
            if (item.report.empty()) bar.Draw(++total);
        }
        bar.SetTotal(total);
    }
    std::vector<Item> batch;
    std::vector<Result> results;
    size_t done = 0;
    size_t reported = 0;
    for (bool more = true; more;) {
        batch.clear();
        while (batch.size() < kBatch && (more = walker.Next(item)))
            batch.push_back(std::move(item));
        ExamineBatch(batch, results, jobs, o.keyword, bar, done);
        bar.Erase();
        for (size_t i = 0; i < batch.size(); ++i) {
            for (const std::string& report : results[i].reports) {
                io.Flush();  // the lines before it come first where both streams meet
                io.Report(report);
                ++reported;
            }
            io.Write(results[i].line);
            if (batch[i].report.empty()) ++done;
        }
        io.Flush();
        bar.Draw(done, true);
    }
    bar.Erase();
    if (reported != 0) {
        throw Failure("library: " + std::to_string(reported) +
                      (reported == 1 ? " problem" : " problems") + " reported above");
    }
}

}  // namespace

void AddLibraryCommands(CLI::App& app, Io& io) {
    auto o = std::make_shared<LibraryOptions>();
    CLI::App* cmd = app.add_subcommand(
        "library",
        "Walk a folder tree of images and their sidecars: one JSON line an image, with the "
        "keywords and dates of its sidecar, sorted by path; runs on all cores");
    cmd->add_option("DIR", o->dir, "Folder to walk")->required();
    cmd->add_option("--keyword", o->keywordText, "List only the images that carry keyword K")
        ->type_name("K");
    cmd->add_option("-j,--jobs", o->jobs, "Threads that read sidecars, 1 to 256 (default: cores)")
        ->type_name("N");
    Rules(
        cmd,
        "Images: the regular files under DIR (links to files included) whose name has an\n"
        "extension of 1 to 9 characters and does not begin with '.'. Folders are walked, except\n"
        "those whose name begins with '.' and links to folders. An image's sidecar is the file\n"
        "the library names beside it (IMG_0042.JPG: .IMG_0042.zqJPG), read whole (64 MiB at\n"
        "most).\n"
        "Output: one line an image, sorted by path (by bytes), e.g.\n"
        "  {\"path\":\"DIR/IMG_0042.JPG\",\"sidecar\":\"DIR/.IMG_0042.zqJPG\",\"keywords\":"
        "[\"Cat\"],\n"
        "   \"dates\":{\"xmp:CreateDate\":{\"text\":\"2004-07-15T13:05:09+02:00\",\n"
        "   \"iso\":\"2004-07-15T11:05:09+00:00\",\"value\":1092567932}}}\n"
        "  sidecar: its path, null when there is none (keywords [] and dates {} then);\n"
        "  keywords: the rdf:li items of dc:subject, then those of Iptc4xmpCore:Keywords (the\n"
        "  library's keyword packet) that dc:subject does not hold, de-escaped;\n"
        "  dates: those of xmp:CreateDate, xmp:ModifyDate, xmp:MetadataDate,\n"
        "  exif:DateTimeOriginal, exif:DateTimeDigitized and photoshop:DateCreated that the\n"
        "  sidecar holds (as element or attribute): text as written, read in UTC in the date,\n"
        "  iso or iso-zone layout (by its length: 10, 19, other); iso: the date value in the\n"
        "  iso-zone layout (a day before 1970: the date layout); value: the date value.\n"
        "Each problem is one 'zqxmlu: ...' line on standard error, and the walk goes on: a\n"
        "sidecar that cannot be read or is no XMP packet (empty, a NUL byte, no rdf:RDF element,\n"
        "an item without end tag, a keyword not UTF-8) gives keywords and dates null; a date the\n"
        "library does not read is left out; a folder that cannot be read and a name that is not\n"
        "UTF-8 are passed over.\n"
        "--keyword K: only the images whose keywords hold K exactly.\n"
        "A progress bar is drawn on standard error when it is a terminal, never otherwise.\n"
        "Exit status: 0 all was read, 1 a problem was reported (a last line counts them),\n"
        "2 usage error.");
    cmd->callback([o, cmd, &io] {
        if (cmd->count("--keyword") > 0) o->keyword = o->keywordText;
        RunLibrary(io, *o);
    });
}

}  // namespace zqtool
