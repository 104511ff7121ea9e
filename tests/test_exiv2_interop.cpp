// Exiv2's XMP parser reads back every kind of document the library writes or edits (keyword
// packets, history entries, parameters, authenticators), and the library's element readers,
// de-escaping and date parser read the sidecars Exiv2 writes. Where Exiv2 reads a document
// otherwise than the library's contract means it, the case says so and holds to the contract.
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <exiv2/exiv2.hpp>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "support.h"
#include "zqxmlu.h"

namespace {

using zqtest::Text;

constexpr char kIptcCore[] = "http://iptc.org/std/Iptc4xmpCore/1.0/xmlns/";
constexpr char kExifNs[] = "http://ns.zq.example/xml/z/q/in/zqinc/exif_01_001.zqtv";

// Exiv2's XMP toolkit is set up once for the program; its messages are muted, the cases look at
// its results.
class Exiv2Environment : public ::testing::Environment {
  public:
    void SetUp() override {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::XmpParser::initialize();
    }
    void TearDown() override { Exiv2::XmpParser::terminate(); }
};
[[maybe_unused]] ::testing::Environment* const kExiv2 =
    ::testing::AddGlobalTestEnvironment(new Exiv2Environment);

// Exiv2's reading of a packet: every property (qualifiers and structure fields included) by key.
// Namespaces registered by an earlier packet are forgotten first. Empty with ok false when Exiv2
// refuses the packet.
struct Reading {
    bool ok = false;
    Exiv2::XmpData data;
    std::map<std::string, std::string> values;
};
Reading Decode(const std::string& packet) {
    Exiv2::XmpProperties::unregisterNs();
    Reading r;
    r.ok = Exiv2::XmpParser::decode(r.data, packet) == 0;
    for (const Exiv2::Xmpdatum& d : r.data)
        r.values[d.key()] = d.toString();
    return r;
}

// The items of an array property as Exiv2 reads them.
std::vector<std::string> Items(const Exiv2::XmpData& data, const char* key) {
    std::vector<std::string> items;
    const auto it = data.findKey(Exiv2::XmpKey(key));
    for (long i = 0; it != data.end() && i < it->count(); ++i)
        items.push_back(it->toString(i));
    return items;
}

// A shared XML string holding `text`, as the editors take documents.
struct Doc {
    explicit Doc(const std::string& text) {
        p = static_cast<char*>(ZqXmlU_xml_alloc(static_cast<unsigned>(text.size() + 1), nullptr));
        text.copy(p, text.size());
    }
    Doc(const Doc&) = delete;
    Doc& operator=(const Doc&) = delete;
    ~Doc() { ZqXmlU_xml_free(p); }
    char* p;
};

// Text escaped by the library, as the host escapes what it inserts.
std::string Escaped(const std::string& s) {
    zqtest::Block<char> out;
    ZqXmlU_EscapeXMLStringA(&out.p, Text(s), 0, 0, zqtest::Tag());
    return out.p;
}

// Text de-escaped by the library.
std::string DeEscaped(const std::string& s) {
    zqtest::Block<char> out;
    ZqXmlU_DeEscapeTextA(0, &out.p, Text(s), 0, zqtest::Tag());
    return out.p ? out.p : "";
}

// The raw content of element `name` (GetParam), or "<absent>".
std::string Param(const std::string& text, const char* name) {
    std::vector<char> value(text.size() + 1);
    return ZqXmlU_GetParam(Text(text), Text(name), value.data(), static_cast<int>(value.size())) ==
                   0
               ? value.data()
               : "<absent>";
}

// The raw items of the array inside element `name`: its content from the element readers (how 1),
// then the items of that content (how 2), which keeps them to the element. ok is the result of
// the item reading.
struct ItemsRead {
    int ok = 0;
    std::vector<std::string> items;
};
ItemsRead ElementItems(const std::string& text, const char* name, const char* array) {
    zqtest::Block<char> content;
    ItemsRead r;
    if (ZqXmlU_GetElementContents(Text(text), Text(name), &content.p, nullptr, 1, 0, 0,
                                  zqtest::Tag()) != 1 ||
        !content.p)
        return r;
    ZQ_KWLIST_STRUCT_T list{};
    r.ok =
        ZqXmlU_GetElementContents(content.p, Text(array), nullptr, &list, 2, 0, 0, zqtest::Tag());
    for (int i = 0; i < list.count; ++i)
        r.items.emplace_back(reinterpret_cast<const char*>(list.keys[i]));
    ZqXmlU_FreeKwAllocList(&list);
    return r;
}

// ---------------------------------------------------------------------------------------------
// Keyword packets from label documents

struct Title {
    std::string written;  // as the host writes it into the label document
    std::string meant;    // the label the title names
};

// Hostile titles: entities, a literal double quote (carried by the quote marker), references,
// non-ASCII text, and a title of 20,000 characters.
std::vector<Title> HostileTitles() {
    const std::string longTitle = std::string(10000, 'x') + "&amp;" + std::string(9995, 'y');
    return {
        {"Tom &amp; Jerry", "Tom & Jerry"},
        {"a &lt;b&gt; c", "a <b> c"},
        {"Say \"cheese\" \"", "Say \"cheese\" \""},
        {"&quot;q&quot; &apos;a&apos;", "\"q\" 'a'"},
        {"Z\xC3\xBCrich \xE6\x9D\xB1\xE4\xBA\xAC \xF0\x9F\x93\xB7",
         "Z\xC3\xBCrich \xE6\x9D\xB1\xE4\xBA\xAC \xF0\x9F\x93\xB7"},
        {"&#x263A; &#65;", "\xE2\x98\xBA A"},
        {"]]&gt; --&gt; &lt;!--", "]]> --> <!--"},
        {longTitle, std::string(10000, 'x') + "&" + std::string(9995, 'y')},
    };
}

TEST(Exiv2Interop, KeywordPacketOfHostileAndDeepLabelsReadsBackAsMeant) {
    const std::vector<Title> titles = HostileTitles();
    std::string labels = "<Labels>\r\n<Word title=\"KeywordRoot\">\r\n<Word title=\"Odd\">\r\n";
    std::vector<std::string> expected;
    for (const Title& t : titles) {
        labels += "<Word title=\"" + t.written + "\"></Word>\r\n";
        expected.push_back("Odd/" + t.meant);
    }
    labels += "</Word>\r\n";
    std::string deep;  // 300 levels
    for (int i = 0; i < 300; ++i) {
        labels += "<Word title=\"L" + std::to_string(i) + " &amp;\">\r\n";
        deep += (i ? "/L" : "L") + std::to_string(i) + " &";
    }
    labels += "<Word title=\"leaf\"></Word>\r\n";
    for (int i = 0; i < 300; ++i)
        labels += "</Word>\r\n";
    expected.push_back(deep + "/leaf");
    labels += "</Word>\r\n";
    const char* const roots[][2] = {{"PeopleRoot", "People"},
                                    {"LocationRoot", "Places"},
                                    {"EventRoot", "Events"},
                                    {"SyncRoot", "Sync"}};
    for (size_t i = 0; i < std::size(roots); ++i) {
        labels += std::string("<Word title=\"") + roots[i][0] + "\">\r\n<Word title=\"" +
                  titles[i].written + "\"></Word>\r\n</Word>\r\n";
        expected.push_back(std::string(roots[i][1]) + "/" + titles[i].meant);
    }
    labels += "</Labels>\r\n";

    ZQ_XML_STRUCT_T sink{};
    sink.tag = "test";
    ZqXmlU_MakeMsdisXml(Text(labels), &sink);
    ASSERT_GT(sink.length, 0);
    const std::string packet(sink.buffer, static_cast<size_t>(sink.length));
    ZqXmlU_xml_free(sink.buffer);

    const Reading r = Decode(packet);
    ASSERT_TRUE(r.ok) << packet.substr(0, 2000);
    // The bag is IPTC Core's Keywords property (Exiv2's prefix "iptc"), and nothing else is read.
    EXPECT_EQ(Exiv2::XmpProperties::ns("iptc"), kIptcCore);
    EXPECT_EQ(Items(r.data, "Xmp.iptc.Keywords"), expected);
    EXPECT_EQ(r.data.count(), 1);
}

// Titles are copied into the packet unescaped: a label document that is not itself well-formed
// (a raw "&" or "<" in a title) gives a packet that is no XML, and Exiv2 refuses it. That is the
// library's contract; the host escapes titles when it writes label documents.
TEST(Exiv2Interop, RawMarkupInATitleIsCopiedAndExiv2RefusesThePacket) {
    for (const char* title : {"AT&T", "a < b"}) {
        ZQ_XML_STRUCT_T sink{};
        sink.tag = "test";
        ZqXmlU_MakeMsdisXml(Text(std::string("<Labels><Word title=\"KeywordRoot\"><Word title=\"") +
                                 title + "\"></Word></Word></Labels>"),
                            &sink);
        const std::string packet(sink.buffer, static_cast<size_t>(sink.length));
        ZqXmlU_xml_free(sink.buffer);
        EXPECT_NE(packet.find(std::string("<rdf:li>") + title + "</rdf:li>"), std::string::npos);
        EXPECT_FALSE(Decode(packet).ok) << title;
    }
}

// ---------------------------------------------------------------------------------------------
// Sidecars edited by the library

const std::string kHead =
    "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
    "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\" xmlns:zqncs=\"http://ns.zq.example/xml/ncs\">\n"
    " <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
    "  <rdf:Description rdf:about=\"\" xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\"\n"
    "    xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
    "xmlns:xmpMM=\"http://ns.adobe.com/xap/1.0/mm/\"\n"
    "    xmlns:stEvt=\"http://ns.adobe.com/xap/1.0/sType/ResourceEvent#\">\n"
    "   <xmp:CreateDate>2004-07-15T13:05:09+02:00</xmp:CreateDate>\n"
    "   <dc:subject><rdf:Bag><rdf:li>Cat</rdf:li><rdf:li>Tom &amp; Jerry</rdf:li></rdf:Bag>"
    "</dc:subject>\n";
const std::string kTail =
    "  </rdf:Description>\n"
    "  <rdf:Description rdf:about=\"\" xmlns:exif=\"" +
    std::string(kExifNs) +
    "\">\n"
    "   <exif:Label xml:lang=\"en\">abcdefghij</exif:Label>\n"
    "  </rdf:Description>\n"
    " </rdf:RDF>\n"
    "</x:xmpmeta>\n"
    "<?xpacket end=\"w\"?>";

std::string HistoryEntry(const std::string& action, const std::string& when) {
    return "<rdf:li rdf:parseType=\"Resource\"><stEvt:action>" + Escaped(action) +
           "</stEvt:action><stEvt:when>" + when + "</stEvt:when></rdf:li>";
}

// Sidecar history sequences: empty, the host's entries, and the two forms Exiv2 writes (elements
// inside a resource item; attributes of an empty item).
TEST(Exiv2Interop, HistoryEntriesAddedToASidecarReadBackInOrder) {
    const std::string seqs[][2] = {
        {"<rdf:Seq>\n</rdf:Seq>", "0"},
        {"<rdf:Seq>\n" + HistoryEntry("created", "2004-07-15T13:05:09+02:00") + "\n" +
             HistoryEntry("saved", "2004-07-16T08:00:00Z") + "\n</rdf:Seq>",
         "2"},
        {"\n    <rdf:Seq>\n     <rdf:li rdf:parseType=\"Resource\">\n      <stEvt:action>created"
         "</stEvt:action>\n     </rdf:li>\n    </rdf:Seq>\n   ",
         "1"},
        {"<rdf:Seq>\n     <rdf:li\n      stEvt:action=\"created\"\n      "
         "stEvt:when=\"2004-07-15\"/>"
         "\n    </rdf:Seq>",
         "1"},
    };
    const std::string actions[] = {"edited & \"saved\" <fast>", "Z\xC3\xBCrich 'crop'", "tab\tend"};
    const ZqLong zones[][2] = {{-1, 0}, {0, 0}, {5, 30}};
    const auto when = [&zones](int i) {
        char text[32];
        return std::string(ZqXmlU_MakeDateA(1092575132u + 86400u * i, 23, text, sizeof text,
                                            zones[i][0], static_cast<ZqULong>(zones[i][1])));
    };
    for (const auto& [seq, count] : seqs) {
        Doc d(kHead + "   <xmpMM:History>" + seq + "</xmpMM:History>\n" + kTail);
        const int before = std::stoi(count);
        for (int i = 0; i < 3; ++i) {
            ASSERT_EQ(ZqXmlU_AddHistoryEntry(d.p, Text("xmpMM:History"), nullptr,
                                             Text(HistoryEntry(actions[i], when(i)))),
                      0);
        }
        const Reading r = Decode(d.p);
        ASSERT_TRUE(r.ok) << d.p;
        for (int i = 0; i < 3; ++i) {
            const std::string item = "Xmp.xmpMM.History[" + std::to_string(before + i + 1) + "]";
            EXPECT_EQ(r.values.at(item + "/stEvt:action"), actions[i]) << seq;
            EXPECT_EQ(r.values.at(item + "/stEvt:when"), when(i)) << seq;
        }
        EXPECT_EQ(r.values.count("Xmp.xmpMM.History[" + std::to_string(before + 4) + "]"), 0u);
        EXPECT_EQ(Items(r.data, "Xmp.dc.subject"),
                  (std::vector<std::string>{"Cat", "Tom & Jerry"}));
    }
}

// A run of parameter edits on one sidecar: creating elements after the default anchor, then
// replacing a value with a shorter, a longer and an equally long one. After each edit Exiv2 reads
// every other property unchanged, the value as meant, and its language qualifier as the contract
// says: attributes are replaced only when the element is created or its content grows.
TEST(Exiv2Interop, ParametersCreatedAndReplacedReadBackAsMeant) {
    struct Edit {
        const char* name;
        const char* attributes;
        std::string value;
    };
    const Edit edits[] = {
        {"exif:Rating", "", "5"},
        {"exif:Caption", "xml:lang=\"de\"",
         "Gr\xC3\xBC\xC3\x9F"
         "e & <K\xC3\xBCsse>"},
        {"exif:Label", "xml:lang=\"de\"", "a&b"},                    // shorter: padded start tag
        {"exif:Label", "xml:lang=\"fr\"", "<0123>"},                 // longer: new attributes
        {"exif:Label", "", "\"q\" 'a' caf\xC3\xA9"},                 // longer, no attributes
        {"exif:Label", "xml:lang=\"it\"", "'q' \"a\" caf\xC3\xA9"},  // equally long
        {"exif:Rating", "", std::string(3000, '9')},                 // far longer: on the heap
        {"exif:Rating", "", "1"},
    };
    Doc d(kHead + kTail);
    Reading expected = Decode(d.p);
    ASSERT_TRUE(expected.ok);
    std::map<std::string, size_t> content = {{"exif:Label", 10}};
    for (const Edit& e : edits) {
        const std::string escaped = Escaped(e.value);
        ASSERT_EQ(ZqXmlU_FixParam(d.p, Text(e.name), Text(e.attributes), Text(escaped), nullptr),
                  0);
        const std::string key = std::string("Xmp.exif.") + (e.name + 5);
        expected.values[key] = e.value;
        const auto had = content.find(e.name);
        if (had == content.end() || escaped.size() > had->second) {
            const std::string a = e.attributes;
            expected.values.erase(key + "/?xml:lang");
            if (!a.empty()) expected.values[key + "/?xml:lang"] = a.substr(10, a.size() - 11);
        }
        content[e.name] = escaped.size();
        const Reading r = Decode(d.p);
        ASSERT_TRUE(r.ok) << d.p;
        EXPECT_EQ(r.values, expected.values) << e.name << " " << e.value;
    }
    // Exiv2 adds a "/" to a namespace URI that ends in neither "/" nor "#"; the library's URI is
    // the one the sidecar declares, without it.
    EXPECT_EQ(Exiv2::XmpProperties::ns("exif"), std::string(kExifNs) + "/");
    EXPECT_NE(std::string(d.p).find("xmlns:exif=\"" + std::string(kExifNs) + "\">"),
              std::string::npos);
}

// Authenticators go into the first start tag, here x:xmpmeta. XMP does not expose that element's
// attributes: Exiv2 reads the metadata unchanged and libxml2 reads the attributes' values.
// The library writes the zqncs prefix without declaring it; Exiv2 (like any namespace-aware
// parser) refuses a packet whose x:xmpmeta does not declare it, so the host's sidecars do.
TEST(Exiv2Interop, AuthenticatorsLeaveTheMetadataAsExiv2ReadsIt) {
    const std::string plain = "photo-4711;2024-05-01T10:00:00Z", auth = "a'b&c<d>\"e\"";
    const std::string undeclared =
        kHead.substr(0, kHead.find(" xmlns:zqncs")) + kHead.substr(kHead.find(">\n <rdf:RDF"));
    for (const std::string& doc : {kHead + kTail, undeclared + kTail}) {
        const Reading before = Decode(doc);
        ASSERT_TRUE(before.ok);
        ZQ_XML_STRUCT_T sink{};
        sink.tag = "test";
        ASSERT_EQ(ZqXmlU_xml_sprintf(&sink, "%s", doc.c_str()), static_cast<int>(doc.size()));
        const int inserted =
            ZqXmlU_InsertAuthenticators(Escaped(plain).c_str(), Escaped(auth).c_str(), &sink, 0);
        const std::string packet(sink.buffer, static_cast<size_t>(sink.length));
        ZqXmlU_xml_free(sink.buffer);
        EXPECT_EQ(static_cast<size_t>(inserted), packet.size() - doc.size());
        const Reading after = Decode(packet);
        if (doc.find("xmlns:zqncs") == std::string::npos) {
            EXPECT_FALSE(after.ok);  // unbound prefix
            continue;
        }
        ASSERT_TRUE(after.ok) << packet;
        EXPECT_EQ(after.values, before.values);
        xmlDoc* x = xmlReadMemory(packet.data(), static_cast<int>(packet.size()), "sidecar.xmp",
                                  nullptr, XML_PARSE_NONET);
        ASSERT_NE(x, nullptr);
        const xmlNode* root = xmlDocGetRootElement(x);
        const auto attribute = [root](const char* name) {
            xmlChar* v = xmlGetNsProp(root, BAD_CAST name, BAD_CAST "http://ns.zq.example/xml/ncs");
            const std::string s = v ? reinterpret_cast<const char*>(v) : "<absent>";
            xmlFree(v);
            return s;
        };
        EXPECT_EQ(attribute("plain_authenticator"), plain);
        EXPECT_EQ(attribute("authenticator"), auth);
        xmlFreeDoc(x);
    }
}

// ---------------------------------------------------------------------------------------------
// Sidecars written by Exiv2, read by the library

// Exiv2 writes keywords, dates and a history sequence, in its default form (packet wrapper,
// properties as elements, history items as resources) and in its compact form (simple properties
// as attributes, history items as empty elements with attributes).
TEST(Exiv2Interop, SidecarsExiv2WritesReadWithTheElementReadersAndDateParser) {
    const std::vector<std::string> keywords = {
        "Tom & Jerry",
        "a <b> c",
        "\"q\" 'a'",
        "Z\xC3\xBCrich \xE6\x9D\xB1\xE4\xBA\xAC \xF0\x9F\x93\xB7",
        "]]> --> <!--",
        "tab\tand\nline",
        std::string(5000, 'k'),
    };
    // An offset after a fraction of a second is valid XMP, but the date parser takes a fraction
    // only before "Z" or the end of the text: that date reads as 0 (no date), as described.
    struct Date {
        const char* key;
        const char* name;
        const char* text;
        uint64_t value;
    };
    const Date dates[] = {
        {"Xmp.xmp.CreateDate", "xmp:CreateDate", "2004-07-15T13:05:09+02:00", 1092567932},
        {"Xmp.xmp.ModifyDate", "xmp:ModifyDate", "2004-07-15T13:05:09Z", 1092575132},
        {"Xmp.photoshop.DateCreated", "photoshop:DateCreated", "2004-07-15T13:05:09.25-05:30", 0},
        {"Xmp.xmp.MetadataDate", "xmp:MetadataDate", "2004-07-15T13:05:09.25Z", 1092575132},
    };
    const std::string actions[] = {"created", "saved & closed", "Z\xC3\xBCrich <crop>"};
    Exiv2::XmpProperties::unregisterNs();
    Exiv2::XmpData xmp;
    for (const std::string& k : keywords)
        xmp["Xmp.dc.subject"] = k;
    for (const Date& d : dates)
        xmp[d.key] = d.text;
    Exiv2::XmpTextValue seq;
    seq.setXmpArrayType(Exiv2::XmpValue::xaSeq);
    xmp.add(Exiv2::XmpKey("Xmp.xmpMM.History"), &seq);
    for (size_t i = 0; i < std::size(actions); ++i) {
        const std::string item = "Xmp.xmpMM.History[" + std::to_string(i + 1) + "]/stEvt:";
        xmp[item + "action"] = actions[i];
        xmp[item + "when"] = dates[i].text;
    }
    for (const uint16_t form :
         {0, Exiv2::XmpParser::useCompactFormat | Exiv2::XmpParser::omitPacketWrapper}) {
        std::string sidecar;
        ASSERT_EQ(Exiv2::XmpParser::encode(sidecar, xmp, form), 0);
        const bool compact = form != 0;

        const ItemsRead subject = ElementItems(sidecar, "dc:subject", "rdf:Bag");
        EXPECT_EQ(subject.ok, 1);
        std::vector<std::string> read;
        for (const std::string& item : subject.items)
            read.push_back(DeEscaped(item));
        EXPECT_EQ(read, keywords) << sidecar;

        for (const Date& d : dates) {
            // The compact form writes dates as attributes, which no element reader reads: the
            // value is taken from the text directly and handed to the date parser.
            const char* name = d.name;
            std::string text = Param(sidecar, name);
            if (compact) {
                EXPECT_EQ(text, "<absent>");
                const size_t at = sidecar.find(std::string(name) + "=\"");
                ASSERT_NE(at, std::string::npos) << name;
                const size_t from = at + std::strlen(name) + 2;
                text = sidecar.substr(from, sidecar.find('"', from) - from);
            }
            EXPECT_EQ(text, d.text);
            EXPECT_EQ(ZqXmlU_ParseDate(Text(text), 23, 0, 0), d.value) << d.text;
        }

        // History: resource items are read item by item. Empty items (the compact form) are no
        // items to the library: an "<rdf:li" without its own end tag ends the reading with 0.
        const ItemsRead history = ElementItems(sidecar, "xmpMM:History", "rdf:Seq");
        if (compact) {
            EXPECT_EQ(history.ok, 0);
            EXPECT_TRUE(history.items.empty());
            continue;
        }
        EXPECT_EQ(history.ok, 1);
        ASSERT_EQ(history.items.size(), std::size(actions));
        for (size_t i = 0; i < std::size(actions); ++i) {
            EXPECT_EQ(DeEscaped(Param(history.items[i], "stEvt:action")), actions[i]);
            EXPECT_EQ(ZqXmlU_ParseDate(Text(Param(history.items[i], "stEvt:when")), 23, 0, 0),
                      dates[i].value);
        }
    }
}

}  // namespace
