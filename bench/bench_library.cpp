// The host's import-and-edit workload over a photo library of XMP sidecars, by the library and by
// Exiv2 in the same run. A library of sidecars of the real XMP shape (a spread of keyword counts,
// dates and history lengths) is generated in a temporary folder; for each sidecar the host reads
// it, takes its keywords out de-escaped, parses its dates, adds a history entry with the current
// time, sets a parameter and writes it back. Exiv2 does the same with XmpParser::decode, the edits
// on its XmpData, XmpParser::encode (the form of its own sidecar files) and the same file I/O.
//
// Figures: sidecars per second of each, the I/O floor (each sidecar read and written back
// unchanged), their ratio (BM_Library_Ratio, after the three), and the peak resident memory that
// one pass adds over libraries of 2,000 and 8,000 sidecars. Every timed pass starts from the
// sidecars as generated. ZQ_BENCH_SIDECARS sets the library's size (default 4,000).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>
#include <exiv2/exiv2.hpp>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "corpus.h"
#include "memory.h"
#include "zqxmlu.h"

namespace {

char kTag[] = "bnch";

// Exiv2's XMP toolkit, set up once before the first benchmark; its messages are muted.
const bool kExiv2Ready = [] {
    Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
    return Exiv2::XmpParser::initialize();
}();
constexpr char kExifNs[] = "http://ns.zq.example/xml/z/q/in/zqinc/exif_01_001.zqtv";
constexpr char kAgent[] = "ZqPhoto 5.0";

// ---------------------------------------------------------------------------------------------
// The generated library

// One date of the library in format 23, from the generator.
std::string DateText(zqbench::Rng& rng) {
    static const char* const kZones[] = {"Z", "+02:00", "-05:00", "+09:00", "+05:30", "+01:00"};
    char text[40];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u%s", 1998 + rng.Below(28),
                  1 + rng.Below(12), 1 + rng.Below(28), rng.Below(24), rng.Below(60), rng.Below(60),
                  kZones[rng.Below(6)]);
    return text;
}

// Sidecar number `index`, always the same bytes: the shape the host and other tools write (packet
// wrapper, one description of the common schemas with dates, title, keywords and history, and one
// of the product's exif schema), about 1 to 4 KB.
std::string Sidecar(uint32_t index) {
    static const char* const kWords[] = {
        "Summer",   "Lake",        "Z\xC3\xBCrich", "Family",          "Birthday",
        "Mountain", "Caf\xC3\xA9", "Beach",         "Tom &amp; Jerry", "\xE6\x9D\xB1\xE4\xBA\xAC",
        "Garden",   "Snow",        "Dog",           "&lt;draft&gt;",   "Grandma's 80th"};
    static const uint32_t kKeywords[] = {0, 1, 2, 3, 4, 6, 8, 12, 20, 40};
    static const char* const kActions[] = {"created", "saved", "converted", "derived", "edited"};
    zqbench::Rng rng;
    rng.s ^= (index + 1) * 0x9E3779B97F4A7C15ULL;
    rng.Next();
    std::string s =
        "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\" x:xmptk=\"ZqPhoto 5.0\">\n"
        " <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
        "  <rdf:Description rdf:about=\"\"\n"
        "    xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\"\n"
        "    xmlns:dc=\"http://purl.org/dc/elements/1.1/\"\n"
        "    xmlns:xmpMM=\"http://ns.adobe.com/xap/1.0/mm/\"\n"
        "    xmlns:stEvt=\"http://ns.adobe.com/xap/1.0/sType/ResourceEvent#\">\n";
    const auto add = [&s](const auto&... parts) { ((s += parts), ...); };
    add("   <xmp:CreateDate>", DateText(rng), "</xmp:CreateDate>\n");
    add("   <xmp:ModifyDate>", DateText(rng), "</xmp:ModifyDate>\n");
    add("   <xmp:MetadataDate>", DateText(rng), "</xmp:MetadataDate>\n");
    add("   <xmp:CreatorTool>ZqPhoto 5.0</xmp:CreatorTool>\n");
    add("   <xmpMM:DocumentID>xmp.did:", std::to_string(rng.Next()), "-", std::to_string(index),
        "</xmpMM:DocumentID>\n");
    add("   <dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">IMG_", std::to_string(index), " ",
        kWords[rng.Below(15)], "</rdf:li></rdf:Alt></dc:title>\n");
    add("   <dc:subject>\n    <rdf:Bag>\n");
    for (uint32_t k = kKeywords[rng.Below(10)]; k > 0; --k) {
        add("     <rdf:li>", kWords[rng.Below(15)]);
        if (rng.Below(2)) add(" ", std::to_string(rng.Below(100)));
        add("</rdf:li>\n");
    }
    add("    </rdf:Bag>\n   </dc:subject>\n   <xmpMM:History>\n    <rdf:Seq>\n");
    for (uint32_t h = rng.Below(11); h > 0; --h) {
        add("     <rdf:li rdf:parseType=\"Resource\">\n      <stEvt:action>",
            kActions[rng.Below(5)], "</stEvt:action>\n      <stEvt:when>", DateText(rng),
            "</stEvt:when>\n      <stEvt:softwareAgent>ZqPhoto 4.", std::to_string(rng.Below(10)),
            "</stEvt:softwareAgent>\n     </rdf:li>\n");
    }
    add("    </rdf:Seq>\n   </xmpMM:History>\n  </rdf:Description>\n");
    add("  <rdf:Description rdf:about=\"\" xmlns:exif=\"", kExifNs, "\">");
    if (rng.Below(2)) add("\n   <exif:Rating>", std::to_string(rng.Below(6)), "</exif:Rating>");
    add("\n   <exif:ImageUniqueID>", std::to_string(rng.Next()), "</exif:ImageUniqueID>\n");
    add("  </rdf:Description>\n </rdf:RDF>\n</x:xmpmeta>\n<?xpacket end=\"w\"?>\n");
    return s;
}

