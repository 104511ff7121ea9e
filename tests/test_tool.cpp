// The zqxmlu command-line tool as a new user meets it: exit status, the one line of standard
// error, standard output, and files given to -i, for every subcommand.
#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <unistd.h>
#endif

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support.h"

namespace {

#ifdef ZQ_TOOL
namespace fs = std::filesystem;
using namespace std::string_literals;

// A scratch folder holding the files the cases name; "@" in a command line stands for it.
class ToolTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = fs::temp_directory_path() / ("zqtool-" + std::to_string(std::random_device{}()));
        fs::create_directories(dir_ / "sub");
        Put("bin", kBinary);
        Put("doc.xml", kSidecar);
        std::string labels = zqtest::ReadFile(ZQ_SOURCE_DIR "/examples/labels.xml");
        std::erase(labels, '\r');
        Put("labels-lf.xml", labels);
        std::string deep;
        for (int i = 0; i < 300000; ++i)
            deep += "<a>";
        Put("deep.xml", deep);
    }
    static void TearDownTestSuite() { fs::remove_all(dir_); }

    static void Put(const std::string& name, const std::string& bytes) {
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
    }
    static std::string Get(const std::string& name) {
        return zqtest::ReadFile((dir_ / name).string());
    }

    // Runs a shell command line ("@" expanded, with '/' between folders, which the shell keeps
    // as it is) with `in` on standard input.
    static zqtest::RunResult Shell(std::string line, const std::string& in = "") {
        for (size_t at = line.find('@'); at != std::string::npos; at = line.find('@', at + 1)) {
            line.replace(at, 1, dir_.generic_string());
        }
        return zqtest::Run(line, in);
    }
    static zqtest::RunResult Tool(const std::string& args, const std::string& in = "") {
        return Shell(std::string(ZQ_TOOL) + " " + args, in);
    }

    // Checks the status, the output (unless "*") and standard error: empty on success, else one
    // "zqxmlu: " line holding `err`.
    static void Expect(const std::string& args, const std::string& in, int status,
                       const std::string& out, const std::string& err) {
        const zqtest::RunResult r = Tool(args, in);
        EXPECT_EQ(r.status, status) << args << "\n" << r.err;
        if (out != "*") {
            EXPECT_EQ(r.out, out) << args;
        }
        if (status == 0) {
            EXPECT_EQ(r.err, "") << args;
        } else {
            EXPECT_EQ(r.err.rfind("zqxmlu: ", 0), 0u) << args << "\n" << r.err;
            EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << args << "\n" << r.err;
            EXPECT_NE(r.err.find(err), std::string::npos) << args << "\n" << r.err;
        }
    }

    static inline fs::path dir_;
    static inline const std::string kBinary = "\x89PNG\r\n\x1A\n\0\0\0\rIHDR"s;
    static inline const std::string kSidecar =
        "<x:xmpmeta><rdf:RDF><rdf:Description rdf:about=''>\n"
        "<dc:subject><rdf:Bag><rdf:li>Caf\xC3\xA9 &amp; Bar</rdf:li><rdf:li>x&#x263A;</rdf:li>"
        "</rdf:Bag></dc:subject>\n"
        "<dc:title><rdf:Alt><rdf:li xml:lang='x-default'>T</rdf:li></rdf:Alt></dc:title>\n"
        "<k a='1'>v</k>\n"
        "</rdf:Description></rdf:RDF></x:xmpmeta>\n";
};

