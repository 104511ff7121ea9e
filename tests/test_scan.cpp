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

}  // namespace
