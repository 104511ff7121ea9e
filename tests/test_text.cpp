// XML text encoding: character classes, escaping, de-escaping, keyword names, element content.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "platform/cpu.h"
#include "support.h"
#include "text/charclass.h"
#include "zqxmlu.h"

namespace {

using namespace std::string_literals;
using zqtest::Tag;
using zqtest::Text;

constexpr char kGuard = '\x7E';

// ---- Character classes ----

// Every range of the productions file, in the class tables and inside the class test at both ends.
TEST(CharClass, TablesMatchTheProductionsFile) {
    const std::tuple<zq::CharClass, int (*)(int32_t), int> classes[] = {
        {zq::CharClass::kBaseChar, zq::IsBaseChar, 202},
        {zq::CharClass::kIdeographic, zq::IsIdeographic, 3},
        {zq::CharClass::kCombiningChar, zq::IsCombiningChar, 95},
        {zq::CharClass::kDigit, zq::IsDigitChar, 15},
        {zq::CharClass::kExtender, zq::IsExtender, 11}};
    std::ifstream in(std::string(ZQ_TEST_DATA) + "/xml-char-classes.txt");
    std::string line, production;
    size_t k = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        ASSERT_TRUE(k < std::size(classes) && std::getline(in, production)) << line;
        const auto [cls, test, count] = classes[k++];
        const zq::CharRangeTable& t = zq::FilledTable(cls);
        EXPECT_EQ(production, t.production) << line;
        int n = 0;  // ranges read independently from the file
        for (size_t at = production.find('['); at != std::string::npos;
             at = production.find('[', at + 1), ++n) {
            unsigned lo = 0, hi = 0;
            ASSERT_EQ(std::sscanf(production.c_str() + at, "[#x%x-#x%x]", &lo, &hi), 2);
            ASSERT_LT(n, t.capacity - 1);
            EXPECT_TRUE(t.low[n] == int32_t(lo) && t.high[n] == int32_t(hi)) << line << " " << n;
            EXPECT_TRUE(test(int32_t(lo)) && test(int32_t(hi))) << line << " " << n;
        }
        EXPECT_EQ(n, count) << line;
        EXPECT_EQ(t.low[n] | t.high[n], 0);
    }
    EXPECT_EQ(k, std::size(classes));
}

// Beside the ranges: no class, or the neighbouring one; letters are BaseChar or Ideographic.
TEST(CharClass, Membership) {
    enum { kBase = 1, kIdeo = 2, kComb = 4, kDigit = 8, kExt = 16 };
    const std::pair<int32_t, int> cases[] = {
        {0, 0},      {-1, 0},         {INT32_MIN, 0}, {'A', kBase},   {'0', kDigit},
        {0x5B, 0},   {0xD7A4, 0},     {0x0F2A, 0},    {0x9FA6, 0},    {0x3005, kExt},
        {0x3006, 0}, {0x302A, kComb}, {0x3020, 0},    {0x0387, kExt},
    };
    for (const auto& [c, bits] : cases) {
        const int found = (zq::IsBaseChar(c) ? kBase : 0) | (zq::IsIdeographic(c) ? kIdeo : 0) |
                          (zq::IsCombiningChar(c) ? kComb : 0) | (zq::IsDigitChar(c) ? kDigit : 0) |
                          (zq::IsExtender(c) ? kExt : 0);
        EXPECT_EQ(found, bits) << std::hex << c;
        EXPECT_EQ(zq::IsLetter(c), (bits & (kBase | kIdeo)) ? 1 : 0) << std::hex << c;
    }
    EXPECT_TRUE(zq::IsLetter(0x3007) && zq::IsLetter(0x9FA5));
}

TEST(CharClass, ParseRangeListStaysInsideItsCapacityAndItsText) {
    int32_t low[4] = {-1, -1, -1, -1}, high[4] = {-1, -1, -1, -1};
    EXPECT_EQ(
        zq::ParseRangeList("[#x0041-#x005A] | [#x0061-#x007A] | [#x00C0-#x00D6]", low, high, 3), 2);
    EXPECT_EQ(high[1], 0x7A);
    EXPECT_EQ(low[2], 0);
    EXPECT_EQ(low[3], -1);
    EXPECT_EQ(zq::ParseRangeList("[#x0041-#x005A]                  [#x0061-#x007A]", low, high, 4),
              1);  // the next "[" must come within 31 characters
    EXPECT_EQ(zq::ParseRangeList("[#x0042", low, high, 4), 1);
    EXPECT_EQ(low[0], 0x42);
}