// Every subcommand that reads input: a missing file, a directory, empty and binary input.
TEST_F(ToolTest, EveryInputIsAnsweredWithStatusAndMessage) {
    const struct {
        const char* args;
        int empty, binary;
    } readers[] = {
        {"convert", 0, 1},
        {"convert --to utf8", 0, 0},
        {"escape", 0, 0},
        {"escape --lform", 0, 1},
        {"unescape", 0, 0},
        {"unescape --lform", 0, 1},
        {"tree", 1, 1},
        {"element get a", 1, 1},
        {"element items a", 1, 1},
        {"element param a", 1, 1},
        {"element cut a", 1, 1},
        {"element insert --pos 1 x", 1, 1},
        {"strings", 1, 0},
        {"xmp", 1, 1},
        {"history add h e", 1, 1},
        {"param set p v", 1, 1},
        {"sha1", 0, 0},
        {"sha1 --skip-space", 0, 1},
        {"base64", 0, 0},
        {"base64 -d", 1, 1},
        {"zlib", 1, 1},
        {"zlib -d", 1, 1},
        {"auth insert --auth a", 1, 1},
    };
    for (const auto& c : readers) {
        Expect(c.args + " @/missing"s, "", 1, "", "cannot open");
        Expect(c.args + " @"s, "", 1, "", "a directory");
        Expect(c.args + " ''"s, "", 2, "", "FILE is an empty name");
        EXPECT_EQ(Tool(c.args).status, c.empty) << c.args;
        EXPECT_EQ(Tool(c.args, kBinary).status, c.binary) << c.args;
    }
    Expect("password encrypt k1 k2", kBinary, 1, "", "NUL byte");
    // Numeric arguments are bounded before any work.
    for (const char* args :
         {"keyword --limit N x", "uri make a b N 1", "uri make a b 1 N", "uri prefix a b N",
          "date format N iso", "element insert --pos N x", "element insert --pos 1 --replace N x",
          "next-name --size N x", "base64 --groups N", "base64 --groups 1 --tabs N",
          "zlib -d --capacity N"}) {
        for (const char* n : {"99999999999999999999", "-1", "1x"}) {
            std::string line = args;
            line.replace(line.find('N'), 1, n);
            Expect(line, "", 2, "", "must be a whole number from");
        }
    }
}

