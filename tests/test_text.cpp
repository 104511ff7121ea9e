// XML text encoding: de-escaping.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support.h"
#include "zqxmlu.h"

namespace {

using zqtest::Tag;
using zqtest::Text;

constexpr char kGuard = '\x7E';

// Decodes with an allocated output; returns the bytes before the final NUL and the result.
std::string DeEscapeA(const std::string& in, int* result = nullptr) {
    Text text(in);
    zqtest::Block<char> out;
    const int r = ZqXmlU_DeEscapeTextA(0, &out.p, text, 0, Tag());
    if (result) *result = r;
    EXPECT_GE(r, 1);
    return std::string(out.p, r > 0 ? static_cast<size_t>(r - 1) : 0);
}

// Decodes into a caller's buffer of `size` bytes followed by guard bytes that must stay intact.
std::string DeEscapeInto(const std::string& in, int size, bool zeroForm, int* result = nullptr) {
    Text text(in);
    const size_t room = size > 0 ? static_cast<size_t>(size) : 0;
    std::vector<char> buf(room + 16, kGuard);
    char* p = buf.data();
    const int r = zeroForm ? ZqXmlU_DeEscapeText0(0, &p, text, size, Tag())
                           : ZqXmlU_DeEscapeTextA(0, &p, text, size, Tag());
    if (result) *result = r;
    EXPECT_EQ(p, buf.data());
    for (size_t i = room; i < buf.size(); ++i)
        EXPECT_EQ(buf[i], kGuard) << "write past the size at " << i;
    return std::string(buf.data(), strnlen(buf.data(), room));
}

struct DecodeCase {
    std::string in;
    std::string out;
};

TEST(DeEscape, DecodesEntitiesAndReferences) {
    using namespace std::string_literals;
    const DecodeCase cases[] = {
        {"a &lt;b&gt; &amp;amp; &quot;q&quot; &apos;", "a <b> &amp; \"q\" '"},
        {"&#x41;&#x62;&#67;", "AbC"},
        {"&#x4A;&#x4a;", "JJ"},
        {"AT&T &nbsp; &am &amp &lt &#", "AT&T &nbsp; &am &amp &lt \0"s},
        {"x&#;y", "x\0y"s},
        {"&#x;&#xZq", "\0\0q"s},
        {"&#x41 b", "Ab"},
        {"&#x20AC;&#256;&#65601;", "\xAC\0A"s},
        {"&#X41;",
         "\0"
         "41;"s},
        {"ab&#x41", "abA"},
        {"&#x00000000000000000041;&#0000000000000066;", "AB"},
        {"\x01\x7F\x80\xFF&\xC3\xA9", "\x01\x7F\x80\xFF&\xC3\xA9"},
        {"", ""},
    };
    for (const DecodeCase& c : cases) {
        int r = 0;
        EXPECT_EQ(DeEscapeA(c.in, &r), c.out) << c.in;
        EXPECT_EQ(r, static_cast<int>(c.out.size()) + 1) << c.in;
    }
}

TEST(DeEscape, AllocatesTwiceTheLengthPlusTen) {
    Text text("a &lt;b&gt; &amp;amp; &quot;q&quot; &apos;");
    zqtest::Block<char> out;
    EXPECT_EQ(ZqXmlU_DeEscapeTextA(0, &out.p, text, 0, Tag()), 18);
    EXPECT_EQ(ZqXmlU_GetUsedSpace(out.p), 2u * 42 + 10);
    zqtest::Block<char> zero;
    EXPECT_EQ(ZqXmlU_DeEscapeText0(0, &zero.p, text, 0, Tag()), 0);
    EXPECT_STREQ(zero.p, "a <b> &amp; \"q\" '");
    EXPECT_EQ(ZqXmlU_GetUsedSpace(zero.p), 8u * 42 + 10);
}

TEST(DeEscape, TruncatesWithMarkInsideTheSize) {
    struct Case {
        std::string in;
        int size;
        bool zeroForm;
        std::string out;
        int result;
    };
    const Case cases[] = {
        {"abcdefghijklmnopqrst", 8, false, "abc...", 7},
        {"abcdefghijklmnopqrst", 5, false, "...", 4},
        {"abcdefghijklmnopqrst", 3, false, "..", 3},
        {"abcdefghijklmnopqrst", 1, false, "", 1},
        {"&lt;&lt;&lt;&lt;&lt;&lt;", 9, false, "<<<<...", 8},
        {"hello", 6, false, "hello", 6},  // capacity beyond the length: never a mark
        {"hello", 10, true, "hello...", 0},
        {"hello", 11, true, "hello", 0},
        {"hi", 2, true, ".", 0},
        {"hello", -1, false, "", 0},
    };
    for (const Case& c : cases) {
        int r = -1;
        EXPECT_EQ(DeEscapeInto(c.in, c.size, c.zeroForm, &r), c.out) << c.in << " " << c.size;
        EXPECT_EQ(r, c.result) << c.in << " " << c.size;
    }
}

TEST(DeEscape, InPlace) {
    for (const auto& [size, expected] : {std::pair{9, "1 < 2"}, std::pair{8, "1 <..."}}) {
        char buf[] = "1 &lt; 2";
        char* p = buf;
        ZqXmlU_DeEscapeTextA(0, &p, buf, size, Tag());
        EXPECT_STREQ(buf, expected);
    }
    std::string big;
    for (int i = 0; i < 500; ++i)
        big += "plain text with &amp; and &#x41; ";
    Text buf(big);
    char* p = buf;
    const std::string expected = DeEscapeA(big);
    ZqXmlU_DeEscapeTextA(0, &p, buf, static_cast<ZqLong>(big.size() + 1), Tag());
    EXPECT_EQ(std::string(buf.get()), expected);
}

TEST(DeEscape, WideForms) {
    Text cafe("caf&#xC3;&#xA9; &lt;");
    zqtest::Block<ZqWChar> wide;
    EXPECT_EQ(ZqXmlU_DeEscapeTextW(0, &wide.p, cafe, 0, Tag()), 7);
    EXPECT_EQ(std::u16string(wide.p), u"caf\u00e9 <");
    EXPECT_EQ(std::memcmp(reinterpret_cast<char*>(wide.p) - 8, "3est", 4), 0);

    ZqWChar buf[21] = {};
    ZqWChar* p = buf;
    EXPECT_EQ(ZqXmlU_DeEscapeTextW(0, &p, cafe, 21, Tag()), 7);  // room beyond the input
    EXPECT_EQ(std::u16string(buf), u"caf\u00e9 <");
    EXPECT_EQ(ZqXmlU_DeEscapeTextW(0, &p, cafe, 6, Tag()), 5);  // cut while still bytes
    EXPECT_EQ(std::u16string(buf), u"c...");

    // Sizes beyond the 4096-byte local temporary.
    std::string longText(6000, 'a');
    Text longIn(longText + "&amp;");
    std::vector<ZqWChar> longOut(7000);
    p = longOut.data();
    EXPECT_EQ(ZqXmlU_DeEscapeTextW(0, &p, longIn, 7000, Tag()), 6002);
    EXPECT_EQ(longOut[6000], u'&');
}

TEST(DeEscape, LForm) {
    struct Case {
        std::string in;
        std::u16string wide;
    };
    const Case cases[] = {
        {"A&#x00;&#x00;&#x00;", u"A"},
        {"&lt;&#x00;&#xAC;&#x20;&#x00;&#x00;", u"<\u20AC"},
        {"AA&#x00;&#x00;", u"\u4141"},
        {"A", u"..."},  // the allocated room (length + 10 units) is counted in bytes
    };
    for (const Case& c : cases) {
        Text in(c.in);
        zqtest::Block<ZqWChar> wide;
        EXPECT_EQ(ZqXmlU_DeEscapeTextLW(0, &wide.p, in, 0, Tag()), 0);
        EXPECT_EQ(std::u16string(wide.p), c.wide) << c.in;
        EXPECT_EQ(ZqXmlU_GetUsedSpace(wide.p), (c.wide.size() + 3) * 2);
    }
    // Plain bytes that use all of the allocated room run into the mark.
    Text plain("AAAA");
    zqtest::Block<ZqWChar> wide;
    ZqXmlU_DeEscapeTextLW(0, &wide.p, plain, 0, Tag());
    EXPECT_EQ(std::u16string(wide.p), u"\u4141\u4141...");

    // A caller's buffer: decoding goes on while bytes written + 10 < size; an odd last byte is
    // dropped before the mark; sizes below the mark cut it.
    Text three("A&#x00;B&#x00;C&#x00;");
    for (const auto& [size, expected] :
         {std::pair{12, u"A..."}, std::pair{13, u"A..."}, std::pair{14, u"AB..."},
          std::pair{16, u"ABC..."}, std::pair{17, u"ABC"}, std::pair{3, u".."},
          std::pair{1, u""}}) {
        std::vector<ZqWChar> buf(static_cast<size_t>(size) + 8, 0);
        buf[static_cast<size_t>(size)] = 0x7E7E;
        ZqWChar* p = buf.data();
        ZqXmlU_DeEscapeTextLW(0, &p, three, size, Tag());
        EXPECT_EQ(std::u16string(buf.data()), expected) << size;
        EXPECT_EQ(buf[static_cast<size_t>(size)], 0x7E7E) << size;
    }

    Text lt("&lt;&#x00;&#xE9;&#x00;");
    zqtest::Block<char> utf8;
    EXPECT_EQ(ZqXmlU_DeEscapeTextLA(0, &utf8.p, lt, 0, Tag()), 4);
    EXPECT_STREQ(utf8.p, "<\xC3\xA9");
    char small[3] = {kGuard, kGuard, kGuard};
    char* p = small;
    EXPECT_EQ(ZqXmlU_DeEscapeTextLA(0, &p, lt, 2, Tag()), 4);
    EXPECT_STREQ(small, "<");
    EXPECT_EQ(small[2], kGuard);
}

}  // namespace
