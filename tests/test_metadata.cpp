// Metadata documents and file names: label documents to XMP packets, the label walk, numbered
// names, history entries and parameters, regions, sidecar and shrunk names, and the subcommands.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "platform/file.h"
#include "support.h"
#include "zqxmlu.h"

namespace {

using zqtest::Text;

// Each "\n" of `text` as CR LF, or (toLf) each CR LF as "\n".
std::string LineEnds(const std::string& text, bool toLf) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (!toLf && text[i] == '\n') out += '\r';
        if (!toLf || text.compare(i, 2, "\r\n") != 0) out += text[i];
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
    // What the growth gained past the text is zero, as in a fresh buffer.
    for (int i = sink.length; i < sink.capacity; ++i)
        if (sink.buffer[i] != '\0') ADD_FAILURE() << "byte " << i << " of " << sink.capacity;
    ZqXmlU_xml_free(sink.buffer);
    return out;
}

// The bag lines of the packet of <Labels> + body + </Labels>, with CR LF line ends.
std::string Bag(const std::string& body) {
    const std::string packet = Packet(LineEnds("<Labels>\n" + body + "</Labels>\n", false));
    const size_t a = packet.find("<rdf:Bag>\n"), b = packet.find("</rdf:Bag>");
    return a == std::string::npos ? "<no packet>" : packet.substr(a + 10, b - a - 10);
}

const std::string kAnimals =
    "<Word title=\"KeywordRoot\">\n<Word title=\"Animals\">\n<Word title=\"Cat\"></Word>\n"
    "</Word>\n<Word title=\"Dog\"></Word>\n</Word>\n";
const std::string kPeople = "<Word title=\"PeopleRoot\">\n<Word title=\"Ann\"></Word>\n</Word>\n";

TEST(Compartments, NumbersAndCopies) {
    for (const auto& [name, number] : {std::pair{"photoshop", 6}, {"none", 8}, {"EXIF", 0}})
        EXPECT_EQ(ZqXmlU_WhichCompartment(Text(name)), number) << name;
    ZQ_XML_STRUCT_T sink{};
    ZqXmlU_xml_sprintf(&sink, "<a/>");
    char* copy = nullptr;
    ZqXmlU_SplitCompartments(&sink, &copy, nullptr);
    EXPECT_STREQ(copy, "<a/>");
    EXPECT_TRUE(copy != sink.buffer && ZqXmlU_xml_free(copy));
    // The length counts only as far as the buffer records; a stream sink, or one that cannot be
    // read, gives no copy.
    std::memset(sink.buffer, 'x', 4099);  // no NUL within the buffer
    sink.length = 1 << 30;
    ZqXmlU_SplitCompartments(&sink, &copy, nullptr);
    EXPECT_EQ(copy ? std::strlen(copy) : 0, 4099u);
    ZqXmlU_xml_free(copy);
    for (int broken : {0, 1}) {
        ZQ_XML_STRUCT_T odd = sink;
        if (broken)
            odd.length = -1;
        else
            odd.file = stdout;
        ZqXmlU_SplitCompartments(&odd, &copy, nullptr);
        EXPECT_EQ(copy, nullptr);
    }
    ZqXmlU_xml_free(sink.buffer);
}

TEST(MakeMsdisXml, ExamplePacketWhole) {
    const std::string labels = zqtest::ReadFile(ZQ_SOURCE_DIR "/examples/labels.xml");
    ASSERT_FALSE(labels.empty());
    EXPECT_EQ(Packet(labels),
              LineEnds(zqtest::ReadFile(ZQ_TEST_DATA "/metadata/labels.xmp"), true));
}