// The cases a new user met, by what went wrong.
TEST_F(ToolTest, NewUserCases) {
    const std::string uri = "http://ns.zq.example/xml/a/l/ic/alice/tags_02_015.zqtvm";
    const struct {
        std::string args, in;
        int status;
        std::string out, err;
    } cases[] = {
        // No silent loss: NUL bytes pass or are refused, never cut.
        {"escape", "a\0<"s, 0, "a&#x00;&lt;", ""},
        {"escape --lform", "a\0"s, 0, "a&#x00;&#x00;&#x00;", ""},
        {"unescape", "a\0&lt;&#;"s, 0, "a\0<\0"s, ""},
        {"element get k", "<k>\0</k>"s, 1, "", "NUL byte (offset 3)"},
        // Honest answers.
        {"zlib -d --capacity 5", Tool("zlib", std::string(1000, 'a')).out, 1, "",
         "larger than --capacity 5 bytes"},
        {"base64 --groups 1 --tabs 2147483648", "", 2, "", "--tabs must be a whole number"},
        {"param set p v", "<r/>", 1, "", "no element 'p', and no exif rdf:Description"},
        {"param set p v --anchor '<q'", "<r/>", 1, "", "no tag holding '<q'"},
        {"param set p 'a<b'", "<r><p>x</p></r>", 0, "<r><p >a&lt;b</p></r>", ""},
        {"auth insert --plain \"a'b\"", "<doc>", 0, "<doc zqncs:plain_authenticator='a&apos;b'>",
         ""},
        {"auth insert --plain p", "<doc/>", 1, "", "empty-element tag"},
        {"auth insert --auth p", "<d zqncs:authenticator='q'>", 1, "", "already carries"},
        {"auth insert --auth 'a\tb'", "<d>", 2, "", "control byte"},
        {"auth insert", "<d>", 2, "", "give --plain, --auth or both"},
        {"compartment bogus", "", 1, "", "unknown compartment"},
        {"uri compatible " + uri + " http://x/", "", 1, "", "not a vocabulary URI"},
        {"strings", "ab", 0, "<!-- ab -->\n", ""},
        {"strings", "\x01\x02", 1, "", "no readable string"},
        // Library rules that surprise in a shell.
        {"unescape", "&#x263A;&#9786 &#xE9;", 0, "\xE2\x98\xBA\xE2\x98\xBA\xE9", ""},
        {"unescape", "&#x110000;", 1, "", "names no Unicode character"},
        {"unescape --lform", "&#x263A;", 1, "", "byte references only"},
        {"binhex '&#x263A;'", "", 0, "4pi6AA=\n", ""},
        {"date parse us '07/15/2004 01:05:09 PM'", "", 0, "1092575132\n", ""},
        {"date parse us '07/15/2004 12:05:09 AM'", "", 0, "1092528332\n", ""},
        {"date parse us '07/15/2004 13:05:09 PM'", "", 1, "", "hour from 01 to 12"},
        {"date parse iso 2004-07-15T13:05:09+02:00", "", 1, "", "text follows it"},
        {"date parse iso-zone 2004-07-15T13:05:09+00:30", "", 1, "", "less than an hour"},
        {"date format 1 iso --zone -00:30", "", 1, "", "less than an hour"},
        {"date parse iso-zone 1969-12-31T19:00:00-05:00", "", 1, "", "the time 19:00:00 would"},
        {"date parse iso-zone 1970-01-01T01:00:00+02:00", "", 1, "", "before 1970-01-01T00:00:00Z"},
        {"date parse slash x", "", 2, "", "format only"},
        {"date format 2000000 iso", "", 2, "", "day number from 1 to 719164"},
        {"date format 253404979223 iso", "", 2, "", "from 1 to 253404979222"},
        {"zlib", "abc", 1, "", "does not shrink"},
        {"uri make a b 1 1 --variant x", "", 2, "", "m or q"},
        {"uri make a/b c 1 1", "", 2, "", "no '/'"},
        {"uri info " + uri, "", 0,
         "user: alice\nname: tags\nmajor: 2\nminor: 15\nvariant: m\nunderscore: 45\n", ""},
        {"password encrypt k ''", "pw", 2, "", "KEY2 is empty"},
        {"password encrypt k1 k2", std::string(128, 'p'), 1, "", "at most 127 bytes"},
        {"pin a b 0000000G", "", 2, "", "8 lower-case hex digits"},
        {"auth recover 0g", "", 2, "", "'g' at offset 1, not a hex digit"},
        {"auth recover 012", "", 2, "", "odd number of digits"},
        // Usage: one line naming the problem.
        {"bogus", "", 2, "", "unknown subcommand 'bogus'"},
        {"", "", 2, "", "a subcommand is needed"},
        {"date", "", 2, "", "date: a subcommand is needed: parse, format or now"},
        {"keyword -foo", "", 2, "", "keyword: unknown option '-foo' (an argument that begins"},
        {"keyword -- -foo", "", 0, "foo\n", ""},
        {"keyword", "", 2, "", "keyword: TEXT is missing"},
        {"keyword a b", "", 2, "", "unexpected argument 'b'"},
        {"date parse iso --zone", "", 2, "", "--zone needs a value"},
        {"element insert --anchor a --pos 1 x", "", 2, "", "either --anchor or --pos"},
        {"element cut k -i", "", 2, "", "-i needs a FILE to rewrite"},
        {"param set k v -i -", "", 2, "", "-i needs a FILE to rewrite"},
        {"convert --to latin1", "", 2, "", "utf16 or utf8"},
        {"keyword --limit " + std::string(30000, '7') + " x", "", 2, "", "' (30000 bytes)"},
        {"--version", "", 0, "zqxmlu 1.0.0 (ZqXmlU library 1.0.0)\n", ""},
    };
    for (const auto& c : cases)
        Expect(c.args, c.in, c.status, c.out, c.err);
    // A message quotes a long argument cut short (30,000 bytes: within the 32,767 characters of a
    // Windows command line).
    EXPECT_LT(Tool("compartment " + std::string(30000, 'x')).err.size(), 200u);
    // Help describes only what the subcommand takes.
    for (const char* args : {"keyword --help", "date now --help", "uri make --help"}) {
        const auto help = Tool(args);
        EXPECT_EQ(help.status, 0);
        EXPECT_EQ(help.out.find("FILE"), std::string::npos) << args;
    }
    EXPECT_NE(Tool("xmp --help").out.find("CR LF"), std::string::npos);
}

