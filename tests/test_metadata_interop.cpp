// XMP keyword packets read back with libxml2: the packet is well-formed, its elements are in the
// XMP, RDF and IPTC Core namespaces, and its bag holds the leaf paths that libxml2 finds in the
// label document itself.
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <map>
#include <string>
#include <vector>

#include "support.h"
#include "zqxmlu.h"

namespace {

constexpr char kRdf[] = "http://www.w3.org/1999/02/22-rdf-syntax-ns#";

std::string Text(const xmlChar* s) {
    return s ? reinterpret_cast<const char*>(s) : "";
}

// The element child of `parent` named `name` in namespace `ns`.
const xmlNode* Child(const xmlNode* parent, const char* name, const char* ns) {
    for (const xmlNode* c = parent ? parent->children : nullptr; c; c = c->next) {
        if (c->type == XML_ELEMENT_NODE && Text(c->name) == name && c->ns &&
            Text(c->ns->href) == ns)
            return c;
    }
    return nullptr;
}

// The text of a string that libxml2 hands over (a title, a content), which is then released.
std::string Take(xmlChar* s) {
    const std::string t = Text(s);
    xmlFree(s);
    return t;
}

// Leaf paths below `word` as libxml2 reads the label document: titles joined by "/" after `path`.
void Leaves(const xmlNode* word, const std::string& path, std::vector<std::string>& out) {
    bool leaf = true;
    for (const xmlNode* c = word->children; c; c = c->next) {
        if (c->type != XML_ELEMENT_NODE) continue;
        leaf = false;
        Leaves(c, (path.empty() ? "" : path + "/") + Take(xmlGetProp(c, BAD_CAST "title")), out);
    }
    if (leaf) out.push_back(path);
}

// A deterministic label tree of about `labels` labels under the five roots, CR LF line ends.
std::string GeneratedLabels(int labels) {
    static const char* const kWords[] = {"Lake", "2024", "Z\xC3\xBCrich", "Dog's", "\xE6\x9D\xB1"};
    uint32_t s = 12345;
    const auto next = [&s](uint32_t n) { return ((s = s * 1103515245u + 12345u) >> 16) % n; };
    std::string doc = "<Labels>\r\n";
    for (const char* root :
         {"KeywordRoot", "PeopleRoot", "LocationRoot", "EventRoot", "SyncRoot"}) {
        doc += std::string("<Word title=\"") + root + "\">\r\n";
        int depth = 0;
        for (int i = 0; i < labels / 5; ++i) {
            const std::string title = kWords[next(5)] + std::to_string(i);
            const bool open = depth < 6 && next(3) == 0;
            doc += "<Word title=\"" + title + (open ? "\">\r\n" : "\"></Word>\r\n");
            depth += open;
            if (!open && depth > 0 && next(3) == 0) {
                doc += "</Word>\r\n";
                --depth;
            }
        }
        for (doc += "<Word title=\"end\"></Word>\r\n"; depth >= 0; --depth)
            doc += "</Word>\r\n";
    }
    return doc + "</Labels>\r\n";
}

TEST(MetadataInterop, PacketBagHoldsTheLeafPathsLibxml2Finds) {
    const std::string labels = GeneratedLabels(3000);
    xmlDoc* doc = xmlReadMemory(labels.data(), static_cast<int>(labels.size()), "labels.xml",
                                nullptr, XML_PARSE_NONET);
    ASSERT_NE(doc, nullptr);
    const std::map<std::string, std::string> prefixes = {
        {"KeywordRoot", ""},     {"PeopleRoot", "People"}, {"LocationRoot", "Places"},
        {"EventRoot", "Events"}, {"SyncRoot", "Sync"},
    };
    std::vector<std::string> expected;
    for (const xmlNode* r = xmlDocGetRootElement(doc)->children; r; r = r->next)
        if (r->type == XML_ELEMENT_NODE)
            Leaves(r, prefixes.at(Take(xmlGetProp(r, BAD_CAST "title"))), expected);
    xmlFreeDoc(doc);
    ASSERT_GT(expected.size(), 1000u);

    ZQ_XML_STRUCT_T sink{};
    ZqXmlU_MakeMsdisXml(zqtest::Text(labels), &sink);
    xmlDoc* packet =
        xmlReadMemory(sink.buffer, sink.length, "packet.xml", nullptr, XML_PARSE_NONET);
    ZqXmlU_xml_free(sink.buffer);
    ASSERT_NE(packet, nullptr);
    const xmlNode* root = xmlDocGetRootElement(packet);
    EXPECT_EQ(Text(root->name), "xmpmeta");
    const xmlNode* bag = Child(Child(Child(Child(root, "RDF", kRdf), "Description", kRdf),
                                     "Keywords", "http://iptc.org/std/Iptc4xmpCore/1.0/xmlns/"),
                               "Bag", kRdf);
    std::vector<std::string> items;
    for (const xmlNode* li = bag ? bag->children : nullptr; li; li = li->next) {
        if (li->type != XML_ELEMENT_NODE) continue;
        EXPECT_EQ(Text(li->name), "li");
        items.push_back(Take(xmlNodeGetContent(li)));
    }
    xmlFreeDoc(packet);
    EXPECT_EQ(items, expected);
}

}  // namespace