TEST(MakeMsdisXml, RootsInDocumentOrderAsOftenAsTheyOccur) {
    const std::string cat = "<rdf:li>Animals/Cat</rdf:li>\n<rdf:li>Dog</rdf:li>\n";
    const std::string ann = "<rdf:li>People/Ann</rdf:li>\n";
    const std::pair<std::string, std::string> cases[] = {
        {kPeople + kAnimals, ann + cat},
        {kPeople + kPeople, ann + ann},
        {"<Word title=\"EventRoot\"></Word>\n<Word title=\"SyncRoot\">\n</Word>\n", ""},
        {"<Word title=\"LocationRoot\">\n<Word title=\"SyncRoot\">\n<Word title=\"x\"></Word>\n"
         "</Word>\n</Word>\n",
         "<rdf:li>Places/SyncRoot/x</rdf:li>\n<rdf:li>Sync/x</rdf:li>\n"},
        {"<Word title=\"EventRoot\">\n<Word title=\"SyncRoot\">\n<Word title=\"a\"></Word>\n"
         "junk</Word>\n</Word>\n",
         "<rdf:li>Events/SyncRoot/a</rdf:li>\n<rdf:li>Sync/a</rdf:li>\n"},
        {"<Word title=\"SyncRoot\">\n<Word title=\"PeopleRoot\">\njunk</Word>\n</Word>\n" +
             kAnimals,
         cat},
        {"<Word title=\"EventRoot\">\n<Word title=\"Say \"hi\"\"></Word>\n</Word>\n",
         "<rdf:li>Events/Say \"hi\"</rdf:li>\n"},
        {"<Word title=\"SyncRoot\">\n<Word title=\"a&b<c\"></Word>\n</Word>\n",
         "<rdf:li>Sync/a&b<c</rdf:li>\n"},
        {"<Word title=\"KeywordRoot\">\n<Word title=\"a\"></Word>\n<Word id=\"1\"></Word>\n"
         "<Word title=\"b\"></Word>\n</Word>\n" +
             kPeople,
         "<rdf:li>a</rdf:li>\n" + ann},
        // Roots nested in roots, three deep: each root's lines, in the order the roots begin.
        {"<Word title=\"KeywordRoot\"><Word title=\"PeopleRoot\"><Word title=\"p\"></Word>"
         "<Word title=\"SyncRoot\"><Word title=\"x\"></Word></Word><Word title=\"q\"></Word>"
         "</Word></Word>\n",
         "<rdf:li>PeopleRoot/p</rdf:li>\n<rdf:li>PeopleRoot/SyncRoot/x</rdf:li>\n"
         "<rdf:li>PeopleRoot/q</rdf:li>\n<rdf:li>People/p</rdf:li>\n"
         "<rdf:li>People/SyncRoot/x</rdf:li>\n<rdf:li>People/q</rdf:li>\n<rdf:li>Sync/x</"
         "rdf:li>\n"},
        // A nested root that is a leaf gives no line of its own; a nested keyword root drops the
        // leading "/" of its paths, an empty one stays empty.
        {"<Word title=\"EventRoot\"><Word title=\"KeywordRoot\"></Word><Word title=\"SyncRoot\">"
         "<Word title=\"KeywordRoot\"><Word title=\"\"></Word></Word></Word></Word>\n",
         "<rdf:li>Events/KeywordRoot</rdf:li>\n<rdf:li>Events/SyncRoot/KeywordRoot</rdf:li>\n"
         "<rdf:li>Sync/KeywordRoot</rdf:li>\n<rdf:li></rdf:li>\n"},
        // A root whose start tag sits inside another label's start tag.
        {"<Word title=\"EventRoot\"><Word <Word title=\"SyncRoot\"><Word title=\"x\"></Word>"
         "</Word></Word>\n",
         "<rdf:li>Events/SyncRoot/x</rdf:li>\n<rdf:li>Sync/x</rdf:li>\n"},
    };
    for (const auto& [body, bag] : cases)
        EXPECT_EQ(Bag(body), bag) << body;
    // A title left open at the text's end, with a quote and a leaf's tail among the bytes the
    // line ends freed after the NUL (for every alignment of the NUL): the title is not closed.
    for (size_t pad = 0; pad < 8; ++pad) {
        const std::string body = "<Word title=\"EventRoot\">\n<Word title=\"x\"></Word>" +
                                 std::string(12, '\n') + "<Word title=\"" + std::string(pad, 'o') +
                                 "\r\"></Word>\n</Word>\n";
        EXPECT_EQ(Bag(body), "<rdf:li>Events/x</rdf:li>\n") << pad;
    }
}

TEST(MakeMsdisXml, BrokenDocumentsWriteNothingButAreCleanedUp) {
    for (const std::string& doc :
         {std::string(""), "<Labels>\r\n" + kPeople, kPeople + "</Labels>\r\n", std::string("\r")})
        EXPECT_EQ(Packet(doc), "") << doc;
    Text doc("<Labels>\r\n<x a=\"1\" b=\"c\"d>\r\n");
    ZQ_XML_STRUCT_T sink{};
    ZqXmlU_MakeMsdisXml(doc, &sink);
    EXPECT_STREQ(doc.get(),
                 "<Labels><x a=\"1\x01 b=\"c\x01"
                 "d>");
    EXPECT_EQ(sink.buffer, nullptr);
}