TEST(CharClass, ValidXmlChars) {
    const std::pair<std::string, bool> cases[] = {
        {"a\t\r\n~", true},  {"\x7F", true},   {"", true},      {"\x80", false},
        {"\xC3\xA9", false}, {"a\0b"s, false}, {"\x1F", false}, {"\x0B", false},
    };
    for (auto [text, valid] : cases)
        EXPECT_EQ(ZqXmlU_ValidXmlChars(text.data(), static_cast<unsigned>(text.size())), valid);
    char longer[] = "ok\x01";
    EXPECT_TRUE(ZqXmlU_ValidXmlChars(longer, 2));  // the length alone bounds the scan
}

// ---- Escaping ----

TEST(Escape, StringEscaper) {
    // Into a new block of 8 x n + 2 bytes, n the bytes read: the text up to its NUL, at most
    // `size` (a size beyond the text never enlarges the block); a report-only call gives the
    // same bits.
    const std::tuple<std::string, unsigned, std::string, int, unsigned> cases[] = {
        {"a<b & \"c\"", 0, "a&lt;b &amp; &quot;c&quot;", 3, 74},
        {"'>&", 0, "&apos;&gt;&amp;", 3, 26},
        {"&&", 0, "&amp;&amp;", 2, 18},
        {"\t\n\r plain ~\xC3\xA9\x80\xFF", 0, "\t\n\r plain ~\xC3\xA9\x80\xFF", 0, 122},
        {"\x01\x1B\x1F\x7F\x08\x0B\x0C\x0E", 0, "&#001;&#027;&#031;&#127;&#008;&#011;&#012;&#014;",
         1, 66},
        {"abcdefgh", 5, "abcde", 0, 42},
        {"abcdefgh", 8, "abcdefgh", 0, 66},
        {"abcdefgh", 9, "abcdefgh", 0, 66},
        {"a<", 0xFFFFFFFF, "a&lt;", 1, 18},
        {"a<", 0x1FFFFFFE, "a&lt;", 1, 18},
        {"a<", 3, "a&lt;", 1, 18},
    };
    for (const auto& [in, size, expected, bits, used] : cases) {
        Text text(in);
        zqtest::Block<char> out;
        char* none = nullptr;
        EXPECT_EQ(ZqXmlU_DoEscaping(0, &out.p, text, 0, size, 0, Tag()), bits) << in;
        EXPECT_EQ(std::string(out.p), expected) << in;
        EXPECT_EQ(ZqXmlU_GetUsedSpace(out.p), used) << in;
        EXPECT_EQ(ZqXmlU_DoEscaping(1, &none, text, 1, size, 1, Tag()), bits);
        EXPECT_EQ(none, nullptr);
    }
    zqtest::WString wide =
        zqtest::W(u"\u00e9<" + std::u16string(400, u'\u4e2d'));  // beyond the local buffer
    zqtest::Block<char> out;
    ZqXmlU_EscapeXMLStringW(&out.p, wide.data(), 0, 0, Tag());
    EXPECT_EQ(std::string(out.p, 6), "\xC3\xA9&lt;");
    EXPECT_EQ(std::strlen(out.p), 6u + 1200);

    // Into a caller's buffer: the bytes written, then the guard must follow.
    const std::tuple<std::string, std::string, unsigned, int> bounded[] = {
        {"a<b", "ab\0"s, 4, 1},      // the entity needs 5 free bytes, the bytes go on
        {"a<b", "a&lt;b"s, 6, 1},    // no room left for the NUL
        {"\x01", "&#001;"s, 6, 1},   // a reference needs 6 free bytes, not 7
        {"x\x01", "x\0"s, 6, 1},     // the byte fits, the reference does not
        {"<ab", ""s, 0, 1},          // size 0: nothing written into a caller's buffer
        {"ab\0<<"s, "ab\0"s, 5, 0},  // the NUL ends the input within the size
        {"<", "&lt;\0"s, 5, 1},      // an entity and its NUL fill the buffer exactly
        {"<", "\0"s, 4, 1},          // one byte short: dropped
        {"&", "&amp;\0"s, 6, 2},     // the same for "&amp;"
        {"&", "\0"s, 5, 2},
    };
    for (const auto& [in, written, size, bits] : bounded) {
        Text input(in);
        std::vector<char> buf(size + 8, kGuard);
        char* p = buf.data();
        EXPECT_EQ(ZqXmlU_DoEscaping(0, &p, input, 0, size, 0, Tag()), bits) << in;
        EXPECT_EQ(std::string(buf.data(), written.size()), written) << in;
        EXPECT_EQ(buf[written.size()], kGuard) << in;
    }
}