// Writes a sidecar over the file of that name, in place, and cuts it to the new length when it was
// `old` bytes long and has shrunk. (Truncating to zero first, as fopen "wb" does, makes ext4 start
// the write-back at every close, which measures the disk rather than the work.)
bool WriteFile(const std::string& path, const char* text, size_t length, size_t old) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    size_t done = 0;
    while (done < length) {
        const ssize_t n = write(fd, text + done, length - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    const bool ok =
        done == length && (length >= old || ftruncate(fd, static_cast<off_t>(length)) == 0);
    return close(fd) == 0 && ok;
}

// A library of generated sidecars in a temporary folder of its own, a hundred to a folder as
// image folders hold them; removed at the end.
class Library {
  public:
    explicit Library(uint32_t count) {
        std::string pattern = (std::filesystem::temp_directory_path() / "zqlib-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        root_ = pattern;
        for (uint32_t i = 0; i < count; ++i) {
            const std::filesystem::path folder = root_ / ("roll" + std::to_string(i / 100));
            if (i % 100 == 0) std::filesystem::create_directory(folder);
            paths_.push_back((folder / (".IMG_" + std::to_string(10000 + i) + ".zqJPG")).string());
        }
        Restore();
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    ~Library() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    // Every sidecar back to its generated bytes.
    void Restore() const {
        for (uint32_t i = 0; i < paths_.size(); ++i) {
            const std::string s = Sidecar(i);
            if (!WriteFile(paths_[i], s.data(), s.size(), SIZE_MAX)) std::abort();
        }
    }
    const std::vector<std::string>& paths() const { return paths_; }
    // The bytes of all sidecars as generated.
    uint64_t bytes() const {
        uint64_t total = 0;
        for (uint32_t i = 0; i < paths_.size(); ++i)
            total += Sidecar(i).size();
        return total;
    }

  private:
    std::filesystem::path root_;
    std::vector<std::string> paths_;
};

uint32_t LibrarySize() {
    const char* n = std::getenv("ZQ_BENCH_SIDECARS");
    const long v = n ? std::strtol(n, nullptr, 10) : 0;
    return v > 0 ? static_cast<uint32_t>(v) : 4000;
}

const Library& TheLibrary() {
    static const Library library(LibrarySize());
    return library;
}

// ---------------------------------------------------------------------------------------------
// The host's work on one sidecar, with the library

// The document buffer the host keeps between sidecars: a shared XML string lent to
// ZqXmlU_FileToBuf, so that a sidecar is read straight into a string the editors can grow. A
// sidecar that does not fit comes back in a tagged block of the library's and is moved into a
// shared string of its own.
class Document {
  public:
    Document() : text_(static_cast<char*>(ZqXmlU_xml_alloc(kCapacity, kTag))) {}
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;
    ~Document() { ZqXmlU_xml_free(text_); }

    // Reads the sidecar; false when it cannot be opened.
    bool Read(const std::string& path) {
        std::FILE* f = std::fopen(path.c_str(), "rb");
        if (!f) return false;
        std::setvbuf(f, nullptr, _IONBF, 0);  // the whole file goes straight into the document
        char* buffer = text_;
        unsigned capacity = kCapacity;
        int owned = 0;
        ZqXmlU_FileToBuf(f, buffer, capacity, owned);
        std::fclose(f);
        read_ = std::strlen(buffer);
        if (owned) {
            const size_t length = read_;
            char* grown = ZqXmlU_xml_realloc(text_, static_cast<unsigned>(length + 4096), kTag);
            if (grown) {
                text_ = grown;
                std::memcpy(text_, buffer, length + 1);
            }
            void* block = buffer;
            ZqXmlU_Free(&block);
            return grown != nullptr;
        }
        return true;
    }
    bool Write(const std::string& path) const {
        return WriteFile(path, text_, std::strlen(text_), read_);
    }
    char*& text() { return text_; }

  private:
    static constexpr unsigned kCapacity = 32768;
    char* text_;
    size_t read_ = 0;  // the length of the sidecar as read
};

struct Tally {
    uint64_t keywordBytes = 0;
    uint64_t dates = 0;
};

void EditWithZqXmlU(Document& doc, uint32_t pass, uint32_t index, Tally& tally) {
    static char subject[] = "dc:subject";
    static char bag[] = "rdf:Bag";
    static char history[] = "xmpMM:History";
    static char rating[] = "exif:Rating";
    static char noAttributes[] = "";
    static char dates[][20] = {"xmp:CreateDate", "xmp:ModifyDate", "xmp:MetadataDate"};
    // Keywords: the content of dc:subject, then the items of its bag, each de-escaped in place.
    char* content = nullptr;
    if (ZqXmlU_GetElementContents(doc.text(), subject, &content, nullptr, 1, 0, 0, kTag) == 1 &&
        content) {
        ZQ_KWLIST_STRUCT_T items{};
        ZqXmlU_GetElementContents(content, bag, nullptr, &items, 2, 0, 0, kTag);
        for (int i = 0; i < items.count; ++i) {
            char* item = reinterpret_cast<char*>(items.keys[i]);
            char* out = item;
            tally.keywordBytes += static_cast<uint64_t>(ZqXmlU_DeEscapeTextA(
                0, &out, item, static_cast<ZqLong>(std::strlen(item) + 1), kTag));
        }
        ZqXmlU_FreeKwAllocList(&items);
        void* block = content;
        ZqXmlU_Free(&block);
    }
    // Dates.
    for (char* name : dates) {
        char value[64];
        if (ZqXmlU_GetParam(doc.text(), name, value, sizeof value) == 0)
            tally.dates += ZqXmlU_ParseDate(value, 23, 0, 0) != 0;
    }
    // A history entry with the current time.
    char now[32];
    ZqXmlU_GetTimeString(now, sizeof now, 0, 0, 0);
    char entry[320];
    std::snprintf(entry, sizeof entry,
                  "<rdf:li rdf:parseType=\"Resource\">\n      <stEvt:action>edited</stEvt:action>\n"
                  "      <stEvt:when>%s</stEvt:when>\n      <stEvt:softwareAgent>%s"
                  "</stEvt:softwareAgent>\n     </rdf:li>\n",
                  now, kAgent);
    ZqXmlU_AddHistoryEntry(doc.text(), history, nullptr, entry);
    // A parameter: the rating, created or replaced.
    char value[2] = {static_cast<char>('0' + (index + pass) % 6), '\0'};
    ZqXmlU_FixParam(doc.text(), rating, noAttributes, value, nullptr);
}

// ---------------------------------------------------------------------------------------------
// The same work with Exiv2

// A format-23 date text to seconds since 1970 (UTC), as an Exiv2 user parses XMP dates: strptime
// and timegm, then the zone.
int64_t ParseIsoDate(const std::string& text) {
    std::tm tm{};
    const char* rest = strptime(text.c_str(), "%Y-%m-%dT%H:%M:%S", &tm);
    if (!rest) return 0;
    int64_t seconds = timegm(&tm);
    if (*rest == '.')
        while (*++rest >= '0' && *rest <= '9') {
        }
    if (*rest == '+' || *rest == '-') {
        const int hours = std::atoi(rest + 1), minutes = std::atoi(rest + 4);
        const int64_t offset = (hours * 60 + minutes) * 60;
        seconds += *rest == '+' ? -offset : offset;
    }
    return seconds;
}

// The number of entries of the history sequence, from the keys of their fields.
long HistoryEntries(const Exiv2::XmpData& xmp) {
    long entries = 0;
    for (const Exiv2::Xmpdatum& d : xmp) {
        const std::string key = d.key();
        if (key.compare(0, 18, "Xmp.xmpMM.History[") == 0)
            entries = std::max(entries, std::strtol(key.c_str() + 18, nullptr, 10));
    }
    return entries;
}

bool ReadText(const std::string& path, std::string& text) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    text.clear();
    char chunk[16384];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        text.append(chunk, got);
    std::fclose(f);
    return true;
}

void EditWithExiv2(const std::string& path, uint32_t pass, uint32_t index, std::string& text,
                   Tally& tally) {
    static const Exiv2::XmpKey subject("Xmp.dc.subject");
    static const char* const dates[] = {"Xmp.xmp.CreateDate", "Xmp.xmp.ModifyDate",
                                        "Xmp.xmp.MetadataDate"};
    if (!ReadText(path, text)) return;
    Exiv2::XmpData xmp;
    if (Exiv2::XmpParser::decode(xmp, text) != 0) return;
    const auto keywords = xmp.findKey(subject);
    for (long i = 0; keywords != xmp.end() && i < keywords->count(); ++i)
        tally.keywordBytes += keywords->toString(i).size() + 1;
    for (const char* key : dates) {
        const auto date = xmp.findKey(Exiv2::XmpKey(key));
        if (date != xmp.end()) tally.dates += ParseIsoDate(date->toString()) != 0;
    }
    // One more history entry, with the current time.
    const long entries = HistoryEntries(xmp);
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char when[32];
    std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%S+00:00", &utc);
    const std::string item = "Xmp.xmpMM.History[" + std::to_string(entries + 1) + "]/stEvt:";
    xmp[item + "action"] = "edited";
    xmp[item + "when"] = when;
    xmp[item + "softwareAgent"] = kAgent;
    xmp["Xmp.exif.Rating"] = std::to_string((index + pass) % 6);
    std::string packet;
    if (Exiv2::XmpParser::encode(
            packet, xmp,
            Exiv2::XmpParser::omitPacketWrapper | Exiv2::XmpParser::useCompactFormat) != 0)
        return;
    WriteFile(path, packet.data(), packet.size(), text.size());
}

// ---------------------------------------------------------------------------------------------
// Benchmarks

// Sidecars per second of each run, by the clock and by the thread's processor time (user and
// system), for the ratio: on a shared machine the second is the steadier figure.
struct Rate {
    double real = 0, cpu = 0;
};
struct Rates {
    Rate zqxmlu, exiv2, floor;
} rates;

double Seconds(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Runs `pass` over the whole library once per iteration, each from the sidecars as generated,
// and reports sidecars per second.
template <typename Pass>
void RunPasses(benchmark::State& state, Rate& rate, Pass pass) {
    const Library& library = TheLibrary();
    const auto n = static_cast<uint32_t>(library.paths().size());
    double real = 0, cpu = 0;
    uint32_t round = 0;
    while (state.KeepRunning()) {
        state.PauseTiming();
        library.Restore();
        state.ResumeTiming();
        const double realStart = Seconds(CLOCK_MONOTONIC);
        const double cpuStart = Seconds(CLOCK_THREAD_CPUTIME_ID);
        pass(library, round++);
        cpu += Seconds(CLOCK_THREAD_CPUTIME_ID) - cpuStart;
        real += Seconds(CLOCK_MONOTONIC) - realStart;
    }
    const double sidecars = static_cast<double>(state.iterations()) * n;
    rate = {sidecars / real, sidecars / cpu};
    state.counters["sidecars"] = n;
    state.counters["sidecar_bytes"] = static_cast<double>(library.bytes()) / n;
    state.counters["sidecars_per_s"] = rate.real;
    state.counters["sidecars_per_cpu_s"] = rate.cpu;
    state.counters["us_per_sidecar"] = 1e6 / rate.real;
}

void ZqXmlUPass(const Library& library, uint32_t round, Tally& tally) {
    Document doc;
    const std::vector<std::string>& paths = library.paths();
    for (uint32_t i = 0; i < paths.size(); ++i) {
        if (!doc.Read(paths[i])) continue;
        EditWithZqXmlU(doc, round, i, tally);
        doc.Write(paths[i]);
    }
}

void Exiv2Pass(const Library& library, uint32_t round, Tally& tally) {
    std::string text;
    const std::vector<std::string>& paths = library.paths();
    for (uint32_t i = 0; i < paths.size(); ++i)
        EditWithExiv2(paths[i], round, i, text, tally);
}

void BM_Library_IoFloor(benchmark::State& state) {
    RunPasses(state, rates.floor, [](const Library& library, uint32_t) {
        Document doc;
        for (const std::string& path : library.paths())
            if (doc.Read(path)) doc.Write(path);
    });
}

// The host's edits by `pass`, with what it read as counters.
void RunEdits(benchmark::State& state, Rate& rate, void (*pass)(const Library&, uint32_t, Tally&)) {
    Tally tally;
    RunPasses(state, rate, [&tally, pass](const Library& library, uint32_t round) {
        pass(library, round, tally);
    });
    state.counters["keyword_bytes"] = static_cast<double>(tally.keywordBytes);
    state.counters["dates"] = static_cast<double>(tally.dates);
}

// The share of the first 200 edited sidecars that Exiv2 reads with the library's history entry
// last and its rating set: the speed is that of work done right.
double ReadBackByExiv2(const Library& library, uint32_t round) {
    std::string text;
    int good = 0, checked = 0;
    for (uint32_t i = 0; i < 200 && i < library.paths().size(); ++i, ++checked) {
        Exiv2::XmpData xmp;
        if (!ReadText(library.paths()[i], text) || Exiv2::XmpParser::decode(xmp, text) != 0)
            continue;
        const long entries = HistoryEntries(xmp);
        const auto agent = xmp.findKey(Exiv2::XmpKey(
            "Xmp.xmpMM.History[" + std::to_string(entries) + "]/stEvt:softwareAgent"));
        const auto rating = xmp.findKey(Exiv2::XmpKey("Xmp.exif.Rating"));
        good += agent != xmp.end() && agent->toString() == kAgent && rating != xmp.end() &&
                rating->toString() == std::to_string((i + round) % 6);
    }
    return checked ? static_cast<double>(good) / checked : 0;
}

void BM_Library_ZqXmlU(benchmark::State& state) {
    RunEdits(state, rates.zqxmlu, ZqXmlUPass);
    state.counters["exiv2_reads_back"] =
        ReadBackByExiv2(TheLibrary(), static_cast<uint32_t>(state.iterations() - 1));
}

void BM_Library_Exiv2(benchmark::State& state) {
    RunEdits(state, rates.exiv2, Exiv2Pass);
}

// The library's throughput over Exiv2's and over the I/O floor, from the three runs above.
void BM_Library_Ratio(benchmark::State& state) {
    while (state.KeepRunning()) {
    }
    if (!kExiv2Ready || rates.zqxmlu.cpu == 0 || rates.exiv2.cpu == 0 || rates.floor.cpu == 0) {
        state.SkipWithError("needs BM_Library_IoFloor, BM_Library_ZqXmlU and BM_Library_Exiv2");
        return;
    }
    state.counters["zqxmlu_per_s"] = rates.zqxmlu.real;
    state.counters["exiv2_per_s"] = rates.exiv2.real;
    state.counters["io_floor_per_s"] = rates.floor.real;
    state.counters["zqxmlu_over_exiv2"] = rates.zqxmlu.real / rates.exiv2.real;
    state.counters["zqxmlu_over_floor"] = rates.zqxmlu.real / rates.floor.real;
    state.counters["cpu_zqxmlu_over_exiv2"] = rates.zqxmlu.cpu / rates.exiv2.cpu;
    state.counters["cpu_zqxmlu_over_floor"] = rates.zqxmlu.cpu / rates.floor.cpu;
}

// Peak resident memory that one pass adds over a library of range(0) sidecars, and the heap it
// leaves in use; range(1): 0 the library, 1 Exiv2.
void BM_Library_PeakMemory(benchmark::State& state) {
    const Library library(static_cast<uint32_t>(state.range(0)));
    void (*const pass)(const Library&, uint32_t, Tally&) =
        state.range(1) == 0 ? ZqXmlUPass : Exiv2Pass;
    {
        // What a first call sets up once for the process is not growth.
        const Library warmUp(20);
        Tally tally;
        pass(warmUp, 0, tally);
    }
    while (state.KeepRunning()) {
        library.Restore();
        Tally tally;
        const size_t heap = zqbench::HeapInUse();
        const size_t resident = zqbench::StatusBytes("VmRSS:");
        if (!zqbench::ResetPeak()) {
            state.SkipWithError("cannot reset the peak resident memory");
            return;
        }
        pass(library, 0, tally);
        const size_t peak = zqbench::StatusBytes("VmHWM:");
        state.counters["peak_added_KiB"] =
            static_cast<double>(peak > resident ? peak - resident : 0) / 1024;
        state.counters["heap_left_KiB"] =
            (static_cast<double>(zqbench::HeapInUse()) - static_cast<double>(heap)) / 1024;
    }
}

}  // namespace

BENCHMARK(BM_Library_IoFloor)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Library_ZqXmlU)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Library_Exiv2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Library_Ratio)->Iterations(1);
BENCHMARK(BM_Library_PeakMemory)
    ->ArgsProduct({{2000, 8000}, {0, 1}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