// The clean-up of a label document: line ends drop with the character after them wherever they
// fall in the vector blocks (runs of line ends, a follower that starts the next block, a line end
// that closes the text), and stray quotes are marked however the text is taken in parts.
TEST(MakeMsdisXml, CleanUpAtEveryOffset) {
    auto reference = [](const std::string& text) {
        std::string out;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] != '\r' && text[i] != '\n') {
                out += text[i];
            } else {
                ++i;  // the follower (none after the last character)
            }
        }
        for (size_t i = 0; i < out.size(); ++i) {
            if (out[i] == '"' && !(i > 0 && out[i - 1] == '=') && out.compare(i + 1, 2, "><") != 0)
                out[i] = '\x01';
        }
        return out;
    };
    auto check = [&](const std::string& text) {
        Text doc(text);
        ZQ_XML_STRUCT_T sink{};
        ZqXmlU_MakeMsdisXml(doc, &sink);  // no "</Labels>": only the clean-up
        return std::string(doc.get()) == reference(text);
    };
    for (const char* ends : {"\r\n", "\r\r\n", "\n\n\n", "\r", "\n\r\n\r", "\r\nx\r\n"}) {
        for (size_t pad = 0; pad < 140; ++pad) {
            for (const char* tail : {"", "ab\r\ncd"}) {
                const std::string text = "<Labels>" + std::string(pad, 'o') + ends + tail;
                ASSERT_TRUE(check(text)) << pad << " " << tail;
            }
        }
    }
    // Quotes of every kind, dense, line ends between them, over many stretches of the text.
    const char* const pieces[] = {"\"", "=\"", "\"><", "\r\n", "\"\r\n><", "x", "\n\"", ">"};
    std::string text = "<Labels>";
    for (uint32_t i = 1; text.size() < 200000; ++i)
        text += pieces[(i * 2654435761u) >> 29];
    EXPECT_TRUE(check(text));
}

// A packet the sink cannot take whole is no packet: the sink gets its earlier text back (a sink
// that had no buffer has none again). The bag (about 40 MB) outgrows the heap left to the child.
void PacketsUnderALowHeap() {
    std::string labels = "<Labels><Word title=\"KeywordRoot\">";
    for (int i = 0; i < 200; ++i)
        labels += "<Word title=\"" + std::string(40, 'd') + "\">";
    for (int i = 0; i < 5000; ++i)
        labels += "<Word title=\"leaf\"></Word>";
    for (int i = 0; i < 201; ++i)
        labels += "</Word>";
    labels += "</Labels>";
    ZQ_XML_STRUCT_T kept{}, empty{};
    ZqXmlU_xml_sprintf(&kept, "keep");
    const int capacity = kept.capacity;
    zqtest::LimitHeap(24u << 20);
    for (ZQ_XML_STRUCT_T* sink : {&kept, &empty}) {
        Text doc(labels);
        ZqXmlU_MakeMsdisXml(doc, sink);
    }
    const bool restored =
        kept.length == 4 && std::strcmp(kept.buffer, "keep") == 0 && kept.capacity >= capacity;
    std::_Exit(restored && !empty.buffer && !empty.length && !empty.capacity ? 0 : 2);
}

TEST(MakeMsdisXmlDeathTest, AFailedWriteLeavesNoCutPacket) {
    if (!zqtest::CanLimitHeap())
        GTEST_SKIP() << "no way to hold the heap of a 64-bit Windows process";
    EXPECT_EXIT(PacketsUnderALowHeap(), testing::ExitedWithCode(0), "");
}