TEST(Escape, ByteEscapersAndTheLForm) {
    const std::tuple<unsigned char, int, std::string> cases[] = {
        {'\n', 7, "&#x0a;"}, {'\n', 6, ""},     {0x7F, 7, "&#x7f;"}, {0xE9, 2, "\xE9"},
        {0xE9, 1, ""},       {'&', 6, "&amp;"}, {'&', 5, ""},        {'"', 7, "&quot;"},
        {'\'', 7, "&apos;"}, {'>', 5, "&gt;"},
    };
    for (const auto& [byte, room, expected] : cases) {
        char buf[16];
        std::memset(buf, kGuard, sizeof buf);
        char* cursor = buf;
        ZqXmlU_EscapeXmlCharA(byte, room, &cursor);
        EXPECT_EQ(std::string(buf, static_cast<size_t>(cursor - buf)), expected) << +byte;
        // Entities and references stop the cursor on their NUL; copied bytes get none.
        EXPECT_EQ(*cursor, expected.size() > 1 ? '\0' : kGuard) << +byte;
    }
    // The L form of a text, from UTF-8 or UTF-16: each unit as its low byte, then its high byte;
    // the UTF-16 form escapes the terminator too.
    for (auto [in, wide, expected] : {std::tuple{"A", u"A"s, "A&#x00;"},
                                      std::tuple{"\xE4\x85\x81<", u"\u4141<"s, "AA&lt;&#x00;"},
                                      std::tuple{"\xE0\xA8\x8D", u"\u0a0d"s, "&#x0d;&#x0a;"},
                                      std::tuple{"\xE2\x82\xAC", u"\u20ac"s, "\xAC "}}) {
        char out[64];
        ZqXmlU_EscapeXmlStringLA(out, sizeof out, Text(in), nullptr);
        EXPECT_STREQ(out, expected);
        ZqXmlU_EscapeXmlStringLW(out, sizeof out, zqtest::W(wide).data(), nullptr);
        EXPECT_EQ(std::string(out), expected + "&#x00;&#x00;"s);
    }
    // "A" and "&#x00;" with its NUL fill the room, the rest is dropped.
    zqtest::WString ab = zqtest::W(u"AB");
    char small[12];
    std::memset(small, kGuard, sizeof small);
    ZqXmlU_EscapeXmlStringLW(small, 8, ab.data(), nullptr);
    EXPECT_STREQ(small, "A&#x00;");
    EXPECT_EQ(small[8], kGuard);

    // Both ways: any UTF-16 text, unpaired surrogates included.
    zqtest::WString text =
        zqtest::W(u"plain\u00e9\u20ac\U0001F600<&>'\"\t\r\n\xD800x\uFFFF\u0100\u3c26");
    char escaped[400];
    ZqXmlU_EscapeXmlStringLW(escaped, sizeof escaped, text.data(), nullptr);
    zqtest::Block<ZqWChar> back;
    ZqXmlU_DeEscapeTextLW(0, &back.p, escaped, 0, Tag());
    EXPECT_EQ(zqtest::WString(back.p), text);
}

TEST(Escape, NeedsEscaping) {
    const std::pair<std::string, int> cases[] = {
        {"", 0},        {"plain \xC3\xA9 \x01", 0},
        {"a&amp;<", 2}, {"&#x;", 1},
        {"&#;", 2},     {"&#x4G;", 1},
        {"a&", 1},      {"AT&T", 2},
        {"&#X41;", 1},  {"&#12", 1},
        {"&quot", 2},   {"x'\">", 2},
        {"&#1;&", 1},   {"&lt;&gt;&quot;&apos;&amp;&#xaF09;&#65;", 0},
    };
    for (auto [text, expected] : cases)
        EXPECT_EQ(ZqXmlU_NeedsEscapingA(text.data()), expected) << text;
    // Long texts are scanned in 4 KiB pieces: references across a boundary, markup after one.
    const std::string a4094(4094, 'a');
    for (auto [tail, expected] :
         {std::pair{"&amp;b", 0}, std::pair{"&#x41;", 0}, std::pair{"&amb;", 2},
          std::pair{"&#x4", 1}, std::pair{"bc>", 2}, std::pair{"bcd&", 1}}) {
        std::string text = a4094 + tail;
        EXPECT_EQ(ZqXmlU_NeedsEscapingA(text.data()), expected) << tail;
    }
    zqtest::WString wide = zqtest::W(std::u16string(300, u'\u00e9') + u"&#x41;");
    EXPECT_EQ(ZqXmlU_NeedsEscapingW(wide.data()), 0);
    wide += zqtest::W(u"&b");
    EXPECT_EQ(ZqXmlU_NeedsEscapingW(wide.data()), 2);
}