TEST_F(ToolTest, FilesAndStreams) {
    // The README's sidecar: items of one element, de-escaped.
    Expect("element items dc:subject @/doc.xml", "", 0, "Caf\xC3\xA9 & Bar\nx\xE2\x98\xBA\n", "");
    Expect("element items dc:title @/doc.xml", "", 0, "T\n", "");
    // A label document with LF line ends gives the packet of the CR LF one.
    Expect("xmp @/labels-lf.xml", "", 0, zqtest::ReadFile(ZQ_TEST_DATA "/metadata/labels.xmp"), "");
    // -i: refused input leaves the file as it was; an edit keeps the file's permissions.
    for (const char* args :
         {"element insert --pos 1 X -i @/bin", "param set p v -i @/bin", "history add h e -i @/bin",
          "element cut nothing -i @/doc.xml", "element insert --anchor nowhere x -i @/doc.xml"}) {
        const std::string name =
            std::string(args).find("bin") != std::string::npos ? "bin" : "doc.xml";
        const std::string before = Get(name);
        EXPECT_EQ(Tool(args).status, 1) << args;
        EXPECT_EQ(Get(name), before) << args;
    }
    Put("edit.xml", "<r><k>1</k> <m/></r>");
    Expect("element cut k -i @/edit.xml", "", 0, "", "");
    EXPECT_EQ(Get("edit.xml"), "<r><m/></r>");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 6);
#if !defined(_WIN32)
    constexpr auto kMode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(dir_ / "edit.xml", kMode);
    Expect("element insert --pos 1 x -i @/edit.xml", "", 0, "", "");
    EXPECT_EQ(fs::status(dir_ / "edit.xml").permissions(), kMode);
    // A deep tree is written as it is walked: its 90 GB of output are never held.
    EXPECT_EQ(Shell("( " ZQ_TOOL " tree @/deep.xml 2>&1 | head -c 10 )").out, "a\n  a\n    ");
    // Closed or unreadable standard streams are errors, not empty input.
    EXPECT_EQ(Shell("( " ZQ_TOOL " sha1 <&- )").err,
              "zqxmlu: cannot read standard input: it is closed\n");
    EXPECT_EQ(Shell("( " ZQ_TOOL " sha1 < @ )").err,
              "zqxmlu: cannot read standard input: Is a directory\n");
    EXPECT_EQ(Shell("( " ZQ_TOOL " keyword x >&- )").status, 1);
#endif
}