// Hostile callers of the metadata exports: sinks that cannot be written get nothing, documents
// ending at an inaccessible page are read no further than their NUL.
TEST(Hostile, LabelPacketsForUnwritableSinksAndTextsAtAPage) {
    const std::string doc = LineEnds("<Labels>\n" + kPeople + "</Labels>\n", false);
    ASSERT_FALSE(Packet(doc).empty());  // a sound sink gets a packet
    void* block = ZqXmlU_Calloc(64, 1, zqtest::Tag());
    ZQ_XML_STRUCT_T foreign{nullptr, static_cast<char*>(block), 2, 64, 0, 0, 0, nullptr};
    ZQ_XML_STRUCT_T negative{};
    negative.length = -1;
    for (ZQ_XML_STRUCT_T* sink : {&foreign, &negative}) {
        const ZQ_XML_STRUCT_T before = *sink;
        ZqXmlU_MakeMsdisXml(Text(doc), sink);
        EXPECT_EQ(std::memcmp(sink, &before, sizeof before), 0);
    }
    ZqXmlU_Free(&block);
    for (const std::string& text :
         {doc, doc + "\r", std::string("<Labels><Word title=\"SyncRoot\"></Labels>")}) {
        zqtest::PageEnd edge(text);
        ZQ_XML_STRUCT_T sink{};
        ZqXmlU_MakeMsdisXml(edge, &sink);
        ASSERT_NE(sink.buffer, nullptr) << text;  // a packet, its bag empty for the last
        EXPECT_EQ(std::string(sink.buffer).substr(static_cast<size_t>(sink.length) - 23),
                  "</rdf:RDF></x:xmpmeta>\n");
        ZqXmlU_xml_free(sink.buffer);
        char path[16] = "";
        ZQ_KWLIST_STRUCT_T list{};
        zqtest::PageEnd label(text.substr(8));
        ZqXmlU_ProcessExtractablePaths(label, &list, 1, path, sizeof path, 1);
        ZqXmlU_FreeKwAllocList(&list);
    }
    ZqXmlU_MakeMsdisXml(nullptr, nullptr);
}

TEST(MakeMsdisXml, DeepDocumentsNeitherExhaustTheStackNorTakeQuadraticTime) {
    constexpr int kDepth = 100000;
    std::string doc = "<Word title=\"KeywordRoot\">", path;
    for (int i = 0; i < kDepth; ++i, path += "d/")
        doc += "<Word title=\"d\">";
    doc += "<Word title=\"leaf\"></Word>";
    for (int i = 0; i <= kDepth; ++i)
        doc += "</Word>";
    EXPECT_EQ(Bag(doc), "<rdf:li>" + path + "leaf</rdf:li>\n");
    std::string roots;  // unclosed roots nested in roots: each would walk all the others
    for (int i = 0; i < kDepth; ++i)
        roots += "<Word title=\"SyncRoot\">";
    EXPECT_EQ(Bag(roots), "");
    // Nested roots with a leaf and a wide tail of labels without leaves ("a=" is a title whose
    // closing quote follows '='): walking each root on its own would pass the tail once per
    // root; their lines are the packet, the tail is walked once.
    std::string nested;
    for (int i = 0; i < 500; ++i)
        nested += "<Word title=\"SyncRoot\">";
    nested += "<Word title=\"z\"></Word>";
    for (int i = 0; i < 100000; ++i)
        nested += "<Word title=\"a=\"x</Word></Word>";
    const std::string bag = Bag(nested);
    EXPECT_EQ(std::count(bag.begin(), bag.end(), '\n'), 500);
    EXPECT_EQ(bag.substr(bag.size() - 24), "<rdf:li>Sync/z</rdf:li>\n");
}

TEST(ProcessExtractablePaths, ResultsPathsAndPathBuffer) {
    const std::tuple<const char*, int, int, std::vector<std::string>, const char*> cases[] = {
        // clang-format off
        {"</Word><x>", 0, 7, {}, "/p"},
        {"<Word id=\"1\" title=\"x\"></Word>", 0, -1, {}, "/p"},
        {"Word title=\"x\"></Word>", 0, -1, {}, "/p"},
        {"<Word title=\"x></Word>", 0, -1, {}, "/p"},
        {"<Word title=\"x\"></Word>tail", 0, 23, {"/p/x"}, "/p"},
        {"<Word title=\"x\"></Word>", 1, 23, {}, "/p"},
        {"<Word title=\"\"></Word>", 0, 22, {"/p"}, "/p"},
        {"<Word title=\"a\"><Word title=\"b\"></Word><Word title=\"c\"><Word title=\"d\"></Word>"
         "</Word></Word>!", 0, 92, {"/p/a/b", "/p/a/c/d"}, "/p"},
        {"<Word title=\"R\"><Word title=\"b\"></Word></Word>", 1, 46, {"/p/b"}, "/p"},
        {"<Word title=\"a\"><Word title=\"b\"></Word>junk</Word>", 0, 39, {"/p/a/b"}, "/p/a"},
        {"<Word title=\"a\1b\"></Word>", 0, 25, {"/p/a\"b"}, "/p"},
        // clang-format on
    };
    for (const auto& [text, isRoot, result, expected, pathAfter] : cases) {
        ZQ_KWLIST_STRUCT_T list{};
        char path[64] = "/p";
        EXPECT_EQ(ZqXmlU_ProcessExtractablePaths(Text(text), &list, 3, path, 64, isRoot), result)
            << text;
        std::vector<std::string> paths;
        for (int i = 0; i < list.count; ++i) {
            paths.emplace_back(reinterpret_cast<char*>(list.keys[i]));
            EXPECT_EQ(list.values[i], 3u);
        }
        EXPECT_EQ(paths, expected) << text;
        EXPECT_STREQ(path, pathAfter) << text;
        ZqXmlU_FreeKwAllocList(&list);
    }
    // A leaf's title goes onto the buffer and is cut off again, with a list or without one.
    for (const bool withList : {true, false}) {
        ZQ_KWLIST_STRUCT_T list{};
        char path[8] = "/p";
        ZqXmlU_ProcessExtractablePaths(Text("<Word title=\"x\"></Word>"),
                                       withList ? &list : nullptr, 1, path, 8, 0);
        EXPECT_EQ(std::string(path, 5), std::string("/p\0x\0", 5)) << withList;
        ZqXmlU_FreeKwAllocList(&list);
    }
    // An unsound list is left alone: -1, nothing walked.
    uintptr_t word = 0;
    for (ZQ_KWLIST_STRUCT_T bad : {ZQ_KWLIST_STRUCT_T{1, 0, 0, &word, &word},
                                   ZQ_KWLIST_STRUCT_T{0, 5, 0, nullptr, nullptr}}) {
        const ZQ_KWLIST_STRUCT_T before = bad;
        char path[8] = "";
        EXPECT_EQ(
            ZqXmlU_ProcessExtractablePaths(Text("<Word title=\"x\"></Word>"), &bad, 1, path, 8, 0),
            -1);
        EXPECT_EQ(std::memcmp(&bad, &before, sizeof bad), 0);
    }
}