// ---- De-escaping ----

// Decodes `in` (with the 0 form when zeroForm) into a new block when size is 0 (of 2 x length + 10
// bytes, 8 x length + 10 for the 0 form), else into a caller's buffer of `size` bytes followed by
// guard bytes that must stay intact. Returns the bytes before the final NUL; stores the result.
std::string Decode(const std::string& in, int size, bool zeroForm = false, int* result = nullptr) {
    Text text(in);
    const size_t room = size > 0 ? static_cast<size_t>(size) : 0;
    std::vector<char> buf(room + 16, kGuard);
    zqtest::Block<char> block;
    char* p = buf.data();
    char** out = size ? &p : &block.p;
    const int r = zeroForm ? ZqXmlU_DeEscapeText0(0, out, text, size, Tag())
                           : ZqXmlU_DeEscapeTextA(0, out, text, size, Tag());
    if (result) *result = r;
    if (size == 0) {
        EXPECT_EQ(ZqXmlU_GetUsedSpace(block.p), (zeroForm ? 8 : 2) * in.size() + 10);
        return std::string(block.p, zeroForm ? std::strlen(block.p) : static_cast<size_t>(r - 1));
    }
    for (size_t i = room; i < buf.size(); ++i)
        EXPECT_EQ(buf[i], kGuard) << "write past the size at " << i;
    return std::string(buf.data(), strnlen(buf.data(), room));
}

TEST(DeEscape, IntoANewBlockOrACallersBuffer) {
    const std::string twenty = "abcdefghijklmnopqrst", quot = "a &lt;b&gt; &amp;amp; &quot;q&quot;";
    // Size 0: a new block. Otherwise a caller's buffer of that size, where "..." and its NUL end a
    // text that does not fit (sizes below the mark cut it, keeping the NUL). The result counts the
    // bytes written, NUL or mark included; the 0 form returns 0 and has no room beyond the size.
    const std::tuple<std::string, int, bool, std::string, int> cases[] = {
        {quot + " &apos;", 0, false, "a <b> &amp; \"q\" '", 18},
        {quot, 0, true, "a <b> &amp; \"q\"", 0},
        {"&#x41;&#x62;&#67;&#x4A;&#x4a;", 0, false, "AbCJJ", 6},
        {"AT&T &nbsp; &am &amp &lt &#", 0, false, "AT&T &nbsp; &am &amp &lt \0"s, 27},
        {"x&#;y&#x;&#xZq", 0, false, "x\0y\0\0q"s, 7},
        {"&#x41 b&#X41;", 0, false, "Ab\0"s + "41;", 7},
        {"&#x20AC;&#256;&#65601;&#x00000000000000000041;", 0, false, "\xAC\0AA"s, 5},
        {"ab&#x41", 0, false, "abA", 4},
        {"\x01\x7F\x80\xFF&\xC3\xA9", 0, false, "\x01\x7F\x80\xFF&\xC3\xA9", 8},
        {twenty, 8, false, "abc...", 7},
        {twenty, 3, false, "..", 3},
        {"&lt;&lt;&lt;&lt;&lt;&lt;", 9, false, "<<<<...", 8},
        {"hello", 6, false, "hello", 6},  // capacity beyond the length: never a mark
        {"hello", 5, false, "...", 4},    // capacity of the length: the mark from the start
        // The mark where a whole vector block (16, 32, 64 bytes) would just fit before it.
        {std::string(100, 'x'), 20, false, std::string(15, 'x') + "...", 19},
        {std::string(100, 'x'), 36, false, std::string(31, 'x') + "...", 35},
        {std::string(100, 'x'), 68, false, std::string(63, 'x') + "...", 67},
        {std::string(64, 'x') + "&gt;", 69, false, std::string(64, 'x') + ">", 66},
        {"hello", 10, true, "hello...", 0},
        {"hello", 11, true, "hello", 0},
        {"hello", -1, false, "", 0},
    };
    for (const auto& [in, size, zeroForm, out, result] : cases) {
        int r = -1;
        EXPECT_EQ(Decode(in, size, zeroForm, &r), out) << in << " " << size;
        EXPECT_EQ(r, result) << in << " " << size;
    }
    for (auto [size, expected] : {std::pair{9, "1 < 2"}, std::pair{8, "1 <..."}}) {
        char buf[] = "1 &lt; 2";  // in place
        char* p = buf;
        ZqXmlU_DeEscapeTextA(0, &p, buf, size, Tag());
        EXPECT_STREQ(buf, expected);
    }
}

