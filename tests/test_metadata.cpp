// Metadata documents and file names: compartments, label documents to XMP packets, numbered
// names, history entries and parameters, regions, sidecar and shrunk names, and their subcommands.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/file.h"
#include "support.h"
#include "zqxmlu.h"

namespace {

using zqtest::Text;

std::string Crlf(const std::string& lf) {
    std::string out;
    for (char c : lf) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

std::string Lf(const std::string& crlf) {
    std::string out;
    for (size_t i = 0; i < crlf.size(); ++i) {
        if (crlf[i] != '\r' || i + 1 >= crlf.size() || crlf[i + 1] != '\n') out += crlf[i];
    }
    return out;
}

// The packet of a label document; "" when nothing was written.
std::string Packet(const std::string& labels) {
    Text doc(labels);
    ZQ_XML_STRUCT_T sink{};
    sink.tag = zqtest::Tag();
    ZqXmlU_MakeMsdisXml(doc, &sink);
    std::string out = sink.buffer ? std::string(sink.buffer, static_cast<size_t>(sink.length)) : "";
    ZqXmlU_xml_free(sink.buffer);
    return out;
}

// The bag lines of a packet.
std::string Bag(const std::string& packet) {
    const std::string open = "<rdf:Bag>\n", close = "</rdf:Bag>";
    const size_t a = packet.find(open), b = packet.find(close);
    if (a == std::string::npos || b == std::string::npos) return "<no packet>";
    return packet.substr(a + open.size(), b - a - open.size());
}

std::string Labels(const std::string& body) {
    return Crlf("<Labels>\n" + body + "</Labels>\n");
}

const std::string kAnimals =
    "<Word title=\"KeywordRoot\">\n<Word title=\"Animals\">\n<Word title=\"Cat\"></Word>\n"
    "</Word>\n<Word title=\"Dog\"></Word>\n</Word>\n";
const std::string kPeople = "<Word title=\"PeopleRoot\">\n<Word title=\"Ann\"></Word>\n</Word>\n";

TEST(Compartments, NumbersAndCopies) {
    const std::pair<const char*, int> cases[] = {
        {"zqmd", 0},      {"iptc", 1}, {"exif", 2}, {"xmp", 3},  {"id3", 4}, {"stat", 5},
        {"photoshop", 6}, {"mp3", 7},  {"none", 8}, {"EXIF", 0}, {"", 0},    {"xmpx", 0},
    };
    for (const auto& [name, number] : cases)
        EXPECT_EQ(ZqXmlU_WhichCompartment(Text(name)), number) << name;

    ZQ_XML_STRUCT_T sink{};
    sink.tag = zqtest::Tag();
    ZqXmlU_xml_sprintf(&sink, "<a/>");
    char* copy = nullptr;
    ZqXmlU_SplitCompartments(&sink, &copy, nullptr);
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy, "<a/>");
    EXPECT_NE(copy, sink.buffer);
    EXPECT_TRUE(ZqXmlU_xml_free(copy));
    ZqXmlU_xml_free(sink.buffer);
}

TEST(MakeMsdisXml, ExamplePacketWhole) {
    const std::string labels = zqtest::ReadFile(ZQ_SOURCE_DIR "/examples/labels.xml");
    const std::string expected = zqtest::ReadFile(ZQ_TEST_DATA "/metadata/labels.xmp");
    ASSERT_FALSE(labels.empty());
    EXPECT_EQ(Packet(labels), Lf(expected));

    // A stream sink receives the same bytes.
    FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    Text doc(labels);
    ZQ_XML_STRUCT_T sink{};
    sink.file = f;
    ZqXmlU_MakeMsdisXml(doc, &sink);
    std::string streamed(static_cast<size_t>(std::ftell(f)), '\0');
    std::rewind(f);
    ASSERT_EQ(std::fread(streamed.data(), 1, streamed.size(), f), streamed.size());
    std::fclose(f);
    EXPECT_EQ(streamed, Lf(expected));
    EXPECT_EQ(sink.buffer, nullptr);
}

TEST(MakeMsdisXml, RootsInDocumentOrderAsOftenAsTheyOccur) {
    const struct {
        const char* name;
        std::string body;
        std::string bag;
    } cases[] = {
        {"keywords first", kAnimals + kPeople,
         "<rdf:li>Animals/Cat</rdf:li>\n<rdf:li>Dog</rdf:li>\n<rdf:li>People/Ann</rdf:li>\n"},
        {"people first", kPeople + kAnimals,
         "<rdf:li>People/Ann</rdf:li>\n<rdf:li>Animals/Cat</rdf:li>\n<rdf:li>Dog</rdf:li>\n"},
        {"twice", kPeople + kPeople, "<rdf:li>People/Ann</rdf:li>\n<rdf:li>People/Ann</rdf:li>\n"},
        {"no leaves", "<Word title=\"EventRoot\"></Word>\n<Word title=\"SyncRoot\">\n</Word>\n",
         ""},
        {"root in a root",
         "<Word title=\"LocationRoot\">\n<Word title=\"SyncRoot\">\n<Word title=\"x\"></Word>\n"
         "</Word>\n</Word>\n",
         "<rdf:li>Places/SyncRoot/x</rdf:li>\n<rdf:li>Sync/x</rdf:li>\n"},
        {"broken root in a root",
         "<Word title=\"EventRoot\">\n<Word title=\"SyncRoot\">\n<Word title=\"a\"></Word>\n"
         "junk</Word>\n</Word>\n",
         "<rdf:li>Events/SyncRoot/a</rdf:li>\n<rdf:li>Sync/a</rdf:li>\n"},
        {"empty root in a root",
         "<Word title=\"SyncRoot\">\n<Word title=\"PeopleRoot\">\njunk</Word>\n</Word>\n" +
             kAnimals,
         "<rdf:li>Animals/Cat</rdf:li>\n<rdf:li>Dog</rdf:li>\n"},
        {"quote in a title",
         "<Word title=\"EventRoot\">\n<Word title=\"Say \"hi\"\"></Word>\n</Word>\n",
         "<rdf:li>Events/Say \"hi\"</rdf:li>\n"},
        {"markup copied unescaped",
         "<Word title=\"SyncRoot\">\n<Word title=\"a&b<c\"></Word>\n</Word>\n",
         "<rdf:li>Sync/a&b<c</rdf:li>\n"},
        {"broken child ends the root",
         "<Word title=\"KeywordRoot\">\n<Word title=\"a\"></Word>\n<Word id=\"1\"></Word>\n"
         "<Word title=\"b\"></Word>\n</Word>\n" +
             kPeople,
         "<rdf:li>a</rdf:li>\n<rdf:li>People/Ann</rdf:li>\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Bag(Packet(Labels(c.body))), c.bag) << c.name;
}

TEST(MakeMsdisXml, BrokenDocumentsWriteNothing) {
    for (const std::string& doc :
         {std::string(""), Crlf("<Labels>\n" + kPeople), Crlf(kPeople + "</Labels>\n"),
          std::string("<Labels></Label>"), std::string("\r")}) {
        EXPECT_EQ(Packet(doc), "") << doc;
    }
    // The line ends are gone and stray quotes marked all the same.
    Text doc("<Labels>\r\n<x a=\"1\" b=\"c\"d>\r\n");
    ZQ_XML_STRUCT_T sink{};
    ZqXmlU_MakeMsdisXml(doc, &sink);
    EXPECT_STREQ(doc.get(),
                 "<Labels><x a=\"1\x01 b=\"c\x01"
                 "d>");
    EXPECT_EQ(sink.buffer, nullptr);
}

TEST(MakeMsdisXml, DeepDocumentDoesNotExhaustTheStack) {
    constexpr int kDepth = 100000;
    std::string doc = "<Labels><Word title=\"KeywordRoot\">";
    for (int i = 0; i < kDepth; ++i)
        doc += "<Word title=\"d\">";
    doc += "<Word title=\"leaf\"></Word>";
    for (int i = 0; i < kDepth; ++i)
        doc += "</Word>";
    doc += "</Word></Labels>";
    std::string path;
    for (int i = 0; i < kDepth; ++i)
        path += i ? "/d" : "d";
    EXPECT_EQ(Bag(Packet(doc)), "<rdf:li>" + path + "/leaf</rdf:li>\n");

    // Unclosed and nested roots a hundred thousand deep: no leaf, no time to speak of.
    std::string roots = "<Labels>";
    for (int i = 0; i < kDepth; ++i)
        roots += "<Word title=\"SyncRoot\">";
    EXPECT_EQ(Bag(Packet(roots + "</Labels>")), "");
}

struct WalkCase {
    const char* name;
    const char* text;
    int isRoot;
    int result;
    std::vector<std::string> paths;
    const char* pathAfter;
};

TEST(ProcessExtractablePaths, ResultsPathsAndPathBuffer) {
    const WalkCase cases[] = {
        {"end tag", "</Word><x>", 0, 7, {}, "/p"},
        {"title not first", "<Word id=\"1\" title=\"x\"></Word>", 0, -1, {}, "/p"},
        {"no tag", "Word title=\"x\"></Word>", 0, -1, {}, "/p"},
        {"title unclosed", "<Word title=\"x></Word>", 0, -1, {}, "/p"},
        {"leaf", "<Word title=\"x\"></Word>tail", 0, 23, {"/p/x"}, "/p"},
        {"root leaf", "<Word title=\"x\"></Word>", 1, 23, {}, "/p"},
        {"empty title", "<Word title=\"\"></Word>", 0, 22, {"/p"}, "/p"},
        {"nested",
         "<Word title=\"a\"><Word title=\"b\"></Word><Word title=\"c\"><Word title=\"d\">"
         "</Word></Word></Word>!",
         0,
         92,
         {"/p/a/b", "/p/a/c/d"},
         "/p"},
        {"root with children",
         "<Word title=\"R\"><Word title=\"b\"></Word></Word>",
         1,
         46,
         {"/p/b"},
         "/p"},
        {"broken child",
         "<Word title=\"a\"><Word title=\"b\"></Word>junk</Word>",
         0,
         39,
         {"/p/a/b"},
         "/p/a"},
        {"quote mark",
         "<Word title=\"a\x01"
         "b\"></Word>",
         0,
         25,
         {"/p/a\"b"},
         "/p"},
    };
    for (const auto& c : cases) {
        ZQ_KWLIST_STRUCT_T list{};
        char path[64] = "/p";
        EXPECT_EQ(
            ZqXmlU_ProcessExtractablePaths(Text(c.text), &list, 3, path, sizeof path, c.isRoot),
            c.result)
            << c.name;
        ASSERT_EQ(list.count, static_cast<int>(c.paths.size())) << c.name;
        for (int i = 0; i < list.count; ++i) {
            EXPECT_STREQ(reinterpret_cast<char*>(list.keys[i]), c.paths[i].c_str()) << c.name;
            EXPECT_EQ(list.values[i], 3u);
        }
        EXPECT_STREQ(path, c.pathAfter) << c.name;
        ZqXmlU_FreeKwAllocList(&list);
    }
}

TEST(ProcessExtractablePaths, PathIsCutAtItsSize) {
    for (int size = 0; size <= 9; ++size) {
        std::vector<char> path(16, '#');
        path[0] = '\0';
        ZQ_KWLIST_STRUCT_T list{};
        EXPECT_EQ(ZqXmlU_ProcessExtractablePaths(
                      Text("<Word title=\"abc\"><Word title=\"def\"></Word></Word>"), &list, 1,
                      path.data(), size, 0),
                  50);
        for (size_t i = static_cast<size_t>(size); i < path.size(); ++i)
            ASSERT_EQ(path[i], i == 0 && size == 0 ? '\0' : '#') << "size " << size;
        ASSERT_EQ(list.count, 1);
        const std::string full = "/abc/def";
        EXPECT_EQ(reinterpret_cast<char*>(list.keys[0]),
                  full.substr(0, size > 0 ? static_cast<size_t>(size - 1) : 0));
        ZqXmlU_FreeKwAllocList(&list);
    }
}

TEST(IncrementKeywordName, NextNamesFitAndDiffer) {
    const struct {
        const char* name;
        int size;
        const char* next;
    } cases[] = {
        {"Keyword", 65, "Keyword2"},
        {"Keyword2", 65, "Keyword3"},
        {"Album18", 65, "Album19"},
        {"Name19", 65, "Name20"},
        {"7", 65, "72"},
        {"Name9", 65, "Name10"},
        {"Name99", 8, "Name100"},
        {"Name9", 6, "Nam10"},
        {"Name99", 7, "Nam100"},
        {"Keyword", 8, "Keywor2"},
        {"Caf\xC3\xA9", 6, "Caf2"},
        {"\xC3\xA9"
         "9",
         4, "10"},
        {"199", 65, "1100"},
        {"2", 2, "3"},
        {"Longer", 4, "Lo2"},
        {"", 1, ""},
        {"", 4, "2"},
    };
    for (const auto& c : cases) {
        std::vector<char> out(static_cast<size_t>(c.size) + 8, '#');
        ZqXmlU_IncrementKeywordName(Text(c.name), out.data(), c.size);
        EXPECT_STREQ(out.data(), c.next) << c.name << " in " << c.size;
        for (size_t i = static_cast<size_t>(c.size); i < out.size(); ++i)
            ASSERT_EQ(out[i], '#') << c.name;

        std::vector<char> same(c.name, c.name + std::strlen(c.name) + 1);
        same.resize(std::max(same.size(), static_cast<size_t>(c.size)));
        ZqXmlU_IncrementKeywordName(same.data(), same.data(), c.size);
        EXPECT_STREQ(same.data(), c.next) << "in place: " << c.name;
    }
}

// A shared XML string holding `text`.
struct Doc {
    explicit Doc(const std::string& text) {
        p = static_cast<char*>(
            ZqXmlU_xml_alloc(static_cast<unsigned>(text.size() + 1), zqtest::Tag()));
        std::memcpy(p, text.c_str(), text.size() + 1);
    }
    ~Doc() { ZqXmlU_xml_free(p); }
    char* p;
};

const std::string kExifAnchor =
    "<rdf:Description rdf:about=\"\" xmlns:exif=\"http://ns.zq.example/xml/z/q/in/zqinc/"
    "exif_01_001.zqtv\">";

TEST(AddHistoryEntry, InsertsBeforeTheSequenceEnd) {
    Doc d("<x><hist a='1'><rdf:Seq>\n<rdf:li>a</rdf:li>\n</rdf:Seq></hist></x>");
    EXPECT_EQ(ZqXmlU_AddHistoryEntry(d.p, Text("hist"), nullptr, Text("<rdf:li>b</rdf:li>")), 0);
    EXPECT_STREQ(d.p,
                 "<x><hist a='1'><rdf:Seq>\n<rdf:li>a</rdf:li><rdf:li>b</rdf:li>\n</rdf:Seq>"
                 "</hist></x>");

    for (const char* doc :
         {"<x><histx><rdf:Seq>\n</rdf:Seq></histx></x>",
          "<x><hist><rdf:Seq>\n<rdf:li>a</rdf:li>\n</x>", "<x><rdf:Seq>\n</rdf:Seq><hist/></x>"}) {
        Doc unchanged(doc);
        EXPECT_EQ(ZqXmlU_AddHistoryEntry(unchanged.p, Text("hist"), nullptr, Text("<e/>")), 1);
        EXPECT_STREQ(unchanged.p, doc);
    }
}

TEST(FixParam, ShorterEqualLongerAbsentAndUnclosed) {
    const struct {
        const char* name;
        std::string doc;
        const char* value;
        const char* anchor;
        int result;
        std::string after;
    } cases[] = {
        {"shorter", "<r><p a='1'>abcd</p></r>", "xy", nullptr, 0, "<r><p a='1'  >xy</p></r>"},
        {"equal", "<r><p a='1'>abcd</p></r>", "wxyz", nullptr, 0, "<r><p a='1'>wxyz</p></r>"},
        {"longer", "<r><p a='1'>abcd</p></r>", "uvwxyz", nullptr, 0, "<r><p b='2'>uvwxyz</p></r>"},
        {"longer at index 0", "<p>a</p><q/>", "abc", nullptr, 0, "<p b='2'>abc</p><q/>"},
        {"name delimiters", "<r><px>1</px><p\n>1</p></r>", "", nullptr, 0,
         "<r><px>1</px><p\n ></p></r>"},
        {"default anchor", "<r>" + kExifAnchor + "</rdf:Description></r>", "v", nullptr, 0,
         "<r>" + kExifAnchor + "<p b='2'>v</p></rdf:Description></r>"},
        {"given anchor", "<r><s k='>'>z</s></r>", "v", "<s", 0,
         "<r><s k='>'><p b='2'>v</p>z</s></r>"},
        {"no anchor", "<r><s/></r>", "v", nullptr, 0, "<r><s/></r>"},
        {"unclosed", "<r><p a='1'>abcd</r>", "xy", nullptr, 3, "<r><p a='1'>abcd</r>"},
    };
    for (const auto& c : cases) {
        Doc d(c.doc);
        EXPECT_EQ(ZqXmlU_FixParam(d.p, Text("p"), Text("b='2'"), Text(c.value),
                                  c.anchor ? Text(c.anchor).get() : nullptr),
                  c.result)
            << c.name;
        EXPECT_EQ(std::string(d.p), c.after) << c.name;
    }
}

TEST(FixParam, LongValuesAndNamesAreWhole) {
    const std::string value(5000, 'v'), attributes = "a='" + std::string(400, 'x') + "'";
    Doc d("<r>" + kExifAnchor + "</rdf:Description></r>");
    EXPECT_EQ(ZqXmlU_FixParam(d.p, Text("p"), Text(attributes), Text(value), nullptr), 0);
    EXPECT_EQ(std::string(d.p), "<r>" + kExifAnchor + "<p " + attributes + ">" + value +
                                    "</p></rdf:Description></r>");
}

TEST(NeedsBinhex, EncodesTheDeEscapedBytesWithTheirNul) {
    char out[64] = {};
    EXPECT_EQ(ZqXmlU_NeedsBinhex(Text("a&amp;b"), out), 1);
    EXPECT_STREQ(out, "YSZiAA=");
    EXPECT_EQ(ZqXmlU_NeedsBinhex(Text("a&amp;b"), nullptr), 1);

    const std::string longText(3000, 'A');  // beyond the local work area
    std::vector<char> big(4 * 1001 + 2);
    EXPECT_EQ(ZqXmlU_NeedsBinhex(Text(longText), big.data()), 1);
    EXPECT_EQ(std::strlen(big.data()), 4 * 1000 + 3u);  // 3001 bytes: 1000 groups, 2 chars, "="
    EXPECT_EQ(std::string(big.data()).substr(0, 4), "QUFB");
}

TEST(Regions, CraftAndCarryThroughACrop) {
    double* r = ZqXmlU_CraftRectangleSubregion(200, 50, 20, 150, 100, zqtest::Tag());
    const double crafted[8] = {8, 1, 200, -1, 0.25, 0.1, 0.75, 0.5};
    for (int i = 0; i < 8; ++i)
        EXPECT_DOUBLE_EQ(r[i], crafted[i]) << i;
    double* outside = ZqXmlU_CraftRectangleSubregion(10, 7, 1, 9, 3, zqtest::Tag());
    double* touching = ZqXmlU_CraftRectangleSubregion(10, 0, 0, 2, 5, zqtest::Tag());

    ZQ_KWLIST_STRUCT_T regions{}, out{};
    for (double* region : {outside, r, touching})
        ZqXmlU_ModifyKwList(&regions, reinterpret_cast<uintptr_t>(region), 0, 5, zqtest::Tag());
    double crop[4] = {0.2, 0.0, 0.6, 1.0};
    EXPECT_EQ(ZqXmlU_AdjustRegions(0.0, crop, &regions, &out), 0);
    const double clipped[4] = {0.125, 0.25, 1.0, 1.25};
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(r[4 + i], clipped[i], 1e-12) << i;
    ASSERT_EQ(out.count, 2);
    EXPECT_EQ(out.keys[0], 0u);
    EXPECT_EQ(out.keys[1], 2u);
    EXPECT_DOUBLE_EQ(outside[4], 0.7);
    EXPECT_EQ(regions.count, 3);
    ZqXmlU_FreeKwList(&out);
    ZqXmlU_FreeKwAllocList(&regions);
}

std::u16string U16(const std::string& s) {
    return std::u16string(s.begin(), s.end());  // ASCII test paths
}

std::string Sidecar(const std::string& path) {
    zqtest::Block<char> a;
    ZqXmlU_GetSidecarNameA(Text(path), a.p);
    zqtest::Block<ZqWChar> w;
    std::u16string wide = U16(path);
    ZqXmlU_GetSidecarNameW(wide.data(), w.p);
    EXPECT_EQ(a.p == nullptr, w.p == nullptr) << path;
    if (!a.p || !w.p) return "NULL";
    EXPECT_EQ(U16(a.p), std::u16string(w.p)) << path;
    return a.p;
}

std::string Shrunk(const std::string& path) {
    zqtest::Block<ZqWChar> w;
    std::u16string wide = U16(path);
    ZqXmlU_GetShrunkNameW(wide.data(), w.p);
    if (!w.p) return "NULL";
    std::string out;
    for (const ZqWChar* p = w.p; *p; ++p)
        out += static_cast<char>(*p);
    return out;
}

TEST(FileNames, SidecarAndShrunkNames) {
    const std::string longFolder = "C:\\" + std::string(300, 'f') + "\\";
    const struct {
        std::string path, sidecar, shrunk;
    } cases[] = {
        {"C:\\Pictures\\IMG_0042.JPG", "C:\\Pictures\\.IMG_0042.zqJPG",
         "C:\\Pictures\\s_IMG_0042.JPG"},
        {"C:\\a\\b.c", "C:\\a\\.b.zqc", "C:\\a\\s_b.c"},
        {"C:\\x\\p.abcdefghi", "C:\\x\\.p.zqabcdefghi", "C:\\x\\s_p.abcdefghi"},
        {"C:\\x\\p.abcdefghij", "NULL", "NULL"},
        {"C:\\p\\a.b.jpg", "C:\\p\\.a.b.zqjpg", "C:\\p\\s_a.b.jpg"},
        {"C:\\p\\.jpg", "C:\\p\\..zqjpg", "C:\\p\\s_.jpg"},
        {"IMG.jpg", "NULL", "NULL"},
        {"\\IMG.jpg", "NULL", "\\s_IMG.jpg"},
        {"C:\\Pictures\\", "NULL", "NULL"},
        {"C:\\a.b\\noext", "NULL", "NULL"},
        {"C:\\a\\b.", "NULL", "NULL"},
        {"", "NULL", "NULL"},
        {longFolder + "x.jpg", longFolder + ".x.zqjpg", longFolder + "s_x.jpg"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Sidecar(c.path), c.sidecar) << c.path;
        EXPECT_EQ(Shrunk(c.path), c.shrunk) << c.path;
    }
}

struct TempFolder {
    TempFolder() {
        char tmpl[] = "/tmp/zqmeta-XXXXXX";
        path = mkdtemp(tmpl);
    }
    ~TempFolder() { std::filesystem::remove_all(path); }
    void Touch(const std::string& name) const {
        std::FILE* f = std::fopen((path + "/" + name).c_str(), "w");
        if (f) std::fclose(f);
    }
    std::string path;
};

std::string Backslashed(std::string p) {
    for (char& c : p)
        if (c == '/') c = '\\';
    return p;
}

TEST(FileNames, ShrunkCounterSkipsExistingCopies) {
    TempFolder dir;
    const std::string image = Backslashed(dir.path + "/IMG_0042.JPG");
    const std::string folder = Backslashed(dir.path + "/");
    EXPECT_EQ(Shrunk(image), folder + "s_IMG_0042.JPG");
    dir.Touch("s_IMG_0042.JPG");
    dir.Touch("s_IMG_0042_1.JPG");
    EXPECT_EQ(Shrunk(image), folder + "s_IMG_0042_2.JPG");
    dir.Touch("s_IMG_0042_3.JPG");  // a gap is taken first
    EXPECT_EQ(Shrunk(image), folder + "s_IMG_0042_2.JPG");

    std::u16string present = U16(folder + "s_IMG_0042.JPG");
    EXPECT_TRUE(zq::CanOpenForReading(present.data()));
    std::u16string absent = U16(folder + "none");
    EXPECT_FALSE(zq::CanOpenForReading(absent.data()));
    EXPECT_FALSE(zq::CanOpenForReading(nullptr));
}

#ifdef ZQ_TOOL
const std::string kTool = ZQ_TOOL;

TEST(MetadataTool, Subcommands) {
    auto xmp = zqtest::Run(kTool + " xmp " ZQ_SOURCE_DIR "/examples/labels.xml");
    EXPECT_EQ(xmp.status, 0) << xmp.err;
    EXPECT_EQ(xmp.out, zqtest::ReadFile(ZQ_TEST_DATA "/metadata/labels.xmp"));
    EXPECT_EQ(zqtest::Run(kTool + " xmp", "<Labels>").status, 1);

    const struct {
        std::string args, input, out;
    } cases[] = {
        {"history add h '<rdf:li>b</rdf:li>'", "<h><rdf:Seq>\n<rdf:li>a</rdf:li>\n</rdf:Seq></h>",
         "<h><rdf:Seq>\n<rdf:li>a</rdf:li><rdf:li>b</rdf:li>\n</rdf:Seq></h>"},
        {"param set p xy -", "<r><p a='1'>abcd</p></r>", "<r><p a='1'  >xy</p></r>"},
        {"param set p v --attributes \"k='1'\" --anchor '<r'", "<r></r>", "<r><p k='1'>v</p></r>"},
        {"binhex 'a&amp;b'", "", "YSZiAA=\n"},
        {"sidecar 'C:\\a\\b.c'", "", "C:\\a\\.b.zqc\n"},
        {"shrunk 'C:\\no\\such\\b.c'", "", "C:\\no\\such\\s_b.c\n"},
        {"compartment photoshop", "", "6\n"},
        {"next-name Name9", "", "Name10\n"},
        {"next-name Name9 --size 6", "", "Nam10\n"},
    };
    for (const auto& c : cases) {
        auto r = zqtest::Run(kTool + " " + c.args, c.input);
        EXPECT_EQ(r.status, 0) << c.args << ": " << r.err;
        EXPECT_EQ(r.out, c.out) << c.args;
    }
    for (const char* args :
         {"history add h e", "param set p v", "sidecar noslash.jpg", "shrunk noext"}) {
        EXPECT_EQ(zqtest::Run(kTool + " " + args, "<r><p>").status, 1) << args;
    }
    EXPECT_EQ(zqtest::Run(kTool + " next-name x --size 0").status, 2);
}
#endif

}  // namespace