TEST(ProcessExtractablePaths, PathIsCutAtItsSize) {
    for (int size = 0; size <= 9; ++size) {
        std::string path(16, '#');
        path[0] = '\0';
        ZQ_KWLIST_STRUCT_T list{};
        EXPECT_EQ(ZqXmlU_ProcessExtractablePaths(
                      Text("<Word title=\"abc\"><Word title=\"def\"></Word></Word>"), &list, 1,
                      path.data(), size, 0),
                  50);
        EXPECT_EQ(path.substr(std::max(size, 1)), std::string(16 - std::max(size, 1), '#'));
        ASSERT_EQ(list.count, 1);
        EXPECT_EQ(reinterpret_cast<char*>(list.keys[0]),
                  std::string("/abc/def").substr(0, std::max(size - 1, 0)));
        ZqXmlU_FreeKwAllocList(&list);
    }
}

TEST(IncrementKeywordName, NextNamesFitAndDiffer) {
    const std::tuple<const char*, int, const char*> cases[] = {
        // clang-format off
        {"Keyword", 65, "Keyword2"}, {"Keyword2", 65, "Keyword3"}, {"Name19", 65, "Name20"},
        {"7", 65, "72"},             {"199", 65, "1100"},          {"Name9", 65, "Name10"},
        {"Name99", 8, "Name100"},    {"Name99", 7, "Nam100"},      {"\xC3\xA9\x39", 4, "10"},
        {"Keyword", 8, "Keywor2"},   {"Caf\xC3\xA9", 6, "Caf2"},  {"Longer", 4, "Lo2"},
        {"2", 2, "3"},               {"", 1, ""},
        // clang-format on
    };
    for (const auto& [name, size, next] : cases) {
        std::string out(static_cast<size_t>(size) + 8, '#');
        ZqXmlU_IncrementKeywordName(Text(name), out.data(), size);
        EXPECT_STREQ(out.c_str(), next) << name << " in " << size;
        EXPECT_EQ(out.substr(static_cast<size_t>(size)), "########") << name;
        std::string same = name;
        same.resize(std::max(same.size() + 1, static_cast<size_t>(size)));
        ZqXmlU_IncrementKeywordName(same.data(), same.data(), size);
        EXPECT_STREQ(same.c_str(), next) << "in place: " << name;
    }
}

// A shared XML string holding `text`.
struct Doc {
    explicit Doc(const std::string& text) {
        p = static_cast<char*>(ZqXmlU_xml_alloc(static_cast<unsigned>(text.size() + 1), nullptr));
        text.copy(p, text.size());
    }
    ~Doc() { ZqXmlU_xml_free(p); }
    char* p;
};