TEST(DeEscape, WideForms) {
    Text cafe("caf&#xC3;&#xA9; &lt;");
    zqtest::Block<ZqWChar> wide;
    EXPECT_EQ(ZqXmlU_DeEscapeTextW(0, &wide.p, cafe, 0, Tag()), 7);
    EXPECT_EQ(zqtest::U16(wide.p), u"caf\u00e9 <");
    EXPECT_EQ(std::memcmp(reinterpret_cast<char*>(wide.p) - 8, "3est", 4), 0);
    ZqWChar buf[21] = {};
    ZqWChar* p = buf;
    EXPECT_EQ(ZqXmlU_DeEscapeTextW(0, &p, cafe, 21, Tag()), 7);
    EXPECT_EQ(zqtest::U16(buf), u"caf\u00e9 <");
    EXPECT_EQ(ZqXmlU_DeEscapeTextW(0, &p, cafe, 6, Tag()), 5);  // cut while still bytes
    EXPECT_EQ(zqtest::U16(buf), u"c...");
    Text longIn(std::string(6000, 'a') + "&amp;");  // beyond the 4096-byte local temporary
    std::vector<ZqWChar> longOut(7000);
    p = longOut.data();
    EXPECT_EQ(ZqXmlU_DeEscapeTextW(0, &p, longIn, 7000, Tag()), 6002);
    EXPECT_EQ(longOut[6000], u'&');
    // A short tag is filled up with '_': the result and the temporary are released (the leak
    // checker of the sanitized build sees the temporary).
    char shortTag[] = "ab";
    zqtest::Block<ZqWChar> tagged;
    EXPECT_EQ(ZqXmlU_DeEscapeTextW(0, &tagged.p, longIn, 0, shortTag), 6002);
    EXPECT_EQ(std::memcmp(reinterpret_cast<char*>(tagged.p) - 8, "3b__", 4), 0);
}

