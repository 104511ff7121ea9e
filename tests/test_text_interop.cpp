// Escaped text read back by a real XML parser (libxml2): element content and a quoted attribute
// value both come back as the original text.
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstdint>
#include <random>
#include <string>

#include "platform/utf.h"
#include "support.h"
#include "zqxmlu.h"

namespace {

// Random characters that XML allows, without control characters; markup characters often.
std::string RandomText(std::mt19937& rng) {
    static const char16_t kMarkup[] = u"&<>'\";#x0123456789abcdef";
    std::u16string s;
    for (int i = static_cast<int>(rng() % 40); i > 0; --i) {
        const uint32_t kind = rng() % 8;
        if (kind < 3) {
            s += kMarkup[rng() % (std::size(kMarkup) - 1)];
        } else if (kind < 5) {
            s += static_cast<char16_t>(0x20 + rng() % 0x60);  // printable ASCII and 0x7F
        } else if (kind < 7) {  // the rest of the BMP but the surrogates, U+FFFE and U+FFFF
            const auto c = static_cast<char16_t>(0x80 + rng() % (0xF7FE - 0x80));
            s += c < 0xD800 ? c : static_cast<char16_t>(c + 0x800);
        } else {
            const uint32_t v = rng() % 0x100000;  // a supplementary character
            s += {static_cast<char16_t>(0xD800 + (v >> 10)),
                  static_cast<char16_t>(0xDC00 + (v & 0x3FF))};
        }
    }
    std::string utf8(s.size() * 3, '\0');  // no units: nothing converted, an empty text
    utf8.resize(static_cast<size_t>(zq::Utf16ToUtf8(s.data(), static_cast<int>(s.size()),
                                                    utf8.data(), static_cast<int>(utf8.size()))));
    return utf8;
}

TEST(Interop, EscapedTextParsesBack) {
    std::mt19937 rng(20240611);
    for (int round = 0; round < 2000; ++round) {
        const std::string original = RandomText(rng);
        zqtest::Text text(original);
        zqtest::Block<char> escaped;
        ZqXmlU_EscapeXMLStringA(&escaped.p, text, 0, 0, zqtest::Tag());
        ASSERT_EQ(ZqXmlU_NeedsEscapingA(escaped.p), 0) << original;
        const std::string doc = std::string("<r a=\"") + escaped.p + "\">" + escaped.p + "</r>";
        xmlDocPtr parsed = xmlReadMemory(doc.data(), static_cast<int>(doc.size()), nullptr, "UTF-8",
                                         XML_PARSE_NONET | XML_PARSE_NOERROR);
        ASSERT_NE(parsed, nullptr) << doc;
        xmlNodePtr root = xmlDocGetRootElement(parsed);
        const auto* a = reinterpret_cast<const xmlChar*>("a");
        for (xmlChar* got : {xmlNodeGetContent(root), xmlGetProp(root, a)}) {  // content, attribute
            EXPECT_EQ(std::string(got ? reinterpret_cast<const char*>(got) : ""), original) << doc;
            xmlFree(got);
        }
        xmlFreeDoc(parsed);

        // And back through the library's own de-escaper.
        zqtest::Block<char> back;
        const int n = ZqXmlU_DeEscapeTextA(0, &back.p, escaped.p, 0, zqtest::Tag());
        EXPECT_EQ(std::string(back.p, static_cast<size_t>(n - 1)), original);
    }
    xmlCleanupParser();
}

}  // namespace
