// XML document scanning and editing: the scanners, element access and editing, comments, files
// and the tree view.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support.h"
#include "zqxmlu.h"
#include "zqxmlu_treectrl.h"

namespace {

using zqtest::Text;

// The text in a heap block of exactly its size (NUL included), so that AddressSanitizer reports
// any read past the terminator.
struct Exact {
    explicit Exact(const std::string& s) : p(static_cast<char*>(std::malloc(s.size() + 1))) {
        std::memcpy(p, s.c_str(), s.size() + 1);
    }
    ~Exact() { std::free(p); }
    Exact(const Exact&) = delete;
    Exact& operator=(const Exact&) = delete;
    char* p;
};

// ---------------------------------------------------------------------------------------------
// Scanners
// ---------------------------------------------------------------------------------------------

struct UnquotedCase {
    const char* text;
    int start;
    const char* target;
    int mode;
    int expected;
};

TEST(FindNextUnquoted, QuotesCommentsAndModes) {
    const UnquotedCase cases[] = {
        // Markup mode skips quoted runs; plain mode does not.
        {"<a b='x>y'>", 0, ">", 0, 10},
        {"<a b='x>y'>", 0, ">", 2, 7},
        {"<a b=\"x'>\">", 0, ">", 0, 10},  // the other quote is ordinary inside a run
        {"<a b='x>y>", 0, ">", 0, -1},     // unterminated run
        {"<a b='x>y'>", 0, ">", 7, 10},    // other modes behave as mode 0
        {"<a b='x>y'>", 0, ">", -1, 10},
        // The target test comes first, so a quote target matches at the quote.
        {"ab'cd'", 0, "'", 0, 2},
        {"ab'cd'", 0, "'c", 1, 2},
        // Content mode skips comments whole; a comment's own "<" still matches "<".
        {"ab<!-- < --></t>", 0, "</", 1, 12},
        {"ab<!-- < --></t>", 0, "<", 1, 2},
        {"ab<!-- </t> --><!----></t>", 0, "</", 1, 22},
        {"ab<!-- never closed </t>", 0, "</", 1, -1},
        {"it's</t>", 0, "<", 1, -1},  // a raw quote in content mode
        {"it\"s</t>", 0, "<", 1, -1},
        // Markup and plain mode see no comments.
        {"ab<!-- </t> -->", 0, "</", 0, 7},
        {"ab<!-- </t> -->", 0, "</", 2, 7},
        // Positions count from the buffer, not from start.
        {"<a><b>", 3, "<", 0, 3},
        {"<a><b>", 4, "<", 0, -1},
        {"xx'yy'zz'", 3, "z", 0, -1},  // from inside a run, its closing quote opens one
        // Empty targets and the NUL.
        {"abc", 1, "", 0, 1},
        {"abc", 3, "", 0, -1},
        {"abc", 3, ">", 2, -1},
        {"", 0, "", 1, -1},
        // Longer targets, partial matches and the end of the text.
        {"</ab</abc>", 0, "</abc", 0, 4},
        {"</ab", 0, "</abc", 2, -1},
        {"aaab", 0, "aab", 2, 1},
    };
    for (const auto& c : cases) {
        Exact text(c.text);
        EXPECT_EQ(ZqXmlU_FindNextUnquoted(text.p, c.start, const_cast<char*>(c.target), c.mode),
                  c.expected)
            << "text '" << c.text << "' start " << c.start << " target '" << c.target << "' mode "
            << c.mode;
    }
}

TEST(FindNextUnquoted, PlainModeAcrossLongTexts) {
    // Plain mode searches in pieces; matches that straddle a piece edge must be found.
    for (size_t at : {0u, 15u, 16u, 16383u, 16384u, 16385u, 40000u}) {
        std::string s(50000, 'n');
        s.replace(at, 6, "needle");
        Exact text(s);
        char needle[] = "needle";
        EXPECT_EQ(ZqXmlU_FindNextUnquoted(text.p, 0, needle, 2), static_cast<ZqLong>(at));
        EXPECT_EQ(ZqXmlU_FindSubstring(text.p, needle), static_cast<int>(at));
        EXPECT_EQ(ZqXmlU_FindNextUnquoted(text.p, static_cast<ZqLong>(at + 1), needle, 2), -1);
    }
}

TEST(FindUnquotedWhitespace, StopsAtSpaceNulOrGreater) {
    const struct {
        const char* text;
        int stopAtGreater;
        int expected;
    } cases[] = {
        {"a='b c' d", 0, 7}, {"abc>", 1, 3},       {"abc>", 0, 4}, {"a'bc", 0, 4},
        {"a\tb", 0, 1},      {"a\rb", 0, 1},       {"a\nb", 0, 1}, {"", 1, 0},
        {"'> '>", 1, 4},     {"\"a'b\"c d", 0, 6}, {"x\"y", 1, 3},
    };
    for (const auto& c : cases) {
        Exact text(c.text);
        EXPECT_EQ(ZqXmlU_FindUnquotedWhitespace(text.p, c.stopAtGreater), c.expected)
            << "'" << c.text << "'";
    }
}

TEST(FindXmlEnd, BalancesTagsCommentsAndQuotes) {
    const struct {
        const char* text;
        int expected;
    } cases[] = {
        {"x<a/>", -1},
        {"", -1},
        {"<a/>", 3},
        {"<a></a>", 6},
        {"<a><b/>x</a>", 11},
        {"<a>", -1},
        {"<a><!-- </a> --></a>", 19},
        {"<a t=\"/>\"></a>", 13},
        {"<a t='x></a>", -1},           // unterminated run
        {"<a><!-- </a>", -1},           // unterminated comment
        {"<a>it's</a>", -1},            // a quote in content opens a run
        {"<a>it's it's</a>trail", 15},  // ... which a second quote closes
        {"<a><b><c/></b></a><d/>", 17},
        {"<a><?pi?></a>", -1},  // a processing instruction never balances
        {"<a/><b/>", 3},
        {"<a>x</a >", 8},
    };
    for (const auto& c : cases) {
        Exact text(c.text);
        EXPECT_EQ(ZqXmlU_FindXmlEnd(text.p), c.expected) << "'" << c.text << "'";
    }
}

TEST(FindXmlEnd, DeepNestingNeedsNoStack) {
    const int depth = 100000;
    std::string s;
    for (int i = 0; i < depth; ++i)
        s += "<e>";
    for (int i = 0; i < depth; ++i)
        s += "</e>";
    Exact text(s);
    EXPECT_EQ(ZqXmlU_FindXmlEnd(text.p), static_cast<ZqLong>(s.size() - 1));
}

TEST(FindSubstring, PlainSearch) {
    const struct {
        const char* text;
        const char* target;
        int expected;
    } cases[] = {
        {"abcabc", "ca", 2}, {"abcabc", "", -1}, {"", "", -1},      {"", "a", -1},
        {"abc", "abcd", -1}, {"aab", "ab", 1},   {"x'y'z", "z", 4}, {"<!--a-->", "a", 4},
    };
    for (const auto& c : cases) {
        Exact text(c.text);
        EXPECT_EQ(ZqXmlU_FindSubstring(text.p, const_cast<char*>(c.target)), c.expected)
            << "'" << c.text << "' / '" << c.target << "'";
    }
}

TEST(Scanners, NullArgumentsGiveTheFailedAnswer) {
    char text[] = "<a/>";
    char target[] = "a";
    EXPECT_EQ(ZqXmlU_FindNextUnquoted(nullptr, 0, target, 0), -1);
    EXPECT_EQ(ZqXmlU_FindNextUnquoted(text, 0, nullptr, 0), -1);
    EXPECT_EQ(ZqXmlU_FindNextUnquoted(text, -1, target, 0), -1);
    EXPECT_EQ(ZqXmlU_FindUnquotedWhitespace(nullptr, 1), 0);
    EXPECT_EQ(ZqXmlU_FindXmlEnd(nullptr), -1);
    EXPECT_EQ(ZqXmlU_FindSubstring(nullptr, target), -1);
    EXPECT_EQ(ZqXmlU_FindSubstring(text, nullptr), -1);
}

// ---------------------------------------------------------------------------------------------
// Element access and editing
// ---------------------------------------------------------------------------------------------

TEST(GetContents, SimpleContentAtAPosition) {
    const struct {
        const char* text;
        int pos;
        int expected;
        const char* contents;
    } cases[] = {
        {"<t>a &amp; b</t>", 3, 1, "a & b"},
        {"<t>&lt;&#65;&#x42;&quot;</t>", 3, 1, "<AB\""},
        {"<t></t>", 3, 1, ""},
        {"<t a=1>v</t>", 1, 1, "v"},        // from inside the start tag
        {"<t a='1'>v</t>", 1, 0, nullptr},  // ... where a quote ends the search
        {"<t><u/></t>", 3, 0, nullptr},
        {"<t>x<!-- c --></t>", 3, 0, nullptr},
        {"<t>x<![CDATA[y]]></t>", 3, 0, nullptr},
        {"<t>it's</t>", 3, 0, nullptr},  // a raw quote ends the search
        {"<t>no end", 3, 0, nullptr},
        {"x</t>", 0, -1, nullptr},   // no ">" before the end tag
        {">x</t>", 0, -1, nullptr},  // index 0 is not examined
        {"</t>", 0, -1, nullptr},
        {"<t>v</t>", -1, 0, nullptr},
    };
    for (const auto& c : cases) {
        Exact text(c.text);
        char* contents = reinterpret_cast<char*>(&text);  // must be reset
        EXPECT_EQ(ZqXmlU_GetContents(text.p, c.pos, contents), c.expected) << c.text;
        if (c.contents) {
            ASSERT_NE(contents, nullptr) << c.text;
            EXPECT_STREQ(contents, c.contents);
            void* p = contents;
            ZqXmlU_Free(&p);
        } else {
            EXPECT_EQ(contents, nullptr) << c.text;
        }
    }
}

TEST(GetElementContents, WholeContent) {
    const struct {
        const char* text;
        const char* name;
        int how;
        int expected;
        const char* contents;  // nullptr: stored NULL
    } cases[] = {
        {"<s a='1'>xy</s>", "s", 1, 1, "xy"},
        {"<s></s>", "s", 1, 1, nullptr},
        {"<sx>1</sx>", "s", 1, 0, nullptr},
        {"<s>1</sx>", "s", 1, 0, nullptr},
        {"<s\n>a<!-- c -->&amp;<b/></s\t>", "s", 1, 1, "a<!-- c -->&amp;<b/>"},  // raw
        {"<s/><t/></s>", "s", 1, 1, "<t/>"},  // a self-closing start runs to the next end tag
        {"<p:s>1</p:s>", "s", 1, 0, nullptr},
        {"<s>1</s>", "s", 3, 1, nullptr},  // other values: existence only
        {"<s>1", "s", 3, 0, nullptr},
    };
    for (const auto& c : cases) {
        Exact text(c.text);
        char* contents = reinterpret_cast<char*>(&text);
        EXPECT_EQ(ZqXmlU_GetElementContents(text.p, const_cast<char*>(c.name), &contents, nullptr,
                                            c.how, 0, 0, zqtest::Tag()),
                  c.expected)
            << c.text;
        if (c.how != 1 || c.expected != 1) continue;  // contents untouched
        if (c.contents) {
            ASSERT_NE(contents, nullptr);
            EXPECT_STREQ(contents, c.contents);
            void* p = contents;
            ZqXmlU_Free(&p);
        } else {
            EXPECT_EQ(contents, nullptr) << c.text;
        }
    }
}

std::vector<std::string> Items(const std::string& s, const char* name, int maxItems, int* result) {
    Exact text(s);
    ZQ_KWLIST_STRUCT_T items{};
    *result = ZqXmlU_GetElementContents(text.p, const_cast<char*>(name), nullptr, &items, 2,
                                        maxItems, 0, zqtest::Tag());
    std::vector<std::string> out;
    for (int i = 0; i < items.count; ++i) {
        out.emplace_back(reinterpret_cast<const char*>(items.keys[i]));
        EXPECT_EQ(items.values[i], 0u);
    }
    ZqXmlU_FreeKwAllocList(&items);
    return out;
}

TEST(GetElementContents, ListItems) {
    using V = std::vector<std::string>;
    const std::string bag =
        "<dc:subject><rdf:Bag><rdf:li>a</rdf:li><rdf:li xml:lang='en'>b</rdf:li>"
        "<rdf:li></rdf:li></rdf:Bag></dc:subject>";
    const struct {
        std::string text;
        int maxItems;
        int expected;
        V items;
    } cases[] = {
        {bag, 2, 1, V{"a", "b"}},
        {bag, 0, 1, V{"a", "b", ""}},
        {bag, -1, 1, V{"a", "b", ""}},
        {bag, 3, 1, V{"a", "b", ""}},
        {"<dc:subject><rdf:li>a</rdf:li><rdf:li>b</dc:subject>", 0, 0, V{"a"}},  // no "</rdf:li"
        {"<dc:subject><rdf:li</dc:subject>", 0, 0, V{}},
        {"<dc:subject><rdf:li>a</rdf:li>", 0, 0, V{}},  // the element's end tag is needed
        // The search runs past the element's end into later lists.
        {"<dc:subject><rdf:li>a</rdf:li></dc:subject><x><rdf:li>z</rdf:li></x>", 0, 1, V{"a", "z"}},
        // "<rdf:li" needs no delimiter; "<rdf:li/>" runs to the next end tag.
        {"<dc:subject><rdf:lix>1</rdf:li><rdf:li/>2</rdf:li></dc:subject>", 0, 1, V{"1", "2"}},
        {"<dc:subjects><rdf:li>a</rdf:li></dc:subjects>", 0, 0, V{}},
    };
    for (const auto& c : cases) {
        int result = -9;
        EXPECT_EQ(Items(c.text, "dc:subject", c.maxItems, &result), c.items) << c.text;
        EXPECT_EQ(result, c.expected) << c.text;
    }
    // Many items: the list grows.
    std::string many = "<l>";
    for (int i = 0; i < 1000; ++i)
        many += "<rdf:li>" + std::to_string(i) + "</rdf:li>";
    many += "</l>";
    int result = 0;
    const V got = Items(many, "l", 0, &result);
    EXPECT_EQ(result, 1);
    ASSERT_EQ(got.size(), 1000u);
    EXPECT_EQ(got[999], "999");
}

TEST(GetParam, ResultCodes) {
    const struct {
        const char* text;
        const char* name;
        int valueSize;
        int expected;
        const char* value;  // expected value when copied
    } cases[] = {
        {"<name>abc</name>", "name", 4, 0, "abc"},
        {"<name>abc</name>", "name", 3, -2, nullptr},
        {"<name>abc</name>", "name", 0, -2, nullptr},
        {"<name/>", "name", 16, 2, nullptr},  // self-closing does not match
        {"<name a='>'>v</name>", "name", 16, 0, "v"},
        {"<name a='</name>'>v</name>", "name", 16, 0, "v"},  // end tags inside the start tag
        {"<namex>1</namex><name\n>2</name>", "name", 16, 0, "2"},
        {"<name>1</namex>", "name", 16, 0, "1"},  // no delimiter test on the end tag
        {"<name>1<name>2</name></name>", "name", 16, 0, "1<name>2"},  // no nesting count
        {"<name>abc", "name", 16, 1, nullptr},
        {"<name a='x>abc</name>", "name", 16, -1, nullptr},
        {"<x:name>1</x:name>", "name", 16, 2, nullptr},
        {"<name></name>", "name", 1, 0, ""},
        {"", "name", 16, 2, nullptr},
        {"<name>", "", 16, 2, nullptr},
        {"< >x</>", "", 16, 0, "x"},  // an empty name matches an empty tag name
    };
    for (const auto& c : cases) {
        Exact text(c.text);
        char value[16];
        std::memset(value, '#', sizeof value);
        const int r = ZqXmlU_GetParam(text.p, const_cast<char*>(c.name), value, c.valueSize);
        EXPECT_EQ(r, c.expected) << "'" << c.text << "' name '" << c.name << "'";
        if (c.value) {
            EXPECT_STREQ(value, c.value) << "'" << c.text << "'";
        } else {
            EXPECT_EQ(value[0], '#') << "value written for '" << c.text << "'";
        }
    }
    char name[] = "a";
    EXPECT_EQ(ZqXmlU_GetParam(nullptr, name, nullptr, 0), 2);
}

TEST(Excise, CutsInPlace) {
    const struct {
        const char* text;
        const char* name;
        int anyPrefix;
        int expected;
        const char* after;
    } cases[] = {
        {"<r><k>1</k>\n  <m/></r>", "k", 0, 0, "<r><m/></r>"},
        {"<r><x:k a='1'>2</x:k> <m/></r>", "k", 1, 0, "<r><m/></r>"},
        {"<r><x:k a='1'>2</x:k> <m/></r>", "k", 0, 2, nullptr},
        {"<r><k>1</y:k></k></r>", "k", 0, 0, "<r></r>"},      // unprefixed wants "</k"
        {"<r><y:k>1</k></z:k>x</r>", "k", 1, 0, "<r>x</r>"},  // prefixed wants "</p:k"
        {"<r><k/><k>1</k></r>", "k", 0, 0, "<r><k/></r>"},    // self-closing is not found
        {"<r><kk>1</kk><k\t>2</k\r></r>", "k", 0, 0, "<r><kk>1</kk></r>"},
        {"<r><k><k>1</k></k></r>", "k", 0, 0, "<r></k></r>"},  // no nesting count
        {"<!-- <k> --></k>tail", "k", 0, 0, "<!-- tail"},      // no comment awareness
        {"<r><k>1</r>", "k", 0, 1, nullptr},
        {"<r><k>1</k ", "k", 0, 3, nullptr},
        {"<r><k>1</k", "k", 0, 1, nullptr},  // a name at the NUL has no delimiter
        {"<r></r>", "k", 1, 2, nullptr},
        {"<r><:k>1</:k></r>", "k", 1, 2, nullptr},  // an empty prefix is no prefix
        {"<r><a b:k>1</k>", "k", 1, 2, nullptr},    // nor is an attribute name
    };
    for (const auto& c : cases) {
        Exact text(c.text);
        EXPECT_EQ(ZqXmlU_Excise(text.p, const_cast<char*>(c.name), c.anyPrefix), c.expected)
            << "'" << c.text << "'";
        EXPECT_STREQ(text.p, c.after ? c.after : c.text);
    }
}

// A shared XML string holding `s`, with `capacity` bytes.
char* Shared(const std::string& s, unsigned capacity) {
    auto* p = static_cast<char*>(ZqXmlU_xml_alloc(capacity, zqtest::Tag()));
    std::memcpy(p, s.c_str(), s.size() + 1);
    return p;
}

uint32_t SharedSize(const char* p) {
    uint32_t size;
    std::memcpy(&size, p - 4, sizeof size);
    return size;
}

TEST(InsertString, AnchorsPositionsAndReplacement) {
    const struct {
        const char* text;
        const char* insertion;
        const char* anchor;
        int pos;
        int replaceCount;
        int expected;
        const char* after;
    } cases[] = {
        {"<r a='>'>z</r>", "<i/>", "<r", 0, 0, 9, "<r a='>'><i/>z</r>"},
        {"<a><b x=\"1\">v</b></a>", "[", "x=", 0, 0, 12, "<a><b x=\"1\">[v</b></a>"},
        {"<a>v</a>", "w", "<a>", 0, 1, 3, "<a>w</a>"},  // replaces one character
        {"<a>v</a>", "", "<a>", 0, 1, 3, "<a></a>"},
        {"<a>v</a>", "x", nullptr, 4, 0, 4, "<a>vx</a>"},
        {"<a>v</a>", "x", nullptr, 8, 0, 8, "<a>v</a>x"},  // at the NUL
        {"<a>v</a>", "x", nullptr, 7, 99, 7, "<a>v</ax"},  // replacement stops at the NUL
        {"<a>v</a>", "x", "<b", 0, 0, 0, nullptr},         // anchor missing
        {"<a>v</a>", "x", "", 0, 0, 0, nullptr},           // an empty anchor never matches
        {"<a x='>", "x", "<a", 0, 0, -1, nullptr},         // the anchor's tag is not closed
        {"<a>v</a>", "x", nullptr, 9, 0, 0, nullptr},      // beyond the text
        {"<a>v</a>", "x", nullptr, -2, 0, 0, nullptr},
    };
    for (const auto& c : cases) {
        char* text = Shared(c.text, 64);
        int unused = 0;
        const int r = ZqXmlU_InsertString(text, unused, const_cast<char*>(c.insertion),
                                          const_cast<char*>(c.anchor), c.pos, c.replaceCount);
        EXPECT_EQ(r, c.expected) << "'" << c.text << "'";
        EXPECT_STREQ(text, c.after ? c.after : c.text);
        EXPECT_EQ(SharedSize(text), 64u) << "grown without need";
        ZqXmlU_xml_free(text);
    }
}

TEST(InsertString, GrowsTheSharedStringWhenFull) {
    // T + S + 1 reaching the capacity grows the string to T + S + 256.
    for (const unsigned capacity : {13u, 14u}) {
        char* text = Shared("<a></a>", capacity);  // T 7
        int unused = 0;
        char insertion[] = "12345";  // S 5
        char anchor[] = "<a";
        EXPECT_EQ(ZqXmlU_InsertString(text, unused, insertion, anchor, 0, 0), 3);
        EXPECT_STREQ(text, "<a>12345</a>");
        EXPECT_EQ(SharedSize(text), capacity == 13 ? 7u + 5u + 256u : 14u);
        ZqXmlU_xml_free(text);
    }
    // Documents far beyond the 64 KiB of a local work area.
    std::string big = "<r>" + std::string(200000, 'x') + "</r>";
    char* text = Shared(big, static_cast<unsigned>(big.size() + 1));
    int unused = 0;
    std::string insertion(70000, 'y');
    EXPECT_EQ(ZqXmlU_InsertString(text, unused, insertion.data(), nullptr, 3, 10), 3);
    EXPECT_EQ(std::string(text), "<r>" + insertion + big.substr(13));
    EXPECT_EQ(SharedSize(text), big.size() + insertion.size() + 256);
    ZqXmlU_xml_free(text);
}

TEST(InsertString, InsertionTakenFromTheDocument) {
    // Growth moves the text and the moves overwrite it: the insertion is read first.
    for (const unsigned capacity : {16u, 4096u}) {
        char* text = Shared("<a><b/></a>", capacity);
        int unused = 0;
        char anchor[] = "<a";
        EXPECT_EQ(ZqXmlU_InsertString(text, unused, text + 3, anchor, 0, 0), 3);
        EXPECT_STREQ(text, "<a><b/></a><b/></a>");
        ZqXmlU_xml_free(text);
    }
}

TEST(AddToString, GrowsToTwiceTheNeedPlus132) {
    char* buffer = nullptr;
    int length = 0, capacity = 0;
    char a[] = "a", b[] = "b", c[] = "c", empty[] = "";
    ZqXmlU_AddToString(buffer, length, capacity, a, b, c);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(length, 3);
    EXPECT_EQ(capacity, 138);
    EXPECT_EQ(ZqXmlU_GetUsedSpace(buffer), 138u);

    // Fits while length + added + 2 <= capacity.
    std::string more(133, 'm');
    ZqXmlU_AddToString(buffer, length, capacity, more.data(), empty, empty);
    EXPECT_EQ(capacity, 138);
    EXPECT_EQ(length, 136);
    ZqXmlU_AddToString(buffer, length, capacity, a, empty, empty);
    EXPECT_EQ(capacity, 2 * 137 + 132);
    EXPECT_EQ(std::string(buffer), "abc" + more + "a");

    // Appending a part of the buffer itself, across a growth.
    const std::string before(buffer);
    ZqXmlU_AddToString(buffer, length, capacity, buffer, buffer, empty);
    EXPECT_EQ(std::string(buffer), before + before + before);
    EXPECT_EQ(length, 3 * 137);
    void* p = buffer;
    ZqXmlU_Free(&p);
}

// ---------------------------------------------------------------------------------------------
// Comments, files and the tree view
// ---------------------------------------------------------------------------------------------

// The comment ExtractComment writes for `data` into a fresh document, and whether it reported
// a string.
struct Comment {
    std::string text;
    bool found = false;
};

Comment CommentOf(const std::string& data) {
    unsigned capacity = 8;
    char* document = static_cast<char*>(ZqXmlU_xml_alloc(capacity, zqtest::Tag()));
    std::memcpy(document, "<x>", 4);
    char* writePos = document + 3;
    std::vector<unsigned char> bytes(data.begin(), data.end());  // exactly dataLen bytes
    char* r = ZqXmlU_ExtractComment(bytes.data(), writePos, document, capacity,
                                    static_cast<unsigned>(bytes.size()));
    Comment c;
    EXPECT_EQ(std::string(document, 3), "<x>");
    c.text.assign(document + 3, writePos);
    EXPECT_EQ(std::strlen(document + 3), c.text.size()) << "the comment ends with a NUL";
    c.found = r == writePos;
    EXPECT_TRUE(c.found || r == document + 3) << "result is neither the end nor the start";
    EXPECT_LE(static_cast<size_t>(writePos - document) + 1, capacity);
    ZqXmlU_xml_free(document);
    return c;
}

std::string Utf16(const std::string& ascii) {
    std::string out;
    for (char ch : ascii) {
        out += ch;
        out += '\0';
    }
    return out;
}

TEST(ExtractComment, ReadableStrings) {
    using namespace std::string_literals;
    const struct {
        std::string data;
        std::string comment;
        bool found;
    } cases[] = {
        {"abc\0hello\0"s, "<!-- hello -->\n\t\t", true},  // short runs are dropped
        {Utf16("Test") + "\0\0"s, "<!-- UNICODE[Test] -->\n\t\t", true},
        {"a<!--b\0"s, "<!-- a&lt;!--b -->\n\t\t", true},
        {"x-->y\0"s, "<!-- x--&gt;y -->\n\t\t", true},
        {"<!-->\0"s, "<!-- &lt;!--&gt; -->\n\t\t", true},  // both at once: neither survives
        {"\x01\x02\x03"s, "<!--  -->\n\t\t", false},
        {""s, "<!--  -->\n\t\t", false},
        {"abc"s, "<!-- abc -->\n\t\t", true},  // the run spans the whole block
        {"abcd"s, "<!-- abcd -->\n\t\t", true},
        {"abc\x01"s, "<!--  -->\n\t\t", false},
        {"abcd\x01wxyz\0"s, "<!-- wxyz -->\n\t\t", true},  // a run needs its NUL, but the last
        {"one!\0two!\0three"s, "<!-- one!, two!, three -->\n\t\t", true},
        {"A\0"s, "<!-- UNICODE[A] -->\n\t\t", true},  // a UTF-16 run spanning the block
        {Utf16("Tes") + "\x01\x01"s, "<!--  -->\n\t\t", false},
        {Utf16("Wide") + "\x01" + "narrow\0"s, "<!-- UNICODE[Wide], narrow -->\n\t\t", true},
        {"name\0"s + Utf16("T\t\xC0\r\n") + "\xFF\xFF"s,
         "<!-- name, UNICODE[T\t\xC0\r\n] -->\n\t\t", true},
        {Utf16("Odd!") + "x"s, "<!-- UNICODE[Odd!] -->\n\t\t", true},  // half a unit at the end
        {Utf16("Ab") + "c"s, "<!--  -->\n\t\t", false},
    };
    for (const auto& c : cases) {
        const Comment got = CommentOf(c.data);
        EXPECT_EQ(got.text, c.comment) << "data of " << c.data.size() << " bytes";
        EXPECT_EQ(got.found, c.found) << got.text;
    }
}

TEST(ExtractComment, RoomRule) {
    // Enough room (more than 16 bytes per data byte past writePos): no growth.
    unsigned capacity = 100;
    char* document = static_cast<char*>(ZqXmlU_xml_alloc(capacity, zqtest::Tag()));
    char* writePos = document + 10;
    unsigned char data[5] = {'a', 'b', 'c', 'd', 0};
    ZqXmlU_ExtractComment(data, writePos, document, capacity, 5);
    EXPECT_EQ(capacity, 100u);
    EXPECT_EQ(SharedSize(document), 100u);
    // 10 + 16 * 6 = 106 reaches the capacity: grow by 2048.
    writePos = document + 10;
    unsigned char six[6] = {'a', 'b', 'c', 'd', 'e', 0};
    ZqXmlU_ExtractComment(six, writePos, document, capacity, 6);
    EXPECT_EQ(capacity, 2148u);
    EXPECT_EQ(SharedSize(document), 2148u);
    EXPECT_STREQ(document + 10, "<!-- abcde -->\n\t\t");
    // Large blocks grow by 16 bytes per data byte plus 2.
    std::vector<unsigned char> block(1000, 'z');
    writePos = document;
    ZqXmlU_ExtractComment(block.data(), writePos, document, capacity, 1000);
    EXPECT_EQ(capacity, 2148u + 16002u);
    EXPECT_EQ(std::string(document + 5, 1000), std::string(1000, 'z'));
    ZqXmlU_xml_free(document);
    // No document yet: one is made.
    document = nullptr;
    writePos = nullptr;
    capacity = 0;
    ZqXmlU_ExtractComment(data, writePos, document, capacity, 0);
    EXPECT_EQ(capacity, 2048u);
    EXPECT_STREQ(document, "<!--  -->\n\t\t");
    ZqXmlU_xml_free(document);
}

// A temporary file holding `bytes`, positioned at its start.
struct TempFile {
    explicit TempFile(const std::string& bytes) : f(std::tmpfile()) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::rewind(f);
    }
    ~TempFile() { std::fclose(f); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    FILE* f;
};

TEST(FileToBuf, NullLentAndOwnedBuffers) {
    const struct {
        size_t fileSize;
        unsigned startCapacity;  // 0: NULL buffer
        int owned;
        unsigned capacity;  // afterwards
        bool replaced;      // a new block instead of the one passed
    } cases[] = {
        {10, 0, 0, 4096, true},     {0, 0, 0, 4096, true},      {4094, 0, 0, 4096, true},
        {4095, 0, 0, 8192, true},   {10000, 0, 0, 12288, true}, {10, 100, 0, 100, false},
        {98, 100, 0, 100, false},   {99, 100, 0, 4196, true},   {99, 100, 1, 4196, true},
        {5000, 100, 1, 8292, true}, {0, 1, 0, 4097, true},
    };
    for (const auto& c : cases) {
        std::string bytes(c.fileSize, '\0');
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<char>('a' + i % 26);
        TempFile file(bytes);
        char lent[100];
        char* buffer = nullptr;
        if (c.startCapacity) {
            buffer = c.owned ? static_cast<char*>(ZqXmlU_Calloc(static_cast<int>(c.startCapacity),
                                                                1, zqtest::Tag()))
                             : lent;
        }
        char* const given = buffer;
        unsigned capacity = c.startCapacity;
        int owned = c.owned;
        ZqXmlU_FileToBuf(file.f, buffer, capacity, owned);
        EXPECT_EQ(capacity, c.capacity) << c.fileSize << " bytes";
        EXPECT_EQ(buffer != given, c.replaced) << c.fileSize << " bytes";
        EXPECT_EQ(owned, c.replaced || c.owned ? 1 : 0);
        EXPECT_EQ(std::memcmp(buffer, bytes.data(), bytes.size()), 0);
        EXPECT_EQ(buffer[bytes.size()], '\0');
        if (owned) {
            EXPECT_EQ(ZqXmlU_GetUsedSpace(buffer), capacity);
            void* p = buffer;
            ZqXmlU_Free(&p);
        }
    }
    // Reading starts at the file's position; the file stays open.
    TempFile file("skip|rest");
    std::fseek(file.f, 5, SEEK_SET);
    char* buffer = nullptr;
    unsigned capacity = 0;
    int owned = 0;
    ZqXmlU_FileToBuf(file.f, buffer, capacity, owned);
    EXPECT_STREQ(buffer, "rest");
    EXPECT_EQ(std::fgetc(file.f), EOF);
    void* p = buffer;
    ZqXmlU_Free(&p);
}

// The sink form of a text, as XmlToTree reads it.
struct Document {
    explicit Document(const std::string& s) {
        sink.tag = "test";
        ZqXmlU_xml_sprintf(&sink, "%s", s.c_str());
    }
    ~Document() { ZqXmlU_xml_free(sink.buffer); }
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;
    ZQ_XML_STRUCT_T sink{};
};

// Every item was expanded exactly once, with all of its children in place.
void ExpectExpandedOnce(const CTreeCtrl& tree, HTREEITEM item) {
    for (; item; item = tree.GetNextSiblingItem(item)) {
        EXPECT_EQ(item->expandMessages, 1u) << item->text;
        EXPECT_EQ(item->childrenAtExpand, item->childCount) << item->text;
        ExpectExpandedOnce(tree, tree.GetChildItem(item));
    }
}

constexpr char kMetadata[] = R"(<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?>
<x:xmpmeta xmlns:x="adobe:ns:meta/">
 <rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#">
  <!-- a comment <with> markup -->
  <rdf:Description rdf:about=''
    xmlns:dc="http://purl.org/dc/elements/1.1/">
   <dc:title><rdf:Alt><rdf:li xml:lang="x-default">Lake &amp; river</rdf:li></rdf:Alt></dc:title>
   <dc:subject>
    <rdf:Bag>
     <rdf:li>summer</rdf:li>
     <rdf:li>people</rdf:li>
    </rdf:Bag>
   </dc:subject>
   <exif:Flash rdf:parseType='Resource'><exif:Fired>False</exif:Fired></exif:Flash>
   <zq:empty a="x/>y"/>
   <plain><![CDATA[<not-an-element>]]></plain>
  </rdf:Description>
 </rdf:RDF>
</x:xmpmeta>
<?xpacket end='w'?>
)";