// Round trips: format then parse, parse then format, escape then unescape, encrypt then decrypt.
TEST_F(ToolTest, RoundTrips) {
    for (const char* value : {"1092575132", "2678400", "719164", "1107172823"}) {
        for (const char* layout : {"exif", "iso-zone", "iso", "ctime", "us"}) {
            for (const std::string& zone : {""s, " --zone +02:00"s, " --zone -05:30"s}) {
                const auto text = Tool("date format "s + value + " " + layout + zone);
                ASSERT_EQ(text.status, 0) << text.err;
                const std::string line = text.out.substr(0, text.out.size() - 1);
                const auto back = Tool("date parse "s + layout + " '" + line + "'" + zone);
                if (std::string(value) == "2678400" && zone == " --zone -05:30") {
                    EXPECT_NE(back.err.find("would be lost"), std::string::npos) << line;
                } else {
                    EXPECT_EQ(back.out, value + "\n"s) << layout << zone << " " << back.err;
                }
            }
        }
    }
    for (const char* layout : {"compact", "date"}) {
        const auto value =
            Tool("date parse "s + layout + (layout[0] == 'c' ? " 20040715" : " 2004-07-15"));
        EXPECT_EQ(
            Tool("date format " + value.out.substr(0, value.out.size() - 1) + " " + layout).out,
            layout[0] == 'c' ? "20040715\n" : "2004-07-15\n");
    }
    const std::string bytes = "\0\x01\x7F\xFF<&>'\"\r\n\t"s + "caf\xC3\xA9 \xF0\x9F\x98\x80";
    EXPECT_EQ(Tool("unescape", Tool("escape", bytes).out).out, bytes);
    const std::string text = "a\0caf\xC3\xA9 \xF0\x9F\x98\x80<"s;
    EXPECT_EQ(Tool("unescape --lform", Tool("escape --lform", text).out).out, text);
    EXPECT_EQ(Tool("convert --to utf8", Tool("convert", text).out).out, text);
    for (const std::string& password : {""s, std::string(127, 'p')}) {
        const auto made = Tool("password encrypt user host", password + "\n");
        ASSERT_EQ(made.status, 0) << made.err;
        const std::string record = made.out.substr(0, made.out.size() - 1);
        EXPECT_EQ(Tool("password decrypt user host " + record).out, password + "\n");
        Expect("password decrypt user other " + record, "", 1, "", "does not decrypt");
    }
}
// The library walk over a generated tree with broken sidecars mixed in: one line an image, in path
// order, each problem reported just before the line of its image, and the exit status.
TEST_F(ToolTest, Library) {
    const auto u8 = [](const std::string& s) {
        return fs::path(std::u8string(s.begin(), s.end()));
    };
    const std::string root = dir_.generic_string() + "/lib";  // as the command lines name it
    // The tool's path of a file of the tree walked from DIR `from`.
    const auto at = [&](std::string rel, const std::string& from = "") {
        std::replace(rel.begin(), rel.end(), '/', static_cast<char>(fs::path::preferred_separator));
        return root + from + static_cast<char>(fs::path::preferred_separator) + rel;
    };
    const auto json = [](const std::string& s) {
        std::string q = "\"";
        for (const char c : s)
            q += c == '\\' || c == '"' ? "\\"s + c : std::string(1, c);
        return q + "\"";
    };
#if defined(_WIN32)
    const bool locks = false;
#else
    const bool locks = geteuid() != 0;  // root reads everything
#endif
    const std::string rdf = "<rdf:RDF><rdf:Description ";
    const std::string k = "<dc:subject><rdf:Bag><rdf:li>K</rdf:li></rdf:Bag></dc:subject>";
    const std::string dated = rdf + "xmp:CreateDate='2004-07-15T13:05:09+02:00'>" + k +
                              "<exif:DateTimeOriginal>1965-03-02T10:00:00</exif:DateTimeOriginal>"
                              "</rdf:Description></rdf:RDF>";
    const std::string dates =
        R"("dates":{"xmp:CreateDate":{"text":"2004-07-15T13:05:09+02:00","iso":)"
        R"("2004-07-15T11:05:09+00:00","value":1092567932},"exif:DateTimeOriginal":{"text":)"
        R"("1965-03-02T10:00:00","iso":"1965-03-02","value":717399}})";
    enum Kind { kNone, kFile, kFolder, kLocked, kLockedFolder };
    const struct {
        std::string image;  // '/' between folders
        Kind kind;
        std::string sidecar, fields, report;  // fields: "" for no line
    } rows[] = {
        {"a.jpg", kFile, kSidecar, R"("keywords":["Café & Bar","x☺"],"dates":{})", ""},
        {"b.JPG", kNone, "", R"("keywords":[],"dates":{})", ""},
        {"c.png", kFile, "hello", R"("keywords":null,"dates":null)", "not an XMP packet"},
        {"d.jpg", kFolder, "", R"("keywords":null,"dates":null)", "': a folder"},
        {"e.jpg", kFile, "", R"("keywords":null,"dates":null)", "the sidecar is empty"},
        {"f.jpg", kFile, "<rdf:RDF>\0</rdf:RDF>"s, R"("keywords":null,"dates":null)",
         "NUL byte (offset 9)"},
        {"g.jpg", kLocked, kSidecar, R"("keywords":null,"dates":null)", "Permission denied"},
        {"i.jpg", kFile, rdf + "xmp:CreateDate='2004-07'/></rdf:RDF>",
         R"("keywords":[],"dates":{})", "'2004-07' does not read"},
        {"j.jpg", kFile, "<rdf:RDF>" + k.substr(0, 35) + "</rdf:Bag></dc:subject></rdf:RDF>",
         R"("keywords":null,"dates":null)", "item of 'dc:subject' has no end tag"},
        {"sub.jpg", kNone, "", R"("keywords":[],"dates":{})", ""},
        {"sub/deep/h.tif", kFile, dated, R"("keywords":["K"],)" + dates, ""},
        {"Ünï/é.jpg", kFile,
         "<rdf:RDF>" + k +
             "<Iptc4xmpCore:Keywords><rdf:Bag><rdf:li>L</rdf:li><rdf:li>K</rdf:li></rdf:Bag>"
             "</Iptc4xmpCore:Keywords></rdf:RDF>",
         R"("keywords":["K","L"],"dates":{})", ""},
        {"locked/k.jpg", kLockedFolder, "", "", "cannot read folder"},
        {"noext", kFile, "x", "", ""},
        {"x.toolongext", kFile, "x", "", ""},
        {".hidden.jpg", kNone, "", "", ""},
        {".hid/k.jpg", kNone, "", "", ""},
    };
    std::vector<std::pair<std::string, std::string>> expected;  // (path, report or line)
    std::string keyed;
    for (const auto& r : rows) {
        if (!locks && (r.kind == kLocked || r.kind == kLockedFolder)) continue;
        const fs::path image = dir_ / "lib" / u8(r.image);
        fs::create_directories(image.parent_path());
        std::ofstream(image).put('x');
        const size_t slash = r.image.rfind('/') + 1;  // 0 when there is none
        const size_t dot = r.image.rfind('.');
        const std::string sidecar = r.image.substr(0, slash) + "." +
                                    r.image.substr(slash, dot - slash) + ".zq" +
                                    r.image.substr(dot + 1);
        if (r.kind == kFolder) fs::create_directories(dir_ / "lib" / u8(sidecar));
        if (r.kind == kFile || r.kind == kLocked) {
            std::ofstream(dir_ / "lib" / u8(sidecar), std::ios::binary) << r.sidecar;
        }
        if (r.kind == kLocked) fs::permissions(dir_ / "lib" / u8(sidecar), fs::perms::none);
        if (r.kind == kLockedFolder) fs::permissions(image.parent_path(), fs::perms::none);
        if (!r.report.empty()) expected.emplace_back(at(r.image), "zqxmlu: " + r.report);
        if (r.fields.empty()) continue;
        const std::string line = "{\"path\":" + json(at(r.image)) +
                                 ",\"sidecar\":" + (r.kind == kNone ? "null" : json(at(sidecar))) +
                                 "," + r.fields + "}";
        expected.emplace_back(at(r.image), line);
        if (r.fields.find("[\"K\"") != std::string::npos) keyed += line + "\n";
    }
    std::stable_sort(expected.begin(), expected.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    size_t reports = 0;
    std::string out, err;
    for (const auto& [path, text] : expected) {
        (text.rfind("zqxmlu: ", 0) == 0 ? err : out) += text + "\n";
        reports += text.rfind("zqxmlu: ", 0) == 0;
    }
    const std::string last = "zqxmlu: library: " + std::to_string(reports) + " problems reported";
    // Each report names its file and holds its reason, in order; so does the merged stream.
    const auto sameReports = [&](const std::string& got, const std::string& want) {
        std::istringstream g(got), w(want);
        std::string a, b;
        while (std::getline(w, b)) {
            ASSERT_TRUE(std::getline(g, a)) << b;
            if (b.rfind("zqxmlu: ", 0) != 0) {
                EXPECT_EQ(a, b);
                continue;
            }
            EXPECT_NE(a.find(b.substr(8)), std::string::npos) << a << "\nwants " << b;
            EXPECT_EQ(a.rfind("zqxmlu: ", 0), 0u) << a;
        }
        ASSERT_TRUE(std::getline(g, a));
        EXPECT_EQ(a.rfind(last, 0), 0u) << a;
        EXPECT_FALSE(std::getline(g, a)) << a;
    };
    for (const char* jobs : {"", " -j 1", " -j 3"}) {
        const auto r = Tool("library @/lib"s + jobs);
        EXPECT_EQ(r.status, 1) << jobs;
        EXPECT_EQ(r.out, out) << jobs;  // no progress bar: standard error is no terminal
        sameReports(r.err, err);
    }
#if !defined(_WIN32)
    std::string merged;
    for (const auto& [path, text] : expected)
        merged += text + "\n";
    sameReports(Shell("( " ZQ_TOOL " library @/lib 2>&1 )").out, merged);
#endif
    const auto filtered = Tool("library --keyword K @/lib");
    EXPECT_EQ(filtered.out, keyed);
    sameReports(filtered.err, err);
    // A tree without problems; a DIR that is no folder.
    Expect("library --keyword K @/lib/sub", "", 0,
           "{\"path\":" + json(at("deep/h.tif", "/sub")) + ",\"sidecar\":" +
               json(at("deep/.h.zqtif", "/sub")) + ",\"keywords\":[\"K\"]," + dates + "}\n",
           "");
    Expect("library @/lib/missing", "", 1, "", "cannot read folder");
    Expect("library @/bin", "", 1, "", "is not a folder");
    Expect("library @ -j 0", "", 2, "", "--jobs must be a whole number from 1 to 256");
    if (locks) fs::permissions(dir_ / "lib" / "locked", fs::perms::owner_all);
    fs::remove_all(dir_ / "lib");
}
#endif

}  // namespace