TEST(DeEscape, LForm) {
    const std::pair<std::string, std::u16string> cases[] = {
        {"A&#x00;&#x00;&#x00;", u"A"},
        {"&lt;&#x00;&#xAC;&#x20;&#x00;&#x00;", u"<\u20AC"},
        {"A", u"..."},  // the room (length + 10 units) is counted in bytes written
    };
    for (const auto& [in, expected] : cases) {
        Text text(in);
        zqtest::Block<ZqWChar> wide;
        EXPECT_EQ(ZqXmlU_DeEscapeTextLW(0, &wide.p, text, 0, Tag()), 0);
        EXPECT_EQ(zqtest::U16(wide.p), expected) << in;
        EXPECT_EQ(ZqXmlU_GetUsedSpace(wide.p), (expected.size() + 3) * 2);
    }
    // A caller's buffer: decoding goes on while bytes written + 10 < size; an odd last byte is
    // dropped before the mark; sizes below the mark cut it.
    Text three("A&#x00;B&#x00;C&#x00;");
    for (auto [size, expected] :
         {std::pair{12, u"A..."}, std::pair{13, u"A..."}, std::pair{14, u"AB..."},
          std::pair{17, u"ABC"}, std::pair{3, u".."}}) {
        std::vector<ZqWChar> buf(static_cast<size_t>(size) + 8, 0);
        buf[static_cast<size_t>(size)] = 0x7E7E;
        ZqWChar* p = buf.data();
        ZqXmlU_DeEscapeTextLW(0, &p, three, size, Tag());
        EXPECT_EQ(zqtest::U16(buf.data()), expected) << size;
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

// ---- Keyword names ----

TEST(Keyword, Rules) {
    const std::string k100(100, 'k');
    const std::tuple<std::string, int, int, int, std::string> cases[] = {
        {"2009 trip", 64, 0, 0, "Number_2009_trip"},
        {"2009 trip", 64, 1, 0, "Code_2009_trip"},
        {"  -hello", 64, 0, 0, "__-hello"},
        {"-hello", 64, 0, 0, "hello"},
        {"a:b a.b a-b", 64, 0, 0, "a_b_a_b_a-b"},
        {"A&B/C\\D,E|F", 64, 0, 0, "A_B_C_D_E_F"},
        {"\xCC\x81\xD9\xA3x\xC2\xB7\xCC\x81!", 64, 0, 0, "x\xC2\xB7\xCC\x81_"},
        {"\xD9\xA3 \xE4\xB8\xAD\xE3\x80\x87", 64, 0, 0, "Number_\xD9\xA3_\xE4\xB8\xAD\xE3\x80\x87"},
        {"\xFF\xF0\x9F\x98\x80xyz\xF0\x9F\x98\x80", 64, 0, 0, "xyz__"},
        {k100, 20, 0, 0, k100.substr(0, 20)},
        {"7" + k100, 64, 0, 0, "Number_7" + k100.substr(0, 56)},
        {"abc", -5, 0, 0, ""},
        {"\xC3\xA9\xC3\xA9\xC3\xA9", 5, 0, 0, "\xC3\xA9\xC3\xA9"},  // cut before a whole character
        {"name=value", 64, 0, 1, "name"},
        {":a", 64, 0, 1, "x"},
    };
    for (const auto& [in, limit, code, firstToken, expected] : cases) {
        Text text(in);
        std::vector<char> out(80, kGuard);
        ZqXmlU_KeywordizeA(out.data(), text, limit, code, firstToken);
        EXPECT_EQ(std::string(out.data()), expected) << in << " " << limit;
        EXPECT_EQ(out[66], kGuard);
    }
    std::vector<char> big(201, kGuard);  // the wide form: no "x"; a limit above 64 counts as 64
    for (auto [in, length] :
         {std::pair{u"#1"s, 0u}, std::pair{std::u16string(150, u'\u00e9'), 64u}}) {
        ZqXmlU_KeywordizeW(big.data(), zqtest::W(in).data(), 200, 0, 0);
        EXPECT_EQ(std::strlen(big.data()), length);
        EXPECT_EQ(big[65], kGuard);
    }
}

// ---- Element content ----

TEST(Content, MeasureAndConstruct) {
    const std::tuple<std::string, ZqLong, ZqLong, std::string, ZqLong> cases[] = {
        {"<a>Hello &amp; bye</a>", 3, 15, "Hello &amp; bye", 18},
        {"x<!-- note -->y</a>", 0, 15, "xy", 15},
        {"<![CDATA[a<b]]></a>", 0, 15, "a<b", 15},
        {"<![ CDATA[a]]></a>", 0, 14, "", 0},
        {"ab<![INCLUDE[x]]>", 1, -1, "b", -2},
        {"ab<c/>d", 0, 2, "ab", -2},
        {"a<!-- b", 0, 7, "a", 7},
        {"a<!-->b-->c<", 0, 11, "ac", -11},
        {"<![CDATA[open", 0, 13, "open", 13},
        {"<!-- <x> -->t<![CDATA[<!-- -->]]>u</b>", 0, 34, "t<!-- -->u", 34},
    };
    for (const auto& [in, start, measure, content, result] : cases) {
        Text text(in);
        EXPECT_EQ(ZqXmlU_MeasureStringSize(text, start), measure) << in;
        std::vector<char> out(in.size() + 2, kGuard);
        EXPECT_EQ(ZqXmlU_ConstructContent(text, start, out.data()), result) << in;
        EXPECT_STREQ(out.data(), content.c_str()) << in;
    }
}

// ---- Hostile callers ----

// NULLs, texts and outputs that end exactly at an inaccessible page, and outputs that overlap the
// text: answers within the sizes given, nothing read or written past them.
TEST(EscapeAndDeEscape, HostileInputs) {
    char* none = nullptr;
    EXPECT_EQ(ZqXmlU_NeedsEscapingA(nullptr), 0);
    EXPECT_EQ(ZqXmlU_DoEscaping(0, nullptr, Text("a<"), 0, 0, 0, Tag()), 1);  // report only
    EXPECT_EQ(ZqXmlU_DeEscapeTextA(0, nullptr, Text("&lt;"), 0, Tag()), 0);
    EXPECT_EQ(ZqXmlU_DeEscapeTextA(0, &none, Text("&lt;"), 8, Tag()), 0);  // a size, no buffer
    {
        zqtest::Block<char> b;
        EXPECT_EQ(ZqXmlU_DeEscapeTextA(0, &b.p, nullptr, 0, Tag()), 1);
        EXPECT_STREQ(b.p, "");
    }
    // Texts cut inside an entity or a reference, ending at the page.
    for (const char* cut :
         {"&", "&#", "&#x", "&#x4", "&#65", "&l", "&lt", "&amp", "&apos", "&quo"}) {
        zqtest::PageEnd text{std::string(cut)};
        EXPECT_EQ(ZqXmlU_NeedsEscapingA(text), cut[1] == '#' ? 1 : cut[1] ? 2 : 1) << cut;
        zqtest::Block<char> b;
        EXPECT_GE(ZqXmlU_DeEscapeTextA(0, &b.p, text, 0, Tag()), 1) << cut;
        zqtest::PageEnd in(std::string(cut).size() + 1);  // in place, at the page
        std::memcpy(in.data(), cut, in.size());
        char* p = in;
        ZqXmlU_DeEscapeTextA(0, &p, p, static_cast<ZqLong>(in.size()), Tag());
    }
    // Outputs of exactly the size written, at the page: an entity and its NUL; a decoded vector
    // block and its NUL; an escaped vector block.
    zqtest::PageEnd lt(5), block(65), escaped(65);
    char* p = lt;
    EXPECT_EQ(ZqXmlU_DoEscaping(0, &p, Text("<"), 0, 5, 0, Tag()), 1);
    EXPECT_STREQ(lt, "&lt;");
    zqtest::PageEnd x64{std::string(64, 'x')};
    p = block;
    EXPECT_EQ(ZqXmlU_DeEscapeTextA(0, &p, x64, 65, Tag()), 65);
    EXPECT_EQ(std::string(block), std::string(64, 'x'));
    p = escaped;
    EXPECT_EQ(ZqXmlU_DoEscaping(0, &p, x64, 0, 65, 0, Tag()), 0);
    EXPECT_EQ(std::string(escaped), std::string(64, 'x'));
    // An output that overlaps the end of the text: its first bytes replace the NUL with digits,
    // while a reference before it is still to be read; the buffer ends at the page.
    zqtest::PageEnd digits(16);
    std::memcpy(digits.data(),
                "99999&#1\0"
                "9999999",
                16);
    p = digits.data() + 7;
    EXPECT_LE(ZqXmlU_DeEscapeTextA(0, &p, digits, 9, Tag()), 9);
    // An output that overlaps the text one byte further on, and escaping into the text itself.
    for (const std::string& in : {"&#x41;&lt;&amp;&#"s, std::string(70, 'y') + "&#9", "a<b>&c"s}) {
        std::vector<char> buf(in.size() + 2, '\0');
        std::memcpy(buf.data(), in.c_str(), in.size() + 1);
        char* out = buf.data() + 1;
        const int n =
            ZqXmlU_DeEscapeTextA(0, &out, buf.data(), static_cast<ZqLong>(in.size() + 1), Tag());
        EXPECT_TRUE(n >= 1 && static_cast<size_t>(n) <= in.size() + 1) << in;
        std::memcpy(buf.data(), in.c_str(), in.size() + 1);
        out = buf.data();
        ZqXmlU_DoEscaping(0, &out, buf.data(), 0, static_cast<ZqULong>(buf.size()), 0, Tag());
    }
}

// ---- Every vector form against the scalar one ----

// What one tier makes of a text: the needs-escaping test; de-escaping into a buffer apart, in
// place and into a cut buffer; escaping into a new output of exactly the worst case (filled a
// block at a time, zeros after the text) and into a cut buffer. Outputs are exactly as large as
// allowed, so that AddressSanitizer sees a store past them.
std::string RunOn(zq::cpu::Tier tier, const std::string& in, size_t cut) {
    const size_t len = in.size();
    std::vector<char> apart(len + 1), inPlace(in.c_str(), in.c_str() + len + 1), small(cut);
    const size_t n = zq::DecodeOn(tier, in.c_str(), len, apart.data(), len + 1, len + 6);
    EXPECT_EQ(zq::DecodeOn(tier, inPlace.data(), len, inPlace.data(), len + 1, len + 6), n);
    EXPECT_TRUE(std::equal(apart.begin(), apart.begin() + static_cast<long>(n), inPlace.begin()));
    const size_t m =
        zq::DecodeOn(tier, in.c_str(), len, small.data(), cut, cut > len ? cut + 5 : cut);
    const auto* u = reinterpret_cast<const unsigned char*>(in.data());
    std::vector<char> fresh(6 * len + 1), bounded(cut);
    const int bits = zq::EscapeOn(tier, u, len, fresh.data(), fresh.size(), true);
    EXPECT_TRUE(std::all_of(fresh.begin() + static_cast<long>(std::strlen(fresh.data())),
                            fresh.end(), [](char c) { return !c; }));
    EXPECT_EQ(zq::EscapeOn(tier, u, len, bounded.data(), cut, false), bits);
    EXPECT_EQ(zq::EscapeOn(tier, u, len, nullptr, 0, false), bits);
    return std::to_string(zq::NeedsEscapingOn(tier, in.c_str())) + "|" + std::to_string(bits) +
           "|" + std::string(apart.data(), n) + "|" + std::string(small.data(), m) + "|" +
           fresh.data() + "|" + std::string(bounded.data(), strnlen(bounded.data(), cut));
}

TEST(Tiers, EveryVectorFormAgreesWithTheScalarOne) {
    static const char* const kPieces[] = {
        "&amp;", "&lt;", "&gt;",     "&quot;", "&apos;", "&#x41;", "&#65;", "&#x;",
        "&#;",   "&",    "<",        ">",      "'",      "\"",     "a",     "plain text ",
        "\x01",  "\t",   "\xC3\xA9", "&#X4",   "&#",     ";",      "&am",   "&#x41&amp;",
        "\x7F",  "\r\n", "\x1F",     "\xFD",   "\xBC"};
    std::mt19937 rng(7);
    const zq::cpu::Tier widest = zq::cpu::Detect().widest;
    for (int round = 0; round < 3000; ++round) {
        std::string in;
        const int pieces = static_cast<int>(rng() % 60);
        for (int i = 0; i < pieces; ++i)  // mostly plain runs, so that blocks of every width occur
            in += rng() % 3 ? std::string(rng() % 140, 'x') : kPieces[rng() % std::size(kPieces)];
        if (round % 4 == 0) {  // no markup in some rounds, so that the scan reaches the end
            for (char& c : in) {
                if (c == '<' || c == '>' || c == '\'' || c == '"') c = 'y';
            }
        }
        const size_t cut = 1 + rng() % (in.size() + 8);
        const std::string scalar = RunOn(zq::cpu::Tier::kScalar, in, cut);
        for (zq::cpu::Tier tier : zq::cpu::kTiers) {
            if (tier > widest) break;
            ASSERT_EQ(RunOn(tier, in, cut), scalar) << zq::cpu::TierName(tier) << ": " << in;
        }
    }
}

#ifdef ZQ_TOOL
TEST(Tool, TextCommands) {
    const std::tuple<std::string, std::string, std::string, int> cases[] = {
        {"escape", "a<b & \"c\"\n", "a&lt;b &amp; &quot;c&quot;\n", 0},
        {"escape --lform", "A<", "A&#x00;&lt;&#x00;", 0},
        {"unescape", "x&#;y &lt;", "x\0y <"s, 0},
        {"unescape --lform", "A&#x00;&lt;&#x00;&#x00;&#x00;", "A<\0"s, 0},
        {"needs-escaping 'AT&T'", "", "2\n", 0},
        {"keyword --code --first-token --limit 9 '2009 trip'", "", "Code_2009\n", 0},
        {"keyword --limit 65 x", "", "", 2},
    };
    for (const auto& [args, input, out, status] : cases) {
        const zqtest::RunResult r = zqtest::Run(std::string(ZQ_TOOL) + " " + args, input);
        EXPECT_EQ(r.status, status) << args << r.err;
        EXPECT_EQ(r.out, out) << args;
    }
}
#endif

}  // namespace