TEST(XmlToTree, MetadataDocument) {
    Document doc(kMetadata);
    CTreeCtrl tree;
    EXPECT_EQ(ZqXmlU_XmlToTree(&doc.sink, &tree, TVI_ROOT, 0, 0), 1);
    EXPECT_EQ(tree.Print(),
              "xmpmeta\n"
              "  RDF\n"
              "    Description\n"
              "      title\n"
              "        Alt\n"
              "          li\n"
              "      subject\n"
              "        Bag\n"
              "          li\n"
              "          li\n"
              "      Flash\n"
              "        Fired\n"
              "      empty\n"
              "      plain\n");
    ExpectExpandedOnce(tree, tree.GetRootItem());
    int image = 0, selected = 0;
    ASSERT_TRUE(tree.GetItemImage(tree.GetRootItem(), image, selected));
    EXPECT_EQ(image, 1);
    EXPECT_EQ(selected, 1);
}

TEST(XmlToTree, UnderAParentFromAPosition) {
    Document doc("<skip/><a><b/></a><c/>");
    CTreeCtrl tree;
    const HTREEITEM top = tree.InsertItem("top", 0, 0, TVI_ROOT, TVI_LAST);
    EXPECT_EQ(ZqXmlU_XmlToTree(&doc.sink, &tree, top, 7, 0), 1);
    EXPECT_EQ(tree.Print(), "top\n  a\n    b\n  c\n");
    EXPECT_EQ(tree.GetParentItem(tree.GetChildItem(top)), top);
}

