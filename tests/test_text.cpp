// XML text encoding: character classes, escaping, de-escaping, keyword names, element content.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support.h"
#include "text/charclass.h"
#include "zqxmlu.h"

namespace {

using zqtest::Tag;
using zqtest::Text;

constexpr char kGuard = '\x7E';

// ---- Character classes ----

enum ClassBits { kBase = 1, kIdeo = 2, kComb = 4, kDigit = 8, kExt = 16 };

int ClassesOf(int32_t c) {
    return (zq::IsBaseChar(c) ? kBase : 0) | (zq::IsIdeographic(c) ? kIdeo : 0) |
           (zq::IsCombiningChar(c) ? kComb : 0) | (zq::IsDigitChar(c) ? kDigit : 0) |
           (zq::IsExtender(c) ? kExt : 0);
}

// Declared first, so that these threads are the first to ask for every table.
TEST(CharClass, FirstUseFromManyThreads) {
    std::vector<std::thread> threads;
    std::vector<int> seen(8);
    for (size_t t = 0; t < seen.size(); ++t) {
        threads.emplace_back([&seen, t] {
            seen[t] = ClassesOf(0xD7A3) | ClassesOf(0x3029) | ClassesOf(0x309A) |
                      ClassesOf(0x0F29) | ClassesOf(0x30FE);
        });
    }
    for (std::thread& th : threads)
        th.join();
    for (int bits : seen)
        EXPECT_EQ(bits, kBase | kIdeo | kComb | kDigit | kExt);
}

TEST(CharClass, TablesMatchTheProductionsFile) {
    const zq::CharClass classes[] = {zq::CharClass::kBaseChar, zq::CharClass::kIdeographic,
                                     zq::CharClass::kCombiningChar, zq::CharClass::kDigit,
                                     zq::CharClass::kExtender};
    const int counts[] = {202, 3, 95, 15, 11};
    std::ifstream in(std::string(ZQ_TEST_DATA) + "/xml-char-classes.txt");
    std::string line;
    size_t k = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#' || line[0] == '[') continue;
        ASSERT_LT(k, std::size(classes)) << line;
        std::string production;
        ASSERT_TRUE(std::getline(in, production));
        const zq::CharRangeTable& t = zq::FilledTable(classes[k]);
        EXPECT_EQ(production, t.production) << line;
        // Ranges read independently from the file.
        int n = 0;
        for (size_t at = production.find('['); at != std::string::npos;
             at = production.find('[', at + 1), ++n) {
            unsigned lo = 0, hi = 0;
            ASSERT_EQ(std::sscanf(production.c_str() + at, "[#x%x-#x%x]", &lo, &hi), 2);
            ASSERT_LT(n, t.capacity - 1);
            EXPECT_EQ(t.low[n], static_cast<int32_t>(lo)) << line << " range " << n;
            EXPECT_EQ(t.high[n], static_cast<int32_t>(hi)) << line << " range " << n;
        }
        EXPECT_EQ(n, counts[k]) << line;
        EXPECT_EQ(t.low[n], 0);
        EXPECT_EQ(t.high[n], 0);
        ++k;
    }
    EXPECT_EQ(k, std::size(classes));
}

TEST(CharClass, Membership) {
    const std::pair<int32_t, int> cases[] = {
        {0, 0},           {-1, 0},         {INT32_MIN, 0},  {'A', kBase},    {'0', kDigit},
        {0x5B, 0},        {0xAC00, kBase}, {0xD7A3, kBase}, {0xD7A4, 0},     {0x0F20, kDigit},
        {0x0F29, kDigit}, {0x30FC, kExt},  {0x30FE, kExt},  {0x309A, kComb}, {0x0386, kBase},
        {0x2126, kBase},  {0x05BF, kComb}, {0x0670, kComb}, {0x00B7, kExt},  {0x3031, kExt},
        {0x3007, kIdeo},  {0x3021, kIdeo}, {0x3029, kIdeo}, {0x302A, kComb}, {0x4E00, kIdeo},
        {0x9FA5, kIdeo},  {0x9FA6, 0},     {0x10000, 0},    {'_', 0},        {':', 0},
    };
    for (const auto& [c, bits] : cases) {
        EXPECT_EQ(ClassesOf(c), bits) << std::hex << c;
        EXPECT_EQ(zq::IsLetter(c), (bits & (kBase | kIdeo)) ? 1 : 0) << std::hex << c;
    }
}

TEST(CharClass, ParseRangeListStaysInsideItsCapacity) {
    int32_t low[4] = {-1, -1, -1, -1}, high[4] = {-1, -1, -1, -1};
    const char five[] = "[#x0041-#x005A] | [#x0061-#x007A] | [#x00C0-#x00D6] | [#x0100-#x0131]";
    EXPECT_EQ(zq::ParseRangeList(five, low, high, 3), 2);
    EXPECT_EQ(low[1], 0x61);
    EXPECT_EQ(high[1], 0x7A);
    EXPECT_EQ(low[2], 0);
    EXPECT_EQ(low[3], -1);
    // The next range must start within 31 characters.
    const char far[] = "[#x0041-#x005A]                          [#x0061-#x007A]";
    EXPECT_EQ(zq::ParseRangeList(far, low, high, 4), 1);
    EXPECT_EQ(zq::ParseRangeList("", low, high, 4), 0);
    EXPECT_EQ(low[0], 0);
    EXPECT_EQ(zq::ParseRangeList("[#x0041", low, high, 4), 1);
    EXPECT_EQ(low[0], 0x41);
}

TEST(CharClass, ValidXmlChars) {
    using namespace std::string_literals;
    const std::pair<std::string, bool> cases[] = {
        {"a\t\r\n~", true},  {"\x7F", true},   {" ", true},     {"\x80", false},
        {"\xC3\xA9", false}, {"a\0b"s, false}, {"\x1F", false}, {"\x0B", false},
    };
    for (const auto& [text, valid] : cases) {
        std::string copy = text;
        EXPECT_EQ(ZqXmlU_ValidXmlChars(copy.data(), static_cast<unsigned>(copy.size())), valid)
            << text;
    }
    char bad[] = "\x01";
    EXPECT_TRUE(ZqXmlU_ValidXmlChars(bad, 0));
    char longer[] = "ok\x01";
    EXPECT_TRUE(ZqXmlU_ValidXmlChars(longer, 2));  // the length alone bounds the scan
}

// ---- De-escaping ----

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