const std::string kExif =
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
        Doc same(doc);
        EXPECT_EQ(ZqXmlU_AddHistoryEntry(same.p, Text("hist"), nullptr, Text("<e/>")), 1);
        EXPECT_STREQ(same.p, doc);
    }
}

// A document that cannot take an insertion (not a shared XML string: here a tagged block) is
// left as it was, and the edit is reported lost; edits in place still work on it.
TEST(Hostile, RefusedDocumentEditsAreReported) {
    const std::string doc = "<r><h><rdf:Seq>\n</rdf:Seq></h><p a='1'>abcd</p></r>";
    zqtest::Block<char> block;
    const auto fresh = [&] {
        ZqXmlU_Free(reinterpret_cast<void**>(&block.p));
        block.p = static_cast<char*>(ZqXmlU_Calloc(static_cast<int>(doc.size()) + 64, 1, nullptr));
        doc.copy(block.p, doc.size());
        return block.p;
    };
    char* d = fresh();
    EXPECT_EQ(ZqXmlU_AddHistoryEntry(d, Text("h"), nullptr, Text("<rdf:li>e</rdf:li>")), 1);
    EXPECT_EQ(d, block.p);
    for (const auto& [value, result, after] :
         std::vector<std::tuple<const char*, int, std::string>>{
             {"uvwxyz", -1, doc},  // grows: refused
             {"wxyz", 0, "<r><h><rdf:Seq>\n</rdf:Seq></h><p a='1'>wxyz</p></r>"},
             {"xy", 0, "<r><h><rdf:Seq>\n</rdf:Seq></h><p a='1'  >xy</p></r>"},
         }) {
        d = fresh();
        EXPECT_EQ(ZqXmlU_FixParam(d, Text("p"), Text("b"), Text(value), nullptr), result) << value;
        EXPECT_EQ(std::string(d), after);
    }
    d = fresh();
    EXPECT_EQ(ZqXmlU_FixParam(d, Text("q"), Text(""), Text("v"), Text("<r")), -1);  // absent
    EXPECT_EQ(std::string(d), doc);
    Doc shared("<r x='>");  // the anchor's tag is not closed
    EXPECT_EQ(ZqXmlU_FixParam(shared.p, Text("q"), Text(""), Text("v"), Text("<r")), -1);
}

TEST(FixParam, ShorterEqualLongerAbsentAndUnclosed) {
    const std::string big(5000, 'v'), attributes = "b='" + std::string(400, 'x') + "'";
    const std::tuple<std::string, std::string, std::string, const char*, int, std::string> cases[] =
        {
            {"<r><p a='1'>abcd</p></r>", "xy", "b='2'", nullptr, 0, "<r><p a='1'  >xy</p></r>"},
            {"<r><p a='1'>abcd</p></r>", "wxyz", "b='2'", nullptr, 0, "<r><p a='1'>wxyz</p></r>"},
            {"<r><p a='1'>abcd</p></r>", "uvwxyz", "b='2'", nullptr, 0,
             "<r><p b='2'>uvwxyz</p></r>"},
            {"<p>a</p><q/>", "abc", "b='2'", nullptr, 0, "<p b='2'>abc</p><q/>"},
            {"<r><px>1</px><p\n>1</p></r>", "", "", nullptr, 0, "<r><px>1</px><p\n ></p></r>"},
            {"<r>" + kExif + "</r>", "v", "", nullptr, 0, "<r>" + kExif + "<p >v</p></r>"},
            {"<r>" + kExif + "</r>", big, attributes, nullptr, 0,
             "<r>" + kExif + "<p " + attributes + ">" + big + "</p></r>"},
            {"<r><s k='>'>z</s></r>", "v", "b", "<s", 0, "<r><s k='>'><p b>v</p>z</s></r>"},
            {"<r><s/></r>", "v", "", nullptr, 0, "<r><s/></r>"},
            {"<r><p a='1'>abcd</r>", "xy", "", nullptr, 3, "<r><p a='1'>abcd</r>"},
        };
    for (const auto& [doc, value, attributes, anchor, result, after] : cases) {
        Doc d(doc);
        EXPECT_EQ(ZqXmlU_FixParam(d.p, Text("p"), Text(attributes), Text(value),
                                  anchor ? Text(anchor).get() : nullptr),
                  result)
            << doc;
        EXPECT_EQ(std::string(d.p), after) << doc;
    }
}