TEST(XmlToTree, Failures) {
    const struct {
        const char* text;
        int pos;
        int expected;
        const char* tree;
    } cases[] = {
        {"", 0, 1, ""},
        {"  \r\n", 0, 1, ""},
        {"<a><b></a>", 0, 1, "a\n  b\n"},  // end tags are not matched by name
        {"<a>text", 0, -1, "a\n"},         // no further "<"
        {"<a><b", 0, -1, "a\n"},           // no further ">"
        {"<a b='>", 0, -1, ""},            // unterminated quoted run
        {"<a>it's</a>", 0, -1, "a\n"},     // a quote in content opens a run
        {"<?pi <a/>", 0, -1, ""},
        {"<!-- <a/>", 0, -1, ""},
        {"<a/>", 5, -1, ""},  // beyond the text
        {"<a/>", -1, -1, ""},
        {"<!DOCTYPE d [<!ENTITY e 'v'>]><d/>", 0, 1, "d\n"},
        {"<a:b:c/>", 0, 1, "b:c\n"},
    };
    for (const auto& c : cases) {
        Document doc(c.text);
        CTreeCtrl tree;
        EXPECT_EQ(ZqXmlU_XmlToTree(&doc.sink, &tree, nullptr, c.pos, 0), c.expected) << c.text;
        EXPECT_EQ(tree.Print(), c.tree) << c.text;
    }
}

