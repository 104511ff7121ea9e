// The scanners and the tree view against libxml2: documents that libxml2 serialises from random
// element trees must give the root's final ">" and the same tree of local names.
//
// Text content carries no quote characters: to these scanners a quote in content opens a quoted
// run, as in the markup (libxml2 writes quotes in content unescaped).
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstring>
#include <random>
#include <string>

#include "zqxmlu.h"
#include "zqxmlu_treectrl.h"

namespace {

class RandomTree {
  public:
    explicit RandomTree(uint32_t seed) : rng_(seed) {}

    xmlDocPtr Make() {
        xmlDocPtr doc = xmlNewDoc(BAD_CAST "1.0");
        xmlNodePtr root = xmlNewNode(nullptr, BAD_CAST Name().c_str());
        xmlDocSetRootElement(doc, root);
        Fill(root, 0);
        return doc;
    }

  private:
    size_t Below(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng_); }

    std::string Name() {
        static const char kFirst[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ_";
        static const char kRest[] = "abcdefghijklmnopqrstuvwxyz0123456789-._";
        std::string s(1, kFirst[Below(sizeof kFirst - 1)]);
        const size_t length = Below(4) == 0 ? Below(64) : Below(8);  // up to 64 characters
        for (size_t i = 0; i < length; ++i)
            s += kRest[Below(sizeof kRest - 1)];
        return s;
    }

    // Attribute values and text with the characters the scanners care about.
    std::string Value(bool quotes) {
        static const char kChars[] = "ab <>/&=-!?[]\t\n";
        std::string s;
        for (size_t i = Below(12); i > 0; --i) {
            s += kChars[Below(sizeof kChars - 1)];
            if (quotes && Below(6) == 0) s += Below(2) ? '\'' : '"';
        }
        return s;
    }

    void Fill(xmlNodePtr node, int depth) {
        if (Below(3) == 0) {
            // A prefix within the 64 characters in which the tree view looks for the ":".
            const std::string prefix = Name().substr(0, 63);
            xmlNsPtr ns =
                xmlNewNs(node, BAD_CAST("urn:" + Name()).c_str(), BAD_CAST prefix.c_str());
            xmlSetNs(node, ns);
        }
        for (size_t i = Below(3); i > 0; --i)
            xmlNewProp(node, BAD_CAST Name().c_str(), BAD_CAST Value(true).c_str());
        if (depth >= 7) return;
        for (size_t i = Below(depth < 2 ? 6 : 4); i > 0; --i) {
            switch (Below(6)) {
                case 0:
                    xmlAddChild(node, xmlNewText(BAD_CAST Value(false).c_str()));
                    break;
                case 1: {
                    std::string text = Value(false);
                    while (text.find("--") != std::string::npos ||
                           (!text.empty() && text.back() == '-'))
                        text.pop_back();
                    xmlAddChild(node, xmlNewComment(BAD_CAST text.c_str()));
                    break;
                }
                default: {
                    xmlNodePtr child = xmlNewNode(nullptr, BAD_CAST Name().c_str());
                    xmlAddChild(node, child);
                    Fill(child, depth + 1);
                }
            }
        }
    }

    std::mt19937 rng_;
};

// The local names of the element tree, two spaces per level, as CTreeCtrl::Print shows them.
void Render(xmlNodePtr node, size_t depth, std::string& out) {
    for (; node; node = node->next) {
        if (node->type != XML_ELEMENT_NODE) continue;
        out.append(2 * depth, ' ');
        out += reinterpret_cast<const char*>(node->name);
        out += '\n';
        Render(node->children, depth + 1, out);
    }
}

TEST(Interop, RandomDocumentsSerialisedByLibxml2) {
    RandomTree random(20240611);
    for (int round = 0; round < 300; ++round) {
        xmlDocPtr doc = random.Make();
        xmlChar* bytes = nullptr;
        int size = 0;
        xmlDocDumpFormatMemory(doc, &bytes, &size, round % 2);
        const std::string text(reinterpret_cast<const char*>(bytes), static_cast<size_t>(size));
        xmlFree(bytes);

        // The root starts after the XML declaration and ends at the last ">".
        const size_t rootStart = text.find('<', text.find("?>"));
        const size_t rootEnd = text.rfind('>');
        ASSERT_NE(rootStart, std::string::npos);
        std::string root = text.substr(rootStart);
        EXPECT_EQ(ZqXmlU_FindXmlEnd(root.data()), static_cast<ZqLong>(rootEnd - rootStart)) << text;

        std::string expected;
        Render(xmlDocGetRootElement(doc), 0, expected);
        ZQ_XML_STRUCT_T sink{};
        sink.tag = "test";
        ZqXmlU_xml_sprintf(&sink, "%s", text.c_str());
        CTreeCtrl tree;
        EXPECT_EQ(ZqXmlU_XmlToTree(&sink, &tree, TVI_ROOT, 0, 0), 1) << text;
        EXPECT_EQ(tree.Print(), expected) << text;
        ZqXmlU_xml_free(sink.buffer);
        xmlFreeDoc(doc);
    }
}

}  // namespace