TEST(NeedsBinhex, EncodesTheDeEscapedBytesWithTheirNul) {
    std::string out(64, '\0'), big(4 * 1001 + 2, '\0');
    EXPECT_EQ(ZqXmlU_NeedsBinhex(Text("a&amp;b"), out.data()), 1);
    EXPECT_STREQ(out.c_str(), "YSZiAA=");
    EXPECT_EQ(ZqXmlU_NeedsBinhex(Text("a&amp;b"), nullptr), 1);
    EXPECT_EQ(ZqXmlU_NeedsBinhex(Text(std::string(3000, 'A')), big.data()), 1);  // on the heap
    std::string groups;
    for (int i = 0; i < 1000; ++i)
        groups += "QUFB";  // "AAA"
    EXPECT_EQ(big.c_str(), groups + "AA=");
}

TEST(Regions, CraftAndCarryThroughACrop) {
    double* r = ZqXmlU_CraftRectangleSubregion(200, 50, 20, 150, 100, zqtest::Tag());
    EXPECT_EQ(std::vector<double>(r, r + 8),
              (std::vector<double>{8, 1, 200, -1, 0.25, 0.1, 0.75, 0.5}));
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
    EXPECT_EQ(std::vector<uintptr_t>(out.keys, out.keys + out.count),
              (std::vector<uintptr_t>{0, 2}));
    EXPECT_EQ(outside[4], 0.7);
    // A crop of size 0/0 inside a region: 0 / 0 in every coordinate, without a trap.
    double point[4] = {0.5, 0.3, 0.5, 0.3};
    ZQ_KWLIST_STRUCT_T one{}, none{};
    double* big = ZqXmlU_CraftRectangleSubregion(4, 1, 0, 3, 2, zqtest::Tag());
    ZqXmlU_ModifyKwList(&one, reinterpret_cast<uintptr_t>(big), 0, 5, zqtest::Tag());
    ZqXmlU_AdjustRegions(0.0, point, &one, &none);
    EXPECT_TRUE(std::isnan(big[4]) && std::isnan(big[5]) && std::isnan(big[6]) &&
                std::isnan(big[7]) && none.count == 0);
    // Unsound lists, or one list for both: nothing clipped, nothing recorded.
    const std::vector<double> kept(big + 4, big + 8);
    uintptr_t word = 0;
    ZQ_KWLIST_STRUCT_T unsound{2, 1, 0, &word, &word};
    for (const auto& [in, outList] : {std::pair{&one, &unsound}, {&unsound, &none}, {&one, &one}}) {
        const ZQ_KWLIST_STRUCT_T a = *in, b = *outList;
        EXPECT_EQ(ZqXmlU_AdjustRegions(0.0, crop, in, outList), 0);
        EXPECT_TRUE(std::memcmp(in, &a, sizeof a) == 0 && std::memcmp(outList, &b, sizeof b) == 0);
    }
    EXPECT_TRUE(std::equal(kept.begin(), kept.end(), big + 4,
                           [](double x, double y) { return std::isnan(x) && std::isnan(y); }));
    ZqXmlU_FreeKwAllocList(&one);
    ZqXmlU_FreeKwList(&out);
    ZqXmlU_FreeKwAllocList(&regions);
}

// The sidecar name (A and W forms, which must agree) and the shrunk name of an ASCII path.
std::pair<std::string, std::string> Names(const std::string& path) {
    zqtest::Block<char> a;
    zqtest::Block<ZqWChar> w, s;
    zqtest::WString wide(path.begin(), path.end());
    ZqXmlU_GetSidecarNameA(Text(path), a.p);
    ZqXmlU_GetSidecarNameW(wide.data(), w.p);
    ZqXmlU_GetShrunkNameW(wide.data(), s.p);
    const std::string sidecar = a.p ? a.p : "NULL";
    EXPECT_EQ(w.p ? zqtest::U16(w.p) : u"NULL", std::u16string(sidecar.begin(), sidecar.end()));
    const std::u16string shrunk = s.p ? zqtest::U16(s.p) : u"NULL";
    return {sidecar, std::string(shrunk.begin(), shrunk.end())};
}