TEST(XmlToTree, NamesUpTo64Characters) {
    const std::string name64(64, 'n');
    for (const auto& [text, expected] : std::vector<std::pair<std::string, int>>{
             {"<" + name64 + "/>", 1},
             {"<" + name64 + "n/>", -1},
             {"<p:" + name64 + "/>", 1},
             {"<p:" + name64 + "n/>", -1},
             {"<" + std::string(63, 'p') + ":local/>", 1},
             {"<" + std::string(64, 'p') + ":local/>", -1},  // no ":" in the first 64
         }) {
        Document doc(text);
        CTreeCtrl tree;
        EXPECT_EQ(ZqXmlU_XmlToTree(&doc.sink, &tree, nullptr, 0, 0), expected) << text;
        if (expected == 1) {
            EXPECT_LE(tree.GetItemText(tree.GetRootItem()).size(), 64u);
        }
    }
}

TEST(XmlToTree, DeepNesting) {
    const int depth = 100000;
    std::string s;
    for (int i = 0; i < depth; ++i)
        s += "<e>";
    s += "<leaf/>";
    for (int i = 0; i < depth; ++i)
        s += "</e>";
    Document doc(s);
    CTreeCtrl tree;
    ASSERT_EQ(ZqXmlU_XmlToTree(&doc.sink, &tree, nullptr, 0, 0), 1);
    EXPECT_EQ(tree.GetCount(), static_cast<UINT>(depth + 1));
    HTREEITEM item = tree.GetRootItem();
    int levels = 0;
    while (tree.GetChildItem(item)) {
        EXPECT_TRUE(tree.IsExpanded(item));
        EXPECT_EQ(tree.GetNextSiblingItem(item), nullptr);
        item = tree.GetChildItem(item);
        ++levels;
    }
    EXPECT_EQ(levels, depth);
    EXPECT_EQ(tree.GetItemText(item), "leaf");
}

