// XMP keyword packets read back with libxml2: the packet is well-formed, its elements are in the
// IPTC Core and RDF namespaces, and its bag holds the leaf paths that libxml2 finds in the label
// document itself.
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstring>
#include <string>
#include <vector>

#include "support.h"
#include "zqxmlu.h"

namespace {

constexpr char kRdf[] = "http://www.w3.org/1999/02/22-rdf-syntax-ns#";
constexpr char kIptc[] = "http://iptc.org/std/Iptc4xmpCore/1.0/xmlns/";

bool Is(const xmlNode* n, const char* name, const char* ns) {
    return n->type == XML_ELEMENT_NODE &&
           std::strcmp(reinterpret_cast<const char*>(n->name), name) == 0 && n->ns &&
           std::strcmp(reinterpret_cast<const char*>(n->ns->href), ns) == 0;
}

std::string Content(const xmlNode* n) {
    xmlChar* c = xmlNodeGetContent(n);
    std::string s = c ? reinterpret_cast<const char*>(c) : "";
    xmlFree(c);
    return s;
}

const xmlNode* Child(const xmlNode* parent, const char* name, const char* ns) {
    for (const xmlNode* c = parent ? parent->children : nullptr; c; c = c->next) {
        if (Is(c, name, ns)) return c;
    }
    return nullptr;
}

// The rdf:li texts of the keyword bag, or {"<unparsed>"}.
std::vector<std::string> BagItems(const std::string& packet) {
    xmlDoc* doc = xmlReadMemory(packet.data(), static_cast<int>(packet.size()), "packet.xml",
                                nullptr, XML_PARSE_NONET);
    if (!doc) return {"<unparsed>"};
    const xmlNode* root = xmlDocGetRootElement(doc);
    const xmlNode* bag =
        Child(Child(Child(Child(root, "RDF", kRdf), "Description", kRdf), "Keywords", kIptc), "Bag",
              kRdf);
    std::vector<std::string> items;
    if (!Is(root, "xmpmeta", "adobe:ns:meta/") || !bag) items.push_back("<no bag>");
    for (const xmlNode* li = bag ? bag->children : nullptr; li; li = li->next) {
        if (Is(li, "li", kRdf)) items.push_back(Content(li));
    }
    xmlFreeDoc(doc);
    return items;
}

std::string Packet(const std::string& labels) {
    zqtest::Text doc(labels);
    ZQ_XML_STRUCT_T sink{};
    sink.tag = zqtest::Tag();
    ZqXmlU_MakeMsdisXml(doc, &sink);
    std::string out = sink.buffer ? std::string(sink.buffer, static_cast<size_t>(sink.length)) : "";
    ZqXmlU_xml_free(sink.buffer);
    return out;
}

TEST(MetadataInterop, ExamplePacketParsesWithItsKeywordPaths) {
    // The example's one title with quotes is not well-formed XML as a label, but its packet is.
    const std::vector<std::string> expected = {
        "Animals/Cat",
        "Animals/Dog",
        "Animals/Birds/Heron",
        "Animals/Birds/Kingfisher",
        "Nature/Lake",
        "Nature/Sunset",
        "Caf\xC3\xA9",
        "The \"Blue\" House",
        "People/Family/Ann",
        "People/Family/Bj\xC3\xB6rn",
        "People/Friends/Zo\xC3\xAB",
        "Places/Europe/Switzerland/Z\xC3\xBCrich",
        "Places/Europe/Norway/\xC3\x85lesund",
        "Places/Asia/Japan/\xE6\x9D\xB1\xE4\xBA\xAC",
        "Events/2023/Summer Holiday",
        "Events/2023/Ann's Birthday",
        "Sync/Web Albums/Shared/Holiday 2023",
    };
    EXPECT_EQ(BagItems(Packet(zqtest::ReadFile(ZQ_SOURCE_DIR "/examples/labels.xml"))), expected);
}

// A deterministic label tree of about `labels` labels under the five roots, CR LF line ends.
std::string GeneratedLabels(int labels) {
    static const char* const kWords[] = {"Lake",
                                         "Anna",
                                         "Z\xC3\xBCrich",
                                         "2024",
                                         "Caf\xC3\xA9",
                                         "Hike",
                                         "\xE6\x9D\xB1\xE4\xBA\xAC",
                                         "Dog's",
                                         "Bay",
                                         "x"};
    static const char* const kRoots[] = {"KeywordRoot", "PeopleRoot", "LocationRoot", "EventRoot",
                                         "SyncRoot"};
    uint32_t s = 12345;
    auto next = [&s](uint32_t n) {
        s = s * 1103515245u + 12345u;
        return (s >> 16) % n;
    };
    std::string doc = "<Labels>\r\n";
    int made = 0;
    for (const char* root : kRoots) {
        doc += std::string("<Word title=\"") + root + "\">\r\n";
        int depth = 0;
        for (int i = 0; i < labels / 5; ++i, ++made) {
            const std::string title = std::string(kWords[next(10)]) + std::to_string(made);
            if (depth < 6 && next(3) == 0) {
                doc += "<Word title=\"" + title + "\">\r\n";
                ++depth;
            } else {
                doc += "<Word title=\"" + title + "\"></Word>\r\n";
                if (depth > 0 && next(3) == 0) {
                    doc += "</Word>\r\n";
                    --depth;
                }
            }
        }
        // A label opened last gets a leaf, then everything is closed.
        for (doc += "<Word title=\"end\"></Word>\r\n"; depth > 0; --depth)
            doc += "</Word>\r\n";
        doc += "</Word>\r\n";
    }
    return doc + "</Labels>\r\n";
}

// Leaf paths as libxml2 reads the label document: prefixes by root, titles joined by "/".
void CollectLeaves(const xmlNode* word, const std::string& path, std::vector<std::string>& out) {
    bool leaf = true;
    for (const xmlNode* c = word->children; c; c = c->next) {
        if (c->type != XML_ELEMENT_NODE) continue;
        leaf = false;
        xmlChar* title = xmlGetProp(c, reinterpret_cast<const xmlChar*>("title"));
        CollectLeaves(c, path + "/" + reinterpret_cast<const char*>(title), out);
        xmlFree(title);
    }
    if (leaf) out.push_back(path);
}

TEST(MetadataInterop, GeneratedDocumentAgreesWithLibxml2) {
    const std::string labels = GeneratedLabels(3000);
    xmlDoc* doc = xmlReadMemory(labels.data(), static_cast<int>(labels.size()), "labels.xml",
                                nullptr, XML_PARSE_NONET);
    ASSERT_NE(doc, nullptr);
    std::vector<std::string> expected;
    for (const xmlNode* root = xmlDocGetRootElement(doc)->children; root; root = root->next) {
        if (root->type != XML_ELEMENT_NODE) continue;
        xmlChar* title = xmlGetProp(root, reinterpret_cast<const xmlChar*>("title"));
        const std::string name = reinterpret_cast<const char*>(title);
        xmlFree(title);
        std::vector<std::string> leaves;
        for (const xmlNode* c = root->children; c; c = c->next) {
            if (c->type != XML_ELEMENT_NODE) continue;
            xmlChar* t = xmlGetProp(c, reinterpret_cast<const xmlChar*>("title"));
            CollectLeaves(c, std::string("/") + reinterpret_cast<const char*>(t), leaves);
            xmlFree(t);
        }
        const std::string prefix = name == "PeopleRoot"     ? "People"
                                   : name == "LocationRoot" ? "Places"
                                   : name == "EventRoot"    ? "Events"
                                   : name == "SyncRoot"     ? "Sync"
                                                            : "";
        for (const std::string& leaf : leaves)
            expected.push_back(prefix.empty() ? leaf.substr(1) : prefix + leaf);
    }
    xmlFreeDoc(doc);
    ASSERT_GT(expected.size(), 1000u);
    EXPECT_EQ(BagItems(Packet(labels)), expected);
}

}  // namespace
