// The scanners and the tree view against libxml2: documents that libxml2 serialises from random
// element trees must give the root's final ">" and the same tree of local names. Text content
// carries no quotes: to these scanners a quote in content opens a quoted run, as in the markup
// (libxml2 writes quotes in content unescaped).
#include <gtest/gtest.h>
#include <libxml/tree.h>

#include <random>
#include <string>

#include "zqxmlu.h"
#include "zqxmlu_treectrl.h"

namespace {

struct RandomTree {
    std::mt19937 rng;

    size_t Below(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); }

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
            const std::string href = "urn:" + Name();
            xmlSetNs(node, xmlNewNs(node, BAD_CAST href.c_str(), BAD_CAST prefix.c_str()));
        }
        for (size_t i = Below(3); i > 0; --i)
            xmlNewProp(node, BAD_CAST Name().c_str(), BAD_CAST Value(true).c_str());
        if (depth >= 7) return;
        for (size_t i = Below(depth < 2 ? 6 : 4); i > 0; --i) {
            const size_t kind = Below(6);
            if (kind == 0) {
                xmlAddChild(node, xmlNewText(BAD_CAST Value(false).c_str()));
            } else if (kind == 1) {  // a comment holds no "--" and does not end with "-"
                std::string text = Value(false);
                while (text.find("--") != std::string::npos ||
                       (!text.empty() && text.back() == '-'))
                    text.pop_back();
                xmlAddChild(node, xmlNewComment(BAD_CAST text.c_str()));
            } else {
                Fill(xmlAddChild(node, xmlNewNode(nullptr, BAD_CAST Name().c_str())), depth + 1);
            }
        }
    }
};

// The local names of the element tree, two spaces per level, as CTreeCtrl::Print shows them.
std::string Render(xmlNodePtr node, size_t depth = 0) {
    std::string out;
    for (; node; node = node->next) {
        if (node->type != XML_ELEMENT_NODE) continue;
        out += std::string(2 * depth, ' ') + reinterpret_cast<const char*>(node->name) + "\n";
        out += Render(node->children, depth + 1);
    }
    return out;
}

TEST(Interop, RandomDocumentsSerialisedByLibxml2) {
    RandomTree random{std::mt19937(20240611)};
    for (int round = 0; round < 300; ++round) {
        xmlDocPtr doc = xmlNewDoc(BAD_CAST "1.0");
        xmlNodePtr root = xmlNewNode(nullptr, BAD_CAST random.Name().c_str());
        xmlDocSetRootElement(doc, root);
        random.Fill(root, 0);
        xmlChar* bytes = nullptr;
        int size = 0;
        xmlDocDumpFormatMemory(doc, &bytes, &size, round % 2);
        std::string text(reinterpret_cast<const char*>(bytes), static_cast<size_t>(size));
        xmlFree(bytes);
        const std::string expected = Render(root);
        xmlFreeDoc(doc);

        // The root starts after the XML declaration and ends at the last ">".
        const size_t rootStart = text.find('<', text.find("?>"));
        ASSERT_NE(rootStart, std::string::npos);
        EXPECT_EQ(ZqXmlU_FindXmlEnd(text.data() + rootStart),
                  static_cast<ZqLong>(text.rfind('>') - rootStart))
            << text;

        ZQ_XML_STRUCT_T sink{};
        sink.buffer = text.data();
        sink.length = size;
        CTreeCtrl tree;
        EXPECT_EQ(ZqXmlU_XmlToTree(&sink, &tree, TVI_ROOT, 0, 0), 1) << text;
        EXPECT_EQ(tree.Print(), expected) << text;
    }
}

}  // namespace