// ---------------------------------------------------------------------------------------------
// Command-line tool
// ---------------------------------------------------------------------------------------------

#ifdef ZQ_TOOL
TEST(Tool, ScanCommands) {
    const std::string tool = ZQ_TOOL;
    const std::string doc =
        "<r><dc:subject><rdf:Bag><rdf:li>a</rdf:li><rdf:li>b</rdf:li></rdf:Bag></dc:subject>\n"
        "  <k a='>'>v</k> <m/></r>\n";
    const struct {
        std::string args;
        std::string input;
        int status;
        std::string out;
    } cases[] = {
        {"tree", doc, 0, "r\n  subject\n    Bag\n      li\n      li\n  k\n  m\n"},
        {"tree", "<a><b>", 0, "a\n  b\n"},
        {"tree", "<a>text", 1, "a\n"},
        {"element get rdf:Bag", doc, 0, "<rdf:li>a</rdf:li><rdf:li>b</rdf:li>\n"},
        {"element get nothing", doc, 1, ""},
        {"element items dc:subject", doc, 0, "a\nb\n"},
        {"element param k", doc, 0, "v\n"},
        {"element param m", doc, 1, ""},
        {"element cut k", doc, 0,
         "<r><dc:subject><rdf:Bag><rdf:li>a</rdf:li><rdf:li>b</rdf:li></rdf:Bag></dc:subject>\n"
         "  <m/></r>\n"},
        {"element cut --any-prefix subject", doc, 0, "<r><k a='>'>v</k> <m/></r>\n"},
        {"element cut subject", doc, 1, ""},
        {"element insert --anchor '<k' '<n/>'", "<r><k a='>'>v</k></r>", 0,
         "<r><k a='>'><n/>v</k></r>"},
        {"element insert --pos 3 --replace 1 x", "<r>v</r>", 0, "<r>x</r>"},
        {"element insert --anchor '<q' x", "<r/>", 1, ""},
        {"element insert x", "<r/>", 2, ""},
        {"strings", std::string("abc\0hello\0", 10), 0, "<!-- hello -->\n\t\t"},
    };
    for (const auto& c : cases) {
        const auto r = zqtest::Run(tool + " " + c.args, c.input);
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.err;
        EXPECT_EQ(r.out, c.out) << c.args;
    }

    // -i writes back to the file.
    char path[] = "/tmp/zqtest-scan-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    const std::string original = "<r><k>1</k> <m/></r>";
    ASSERT_EQ(write(fd, original.data(), original.size()), static_cast<ssize_t>(original.size()));
    close(fd);
    auto r = zqtest::Run(tool + " element cut -i k " + path);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(zqtest::ReadFile(path), "<r><m/></r>");
    r = zqtest::Run(tool + " element insert -i --anchor '<r' '<n/>' " + path);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(zqtest::ReadFile(path), "<r><n/><m/></r>");
    EXPECT_EQ(zqtest::Run(tool + " element cut -i k").status, 2);  // -i needs a file
    std::remove(path);
}
#endif

}  // namespace