TEST(FileNames, SidecarAndShrunkNames) {
    const std::string f = "C:\\" + std::string(300, 'f') + "\\";  // past the local buffer
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {"C:\\a\\b.c", "C:\\a\\.b.zqc", "C:\\a\\s_b.c"},
        {"C:\\x\\p.abcdefghi", "C:\\x\\.p.zqabcdefghi", "C:\\x\\s_p.abcdefghi"},
        {"C:\\p\\a.b.jpg", "C:\\p\\.a.b.zqjpg", "C:\\p\\s_a.b.jpg"},
        {"C:\\p\\.jpg", "C:\\p\\..zqjpg", "C:\\p\\s_.jpg"},
        {"\\IMG.jpg", "NULL", "\\s_IMG.jpg"},
        {f + "x.jpg", f + ".x.zqjpg", f + "s_x.jpg"},
    };
    for (const auto& [path, sidecar, shrunk] : cases)
        EXPECT_EQ(Names(path), std::pair(sidecar, shrunk)) << path;
    for (const char* none :
         {"C:\\x\\p.abcdefghij", "IMG.jpg", "C:\\Pictures\\", "C:\\a.b\\noext", "C:\\a\\b.", ""})
        EXPECT_EQ(Names(none), std::pair(std::string("NULL"), std::string("NULL"))) << none;
}

TEST(FileNames, ShrunkCounterSkipsExistingCopies) {
    const zqtest::TempDir dir;
    const auto touch = [&](const char* name) {
        std::fclose(std::fopen((dir / name).c_str(), "w"));
    };
    std::string folder = dir / "";
    std::replace(folder.begin(), folder.end(), '/', '\\');
    EXPECT_EQ(Names(folder + "IMG_0042.JPG").second, folder + "s_IMG_0042.JPG");
    touch("s_IMG_0042.JPG");
    touch("s_IMG_0042_1.JPG");
    touch("s_IMG_0042_3.JPG");
    EXPECT_EQ(Names(folder + "IMG_0042.JPG").second, folder + "s_IMG_0042_2.JPG");
    for (const char* name :
         {"s_IMG_0042_2.JPG", "s_IMG_0042_4.JPG", "s_IMG_0042_5.JPG", "s_IMG_0042_6.JPG",
          "s_IMG_0042_7.JPG", "s_IMG_0042_8.JPG", "s_IMG_0042_9.JPG"})
        touch(name);
    EXPECT_EQ(Names(folder + "IMG_0042.JPG").second, folder + "s_IMG_0042_10.JPG");  // two digits
    zqtest::WString present(folder.begin(), folder.end()), absent = present + zqtest::W(u"none");
    present += zqtest::W(u"s_IMG_0042.JPG");
    EXPECT_TRUE(zq::CanOpenForReading(present.data()));
    EXPECT_FALSE(zq::CanOpenForReading(absent.data()) || zq::CanOpenForReading(nullptr));
}

#ifdef ZQ_TOOL
TEST(MetadataTool, Subcommands) {
    const std::string tool = std::string(ZQ_TOOL) + " ";
    auto xmp = zqtest::Run(tool + "xmp " ZQ_SOURCE_DIR "/examples/labels.xml");
    EXPECT_EQ(xmp.out, zqtest::ReadFile(ZQ_TEST_DATA "/metadata/labels.xmp")) << xmp.err;
    const std::tuple<std::string, std::string, std::string, int> cases[] = {
        {"history add h '<rdf:li>b</rdf:li>'", "<h><rdf:Seq>\n<rdf:li>a</rdf:li>\n</rdf:Seq></h>",
         "<h><rdf:Seq>\n<rdf:li>a</rdf:li><rdf:li>b</rdf:li>\n</rdf:Seq></h>", 0},
        {"param set p xy -", "<r><p a='1'>abcd</p></r>", "<r><p a='1'  >xy</p></r>", 0},
        {"param set p v --attributes \"k='1'\" --anchor '<r'", "<r></r>", "<r><p k='1'>v</p></r>",
         0},
        {"binhex 'a&amp;b'", "", "YSZiAA=\n", 0},
        {"sidecar 'C:\\a\\b.c'", "", "C:\\a\\.b.zqc\n", 0},
        {"shrunk 'C:\\no\\such\\b.c'", "", "C:\\no\\such\\s_b.c\n", 0},
        {"compartment photoshop", "", "6\n", 0},
        {"next-name Name9 --size 6", "", "Nam10\n", 0},
        {"xmp", "<Labels>", "", 1},
        {"history add h e", "<r><p>", "", 1},
        {"param set p v", "<r><p>", "", 1},
        {"sidecar noslash.jpg", "", "", 1},
        {"shrunk noext", "", "", 1},
        {"next-name x --size 0", "", "", 2},
    };
    for (const auto& [args, input, out, status] : cases) {
        auto r = zqtest::Run(tool + args, input);
        EXPECT_EQ(r.status, status) << args << ": " << r.err;
        EXPECT_EQ(r.out, out) << args;
    }
}
#endif

}  // namespace
