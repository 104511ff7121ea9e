// XML document scanning and editing: the scanners, element access and editing, comments, files
// and the tree view.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "platform/cpu.h"
#include "scan/scanners.h"
#include "support.h"
#include "zqxmlu.h"
#include "zqxmlu_treectrl.h"

namespace {

using namespace std::string_literals;
using zqtest::Exact;
using zqtest::Tag;

char* C(const char* s) {
    return const_cast<char*>(s);
}

void Release(void* p) {
    ZqXmlU_Free(&p);
}

enum Scanner : long { kNext, kSpace, kEnd, kSub };

TEST(Scanners, QuotesCommentsModesAndEmptyTargets) {
    // The mode of kSpace is stopAtGreater.
    for (const auto& [scanner, text, target, start, mode, expected] :
         std::vector<std::tuple<Scanner, std::string, const char*, int, int, int>>{
             {kNext, "<a b='x>y'>", ">", 0, 0, 10},  // markup mode skips quoted runs
             {kNext, "<a b='x>y'>", ">", 0, 2, 7},   // plain mode does not
             {kNext, "<a b='x>y'>", ">", 0, 7, 10},  // other modes are markup mode
             {kNext, "<a b='x>y>", ">", 0, 0, -1},
             {kNext, "ab'cd'", "'c", 0, 1, 2},  // the target test comes first
             {kNext, "ab<!-- < --></t>", "<", 0, 1, 2},
             {kNext, "ab<!-- </t> --><!----></t>", "</", 0, 1, 22},
             {kNext, "ab<!-- </t>", "</", 0, 1, -1},
             {kNext, "ab<!-- </t> -->", "</", 0, 0, 7},
             {kNext, "it's</t>", "<", 0, 1, -1},
             {kNext, "xx'yy'zz'", "z", 3, 0, -1},  // from inside a run, its closing quote opens one
             {kNext, "</ab</abc>", "</abc", 1, 0, 4},
             {kNext, "abc", "", 1, 0, 1},
             {kNext, "abc", "", 3, 0, -1},
             {kSpace, "a='b c' d", nullptr, 0, 0, 7},
             {kSpace, "abc>", nullptr, 0, 1, 3},
             {kSpace, "abc>", nullptr, 0, 0, 4},
             {kSpace, "a'bc", nullptr, 0, 0, 4},
             {kEnd, "x<a/>", nullptr, 0, 0, -1},
             {kEnd, "<a/>", nullptr, 0, 0, 3},
             {kEnd, "<a><b/>x</a>", nullptr, 0, 0, 11},
             {kEnd, "<a>", nullptr, 0, 0, -1},
             {kEnd, "<a><!-- </a> --></a>", nullptr, 0, 0, 19},
             {kEnd, "<a t=\"/>\"></a>", nullptr, 0, 0, 13},
             {kEnd, "<a t='x></a>", nullptr, 0, 0, -1},
             {kEnd, "<a>it's it's</a>trail", nullptr, 0, 0, 15},  // quotes in content are runs too
             {kEnd, "<a><?pi?></a>", nullptr, 0, 0, -1},          // nor does "<?" ever balance
             {kSub, "abcabc", "ca", 0, 0, 2},
             {kSub, "abcabc", "", 0, 0, -1},
             // Exact edges: a mode-1 comment skip for a target without "<" (the skip starts
             // looking for "-->" after "<!--", so "<!-->" opens a comment), targets at the start
             // and the end, a target longer than the rest, an element that starts with an end tag.
             {kNext, "a<!-- x -->x", "x", 0, 1, 11},
             {kNext, "<!-->x-->y", "x", 0, 1, -1},
             {kNext, "<!--->x-->", "x", 0, 1, -1},
             {kNext, "<!---->'", "'", 0, 1, 7},
             {kNext, "ab<!--x", "x", 0, 1, -1},
             {kNext, "abc", "c", 2, 0, 2},
             {kNext, "ab", "abc", 0, 2, -1},
             {kNext, "'a'b", "b", 0, 0, 3},
             {kNext, "'a'b", "b", 0, 1, -1},
             {kSpace, "'", nullptr, 0, 0, 1},
             {kSpace, "\"a'b c\"\td", nullptr, 0, 0, 7},
             {kSpace, "a>b c", nullptr, 0, 1, 1},
             {kEnd, "</a>", nullptr, 0, 0, -1},
             {kEnd, "</a><b>", nullptr, 0, 0, 6},
             {kEnd, "<//>", nullptr, 0, 0, -1},
             {kEnd, "<a></a>", nullptr, 0, 0, 6},
             {kEnd, "<a><b></b><c/></a>x", nullptr, 0, 0, 17},
             {kEnd, "<a><!-->x--></a>", nullptr, 0, 0, 15},
             {kEnd, "<a><!--->'--></a>", nullptr, 0, 0, 16},
             {kEnd, "<a x='>'/>", nullptr, 0, 0, 9},
             {kSub, "aab", "ab", 0, 0, 1},
             {kSub, "ab", "abc", 0, 0, -1},
             {kSub, "abc", "c", 0, 0, 2},
         }) {
        auto exact = Exact(text);
        char* t = exact.data();
        const long r = scanner == kNext    ? ZqXmlU_FindNextUnquoted(t, start, C(target), mode)
                       : scanner == kSpace ? ZqXmlU_FindUnquotedWhitespace(t, mode)
                       : scanner == kEnd   ? ZqXmlU_FindXmlEnd(t)
                                           : ZqXmlU_FindSubstring(t, C(target));
        EXPECT_EQ(r, expected) << "scanner " << scanner << " on '" << text << "'";
    }
    char target[] = "a";
    EXPECT_EQ(ZqXmlU_FindNextUnquoted(nullptr, 0, target, 0), -1);
    auto xa = Exact("xa");  // a negative start is refused, not read before the text
    EXPECT_EQ(ZqXmlU_FindNextUnquoted(xa.data() + 1, -1, target, 0), -1);
    EXPECT_EQ(ZqXmlU_FindUnquotedWhitespace(nullptr, 1), 0);
    EXPECT_EQ(ZqXmlU_FindSubstring(target, nullptr), -1);
}

TEST(Scanners, SearchInEveryTierAcrossPieces) {
    // Every tier reads vectors inside pieces of 16 KiB: matches at and across vector and piece
    // edges, behind decoys that share the needle's first and last characters, against strstr.
    std::string longNeedle(72, 'd');  // "n", 70 "d", "e"
    longNeedle.front() = 'n';
    longNeedle.back() = 'e';
    for (const std::string& needle : {"ne"s, "needle"s, longNeedle}) {
        std::string decoy = needle;
        if (decoy.size() > 2) decoy[decoy.size() / 2] = '#';
        for (size_t at : {0u, 15u, 31u, 63u, 64u, 16380u, 16383u, 16384u, 40000u, 49928u}) {
            std::string s;
            while (s.size() < 50000)
                s += decoy + (decoy.size() == 2 ? "x" : "");
            s.resize(50000);
            auto text = Exact(s.replace(at, needle.size(), needle));
            const char* expected = std::strstr(text.data(), needle.c_str());
            for (zq::cpu::Tier tier : zq::cpu::kTiers) {
                if (tier > zq::cpu::Detect().widest) break;
                EXPECT_EQ(zq::FindTextOn(tier, text.data(), needle.c_str(), needle.size()),
                          expected)
                    << zq::cpu::TierName(tier) << " " << needle << " at " << at;
            }
            EXPECT_EQ(ZqXmlU_FindSubstring(text.data(), C(needle.c_str())), expected - text.data());
            EXPECT_EQ(ZqXmlU_FindNextUnquoted(text.data(), 0, C(needle.c_str()), 2),
                      expected - text.data());
        }
    }
}

// NULLs, texts that end at an inaccessible page with a quoted run, a comment or a target left
// open, every tier's search near the page, and a target that is part of the text itself.
TEST(Scanners, HostileInputs) {
    char a[] = "a";
    EXPECT_EQ(ZqXmlU_FindXmlEnd(nullptr), -1);
    EXPECT_EQ(ZqXmlU_FindNextUnquoted(a, 0, nullptr, 1), -1);
    EXPECT_EQ(ZqXmlU_FindSubstring(nullptr, a), -1);
    for (const char* open : {"<a t='x", "<a><!-- x --", "<a>'", "ab<!-", "'abc", "<a><b/>"}) {
        zqtest::PageEnd text{std::string(open)};
        const auto n = static_cast<long>(std::strlen(open));
        EXPECT_EQ(ZqXmlU_FindXmlEnd(text), -1) << open;
        for (int mode : {0, 1, 2})
            EXPECT_EQ(ZqXmlU_FindNextUnquoted(text, 0, C("-->x"), mode), -1) << open << mode;
        EXPECT_EQ(ZqXmlU_FindNextUnquoted(text, static_cast<ZqLong>(n), a, 0), -1) << open;
        EXPECT_LE(ZqXmlU_FindUnquotedWhitespace(text, 1), n) << open;
        EXPECT_EQ(ZqXmlU_FindSubstring(text, C("bc>")), -1) << open;
    }
    // Near the page every vector form falls back before a load could cross it.
    for (size_t n = 0; n <= 130; ++n) {
        zqtest::PageEnd text{std::string(n, 'n')};
        for (zq::cpu::Tier tier : zq::cpu::kTiers) {
            if (tier > zq::cpu::Detect().widest) break;
            for (const char* target : {"nz", "nnnnnnnnnz", "zn"})
                ASSERT_EQ(zq::FindTextOn(tier, text, target, std::strlen(target)), nullptr) << n;
        }
        zqtest::PageEnd open{"<a>" + std::string(n, 'n')};
        for (zq::cpu::Tier tier : zq::cpu::kTiers) {
            if (tier > zq::cpu::Detect().widest) break;
            ASSERT_EQ(zq::XmlEndOn(tier, open), -1) << n;
        }
    }
    auto self = Exact("xyzabcabc");
    EXPECT_EQ(ZqXmlU_FindSubstring(self.data(), self.data() + 6), 3);
    EXPECT_EQ(ZqXmlU_FindNextUnquoted(self.data(), 0, self.data() + 3, 2), 3);
}

// The element end in every tier against the scalar form, over documents of random pieces whose
// quoted runs, comments and self-closing tags fall across vector blocks.
TEST(Scanners, XmlEndSameInEveryTier) {
    const char* const pieces[] = {"<a>",
                                  "</a>",
                                  "<b/>",
                                  "'",
                                  "\"",
                                  "x'y'",
                                  "<!-- '<a> -->",
                                  "/>",
                                  ">",
                                  "<c d=\"1\">",
                                  "plain text of a few words ",
                                  "<!-"};
    uint64_t seed = 0x9E3779B97F4A7C15ULL;
    for (int round = 0; round < 4000; ++round) {
        seed ^= seed << 13;
        seed ^= seed >> 7;
        seed ^= seed << 17;
        std::string doc = "<r>";
        for (uint64_t k = seed % 61, r = seed; k > 0; --k, r = r * 6364136223846793005ULL + 1)
            doc += pieces[(r >> 33) % std::size(pieces)];
        auto text = Exact(doc + (seed & 1 ? "</r>" : ""));
        const ZqLong expected = zq::XmlEndOn(zq::cpu::Tier::kScalar, text.data());
        for (zq::cpu::Tier tier : zq::cpu::kTiers) {
            if (tier > zq::cpu::Detect().widest) break;
            ASSERT_EQ(zq::XmlEndOn(tier, text.data()), expected) << zq::cpu::TierName(tier) << doc;
        }
    }
}

TEST(ElementReaders, ContentsAndParams) {
    // pos -9: GetParam of "name" into 4 bytes.
    for (const auto& [text, pos, expected, value] :
         std::vector<std::tuple<std::string, int, int, const char*>>{
             {"<t>a &amp; b</t>", 3, 1, "a & b"},
             {"<t a='1'>v</t>", 1, 0, nullptr},      // a raw quote ends the content-mode search
             {"<t>x<!-- c --></t>", 3, 0, nullptr},  // the next markup is no end tag
             {">x</t>", 0, -1, nullptr},             // index 0 is not examined
             {"<name>abc</name>", -9, 0, "abc"},
             {"<name>abcd</name>", -9, -2, nullptr},
             {"<name/>", -9, 2, nullptr},                 // self-closing does not match
             {"<name a='</name>'>v</name>", -9, 0, "v"},  // an end tag inside the start tag
             {"<namex>1</namex><name\n>2</name>", -9, 0, "2"},
             {"<name>1</namex>", -9, 0, "1"},  // no delimiter test on the end tag
             {"<name>abc", -9, 1, nullptr},
             {"<name a='x>abc</name>", -9, -1, nullptr},
         }) {
        auto exact = Exact(text);
        char param[4] = {'#', '#', '#', '#'};
        char* contents = param;
        const int r = pos == -9 ? ZqXmlU_GetParam(exact.data(), C("name"), param, 4)
                                : ZqXmlU_GetContents(exact.data(), pos, contents);
        EXPECT_EQ(r, expected) << text;
        EXPECT_STREQ(pos == -9 ? (param[0] == '#' ? nullptr : param) : contents, value) << text;
        if (pos != -9) Release(contents);
    }
}

TEST(ElementReaders, ElementContentAndListItems) {
    const std::string bag =
        "<dc:subject><rdf:Bag><rdf:li>a</rdf:li><rdf:li xml:lang='en'>b</rdf:li>"
        "<rdf:li></rdf:li></rdf:Bag></dc:subject><x><rdf:li>z</rdf:li></x>";
    // how 1: the content ("" for NULL); how 2: the items.
    for (const auto& [text, how, maxItems, expected, want] :
         std::vector<std::tuple<std::string, int, int, int, std::vector<std::string>>>{
             {"<s\n>a<!-- c -->&amp;</s\t>", 1, 0, 1, {"a<!-- c -->&amp;"}},  // raw
             {"<s></s>", 1, 0, 1, {""}},  // NULL for empty content
             {"<s/><t/></s>", 1, 0, 1, {"<t/>"}},
             {"<sx>1</sx>", 1, 0, 0, {}},
             {"<s>1</s>", 3, 0, 1, {}},
             {bag, 2, 2, 1, {"a", "b"}},
             {bag, 2, 0, 1, {"a", "b", "", "z"}},  // on past the element's end
             {"<dc:subject><rdf:li>a</rdf:li><rdf:li>b</dc:subject>", 2, 0, 0, {"a"}},
             {"<dc:subject><rdf:lix>1</rdf:li><rdf:li/>2</rdf:li></dc:subject>",
              2,
              0,
              1,
              {"1", "2"}},
             {"<dc:subject><rdf:li>a</rdf:li>", 2, 0, 0, {}},
         }) {
        auto exact = Exact(text);
        char* contents = C("untouched");
        ZQ_KWLIST_STRUCT_T items{};
        const char* name = how == 2 ? "dc:subject" : "s";
        EXPECT_EQ(ZqXmlU_GetElementContents(exact.data(), C(name), &contents, &items, how, maxItems,
                                            0, Tag()),
                  expected)
            << text;
        std::vector<std::string> got;
        for (int i = 0; i < items.count; ++i)
            got.emplace_back(reinterpret_cast<const char*>(items.keys[i]));
        if (how == 1 && expected == 1) {
            got.emplace_back(contents ? contents : "");
            Release(contents);
        }
        EXPECT_EQ(got, want) << text;
        ZqXmlU_FreeKwAllocList(&items);
    }
}

TEST(Excise, CutsInPlace) {
    for (const auto& [text, anyPrefix, expected, after] :
         std::vector<std::tuple<std::string, int, int, const char*>>{
             {"<r><k>1</k>\n  <m/></r>", 0, 0, "<r><m/></r>"},
             {"<r><x:k a='1'>2</x:k> <m/></r>", 1, 0, "<r><m/></r>"},
             {"<r><x:k a='1'>2</x:k> <m/></r>", 0, 2, nullptr},
             {"<r><k>1</y:k></k></r>", 0, 0, "<r></r>"},      // unprefixed wants "</k"
             {"<r><y:k>1</k></z:k>x</r>", 1, 0, "<r>x</r>"},  // prefixed wants "</p:k"
             {"<r><k/><kk>1</kk><k\t>2</k\r></r>", 0, 0, "<r><k/><kk>1</kk></r>"},
             {"<!-- <k> --></k>tail", 0, 0, "<!-- tail"},  // no comment awareness
             {"<r><k>1</r>", 0, 1, nullptr},
             {"<r><k>1</k ", 0, 3, nullptr},
             {"<r><:k>1</:k><a b:k>1</k>", 1, 2, nullptr},  // no empty prefix, no attribute name
         }) {
        auto exact = Exact(text);
        EXPECT_EQ(ZqXmlU_Excise(exact.data(), C("k"), anyPrefix), expected) << text;
        EXPECT_EQ(exact.data(), after ? after : text);
    }
}

// A shared XML string holding `s`, with `capacity` bytes, and the capacity its header records.
char* Shared(const std::string& s, unsigned capacity) {
    auto* p = static_cast<char*>(ZqXmlU_xml_alloc(capacity, Tag()));
    std::memcpy(p, s.c_str(), s.size() + 1);
    return p;
}

uint32_t SharedSize(const char* p) {
    uint32_t size;
    std::memcpy(&size, p - 4, sizeof size);
    return size;
}

TEST(InsertString, AnchorsPositionsReplacementAndGrowth) {
    // A document far beyond 64 KiB.
    const std::string big = "<r>" + std::string(200000, 'x') + "</r>", ys(70000, 'y');
    const struct {
        std::string text;
        const char *insertion, *anchor;  // insertion nullptr: the document's own text from index 3
        int pos, replaceCount, capacity, expected;
        std::string after;  // "": unchanged
        size_t capacityAfter;
    } cases[] = {
        {"<r a='>'>z</r>", "<i/>", "<r", 0, 0, 64, 9, "<r a='>'><i/>z</r>", 64},
        {"<a>v</a>", "w", "<a>", 0, 1, 64, 3, "<a>w</a>", 64},
        {"<a>v</a>", "x", nullptr, 7, 99, 64, 7, "<a>v</ax", 64},
        {"<a>v</a>", "x", "<b", 0, 0, 64, 0, "", 64},
        {"<a x='>", "x", "<a", 0, 0, 64, -1, "", 64},
        {"<a>v</a>", "x", nullptr, 9, 0, 64, 0, "", 64},                       // beyond the text
        {"<a></a>", "12345", "<a", 0, 0, 13, 3, "<a>12345</a>", 7 + 5 + 256},  // T + S + 1 = 13
        {"<a></a>", "12345", "<a", 0, 0, 14, 3, "<a>12345</a>", 14},
        {"<a><b/></a>", nullptr, "<a", 0, 0, 16, 3, "<a><b/></a><b/></a>", 8 + 11 + 256},
        {big, ys.c_str(), nullptr, 3, 10, static_cast<int>(big.size() + 1), 3,
         "<r>" + ys + big.substr(13), big.size() + ys.size() + 256},
    };
    for (const auto& c : cases) {
        char* text = Shared(c.text, c.capacity);
        int unused = 0;
        char* insertion = c.insertion ? C(c.insertion) : text + 3;
        EXPECT_EQ(ZqXmlU_InsertString(text, unused, insertion, C(c.anchor), c.pos, c.replaceCount),
                  c.expected)
            << c.text.substr(0, 20);
        EXPECT_EQ(text, c.after.empty() ? c.text : c.after);
        EXPECT_EQ(SharedSize(text), c.capacityAfter) << c.text.substr(0, 20);
        ZqXmlU_xml_free(text);
    }
}

TEST(AddToString, GrowsToTwiceTheNeedPlus132) {
    char* buffer = nullptr;
    int length = 0, capacity = 0;
    ZqXmlU_AddToString(buffer, length, capacity, C("a"), C("b"), C("c"));
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(length, 3);
    EXPECT_EQ(capacity, 138);
    std::string more(133, 'm');  // fits while length + added + 2 <= capacity
    ZqXmlU_AddToString(buffer, length, capacity, more.data(), C(""), C(""));
    EXPECT_EQ(capacity, 138);
    // Parts of the buffer itself, across a growth.
    const std::string before(buffer);
    ZqXmlU_AddToString(buffer, length, capacity, buffer, buffer, C(""));
    EXPECT_EQ(buffer, before + before + before);
    EXPECT_EQ(length, 3 * 136);
    EXPECT_EQ(capacity, 2 * 3 * 136 + 132);
    EXPECT_EQ(ZqXmlU_GetUsedSpace(buffer), static_cast<uint32_t>(capacity));
    Release(buffer);
}

std::string Utf16(const std::string& ascii) {
    std::string out;
    for (char ch : ascii)
        out += ch + "\0"s;
    return out;
}

TEST(ExtractComment, ReadableStrings) {
    const struct {
        std::string data, comment;
        bool found;
    } cases[] = {
        {"abc\0hello\0"s, "hello", true},  // runs under 4 characters are dropped
        {Utf16("Test") + "\0\0"s, "UNICODE[Test]", true},
        {"a<!--b\0x-->y\0<!-->"s, "a&lt;!--b, x--&gt;y, &lt;!--&gt;", true},  // last run: no NUL
        {"\x01\x02\x03"s, " ", false},
        {""s, " ", false},
        {"abc"s, "abc", true},  // the last run needs no NUL when it spans the block
        {"abcd\x01wxyz\0"s, "wxyz", true},
        {"A\0"s, "UNICODE[A]", true},
        {Utf16("Tes") + "\x01\x01"s, " ", false},
        {Utf16("Wide") + "\x01narrow\0"s, "UNICODE[Wide], narrow", true},
        {"name\0"s + Utf16("T\t\xC0\r\n") + "\xFF\xFF"s, "name, UNICODE[T\t\xC0\r\n]", true},
        {Utf16("Odd!") + "x"s, "UNICODE[Odd!]", true},  // half a unit at the end ends the run
    };
    for (const auto& c : cases) {
        unsigned capacity = 8;
        char* document = Shared("<x>", capacity);
        char* writePos = document + 3;
        std::vector<unsigned char> bytes(c.data.begin(), c.data.end());
        char* r = ZqXmlU_ExtractComment(bytes.data(), writePos, document, capacity,
                                        static_cast<unsigned>(bytes.size()));
        const std::string comment =
            c.comment == " " ? "<!--  -->\n\t\t" : "<!-- " + c.comment + " -->\n\t\t";
        EXPECT_EQ(std::string(document), "<x>" + comment);
        EXPECT_EQ(writePos, document + 3 + comment.size());
        EXPECT_EQ(r, c.found ? writePos : document + 3) << comment;
        EXPECT_EQ(capacity, 2048u + 8u);
        ZqXmlU_xml_free(document);
    }
    // More than 16 bytes per data byte beyond writePos: no growth; else 16 per byte plus 2.
    unsigned capacity = 107;
    char* document = Shared("", capacity);
    char* writePos = document + 10;
    unsigned char six[6] = {'a', 'b', 'c', 'd', 'e', 0};
    ZqXmlU_ExtractComment(six, writePos, document, capacity, 6);
    EXPECT_EQ(SharedSize(document), 107u);
    std::vector<unsigned char> block(1000, 'z');
    ZqXmlU_ExtractComment(block.data(), writePos, document, capacity, 1000);
    EXPECT_EQ(SharedSize(document), 107u + 16002u);
    EXPECT_EQ(capacity, 107u + 16002u);
    ZqXmlU_xml_free(document);
}

// Hostile callers of the document editors: an unsound list of items, a tagged block where a
// shared XML string is expected, and stale capacities are refused or held to the document.
TEST(Hostile, UnsoundListsForeignAndStaleDocuments) {
    // An unsound list of items is left alone: 0, nothing appended.
    uintptr_t word = 7;
    for (ZQ_KWLIST_STRUCT_T bad : {ZQ_KWLIST_STRUCT_T{2, 1, 0, &word, &word},
                                   ZQ_KWLIST_STRUCT_T{0, 3, 0, nullptr, nullptr}}) {
        const ZQ_KWLIST_STRUCT_T before = bad;
        auto exact = Exact("<dc:subject><rdf:li>a</rdf:li></dc:subject>");
        EXPECT_EQ(
            ZqXmlU_GetElementContents(exact.data(), C("dc:subject"), nullptr, &bad, 2, 0, 0, Tag()),
            0);
        EXPECT_TRUE(std::memcmp(&bad, &before, sizeof bad) == 0 && word == 7);
    }
    // A tagged block is no shared XML string: it has no capacity to grow into, so the insertion
    // is refused (-1) and the text stays.
    auto* block = static_cast<char*>(ZqXmlU_Calloc(64, 1, Tag()));
    std::memcpy(block, "<a></a>", 8);
    char* text = block;
    int unused = 0;
    EXPECT_EQ(ZqXmlU_InsertString(text, unused, C("x"), C("<a"), 0, 0), -1);
    EXPECT_TRUE(text == block && std::strcmp(block, "<a></a>") == 0);
    Release(block);
    // The caller's capacity counts as far as the document records it: a stale larger one grows
    // the document instead of writing past it; a smaller one never shrinks it. A document that
    // is not a shared XML string, or a position past the recorded size, gets nothing.
    for (const auto& [stated, recorded, after, size] :
         std::vector<std::tuple<unsigned, unsigned, unsigned, unsigned>>{
             {100000, 8, 8 + 2048, 8 + 2048},
             {8, 4000, 8 + 2048, 4000},
             {20, 20, 20, 20},  // 16 bytes of reserve after writePos and one more: no growth
             {19, 19, 19 + 2048, 19 + 2048},
         }) {
        unsigned cap = stated;
        char* doc = Shared("<x>", recorded);
        char* at = doc + 3;
        zqtest::PageEnd one("q");  // one data byte (and the NUL) at an inaccessible page
        ZqXmlU_ExtractComment(reinterpret_cast<unsigned char*>(one.data()), at, doc, cap, 1);
        EXPECT_EQ(std::string(doc), "<x><!-- q -->\n\t\t") << stated << "/" << recorded;
        EXPECT_TRUE(cap == after && SharedSize(doc) == size) << stated << "/" << recorded;
        ZqXmlU_xml_free(doc);
    }
    auto* tagged = static_cast<char*>(ZqXmlU_Calloc(64, 1, Tag()));
    char* shared = Shared("<x>", 64);
    for (char* doc : {tagged, shared}) {
        char* at = doc == tagged ? doc : doc + 65;
        char* same = doc;
        unsigned cap = 64;
        unsigned char one[1] = {'q'};
        EXPECT_EQ(ZqXmlU_ExtractComment(one, at, same, cap, 1), at);
        EXPECT_TRUE(same == doc && doc[3] == '\0' && cap == 64);
    }
    Release(tagged);
    ZqXmlU_xml_free(shared);
}

TEST(FileToBuf, NullLentAndOwnedBuffers) {
    const struct {
        unsigned fileSize, startCapacity, owned, capacity;  // startCapacity 0: NULL buffer
        bool replaced;
    } cases[] = {
        {10, 0, 0, 4096, true},   {0, 0, 0, 4096, true},      {4094, 0, 0, 4096, true},
        {4095, 0, 0, 8192, true}, {98, 100, 0, 100, false},   {99, 100, 0, 4196, true},
        {99, 100, 1, 4196, true}, {5000, 100, 1, 8292, true},
    };
    for (const auto& c : cases) {
        std::string bytes(c.fileSize, 'q');
        FILE* file = std::tmpfile();
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::rewind(file);
        zqtest::PageEnd lent(100);  // a byte past it faults
        char* buffer = !c.startCapacity ? nullptr
                       : c.owned        ? static_cast<char*>(ZqXmlU_Calloc(100, 1, Tag()))
                                        : lent.data();
        char* const given = buffer;
        unsigned capacity = c.startCapacity;
        int owned = c.owned;
        ZqXmlU_FileToBuf(file, buffer, capacity, owned);
        EXPECT_EQ(capacity, c.capacity) << c.fileSize;
        if (!c.owned) {  // a reallocated block may stay where it was
            EXPECT_EQ(buffer != given, c.replaced) << c.fileSize;
        }
        EXPECT_EQ(owned, c.replaced || c.owned ? 1 : 0);
        EXPECT_EQ(std::string(buffer), bytes);
        EXPECT_EQ(std::fgetc(file), EOF);  // read to the end, left open
        if (owned) Release(buffer);
        std::fclose(file);
    }
}

// The in-memory control of the other platforms records every expansion; on Windows the tree is a
// real window (test_winapi.cpp).
#if !defined(_WIN32)
TEST(XmlToTree, ResultsAndNames) {
    const std::string n64(64, 'n');
    const struct {
        std::string text;
        int pos, expected;
        std::string tree;
    } cases[] = {
        {"<?xpacket begin='' id='W5M0'?>\n<x:meta xmlns:x='a:b/'>\n <!-- a <b> c -->\n"
         " <rdf:D rdf:about=''><dc:t><rdf:li>L &amp; r</rdf:li></dc:t>\n <q:e a=\"x/>y\"/>"
         "<p><![CDATA[<no>]]></p></rdf:D>\n</x:meta>\n<?xpacket end='w'?>\n",
         0, 1, "meta\n  D\n    t\n      li\n    e\n    p\n"},
        {"<skip/><a><b/></a><c/>", 7, 1, "a\n  b\nc\n"},
        {"  \r\n", 0, 1, ""},
        {"<a><b></a>", 0, 1, "a\n  b\n"},  // end tags are not matched by name
        {"<a>text", 0, -1, "a\n"},         // no further "<"
        {"<a b='>", 0, -1, ""},            // unterminated quoted run
        {"<a>it's</a>", 0, -1, "a\n"},     // a quote in content opens a run
        {"<?pi <a/>", 0, -1, ""},
        {"<a/>", 5, -1, ""},
        {"<!DOCTYPE d [<!ENTITY e 'v'>]><d/>", 0, 1, "d\n"},
        {"<" + n64 + "/>", 0, 1, n64 + "\n"},
        {"<p:" + n64 + "n/>", 0, -1, ""},
        {"<" + std::string(63, 'p') + ":a:b/>", 0, 1, "a:b\n"},
        {"<" + n64 + ":local/>", 0, -1, ""},  // no ":" within the first 64 characters
    };
    for (const auto& c : cases) {
        ZQ_XML_STRUCT_T sink{};
        sink.tag = "test";
        ZqXmlU_xml_sprintf(&sink, "%s", c.text.c_str());
        CTreeCtrl tree;
        EXPECT_EQ(ZqXmlU_XmlToTree(&sink, &tree, TVI_ROOT, c.pos, 0), c.expected) << c.text;
        ZqXmlU_xml_free(sink.buffer);
        EXPECT_EQ(tree.Print(), c.tree) << c.text;
        // After a whole walk every item has been expanded once, with its children in place.
        for (HTREEITEM item = tree.GetRootItem(); item && c.expected == 1;) {
            EXPECT_EQ(item->expandMessages, 1u) << item->text;
            EXPECT_EQ(item->childrenAtExpand, item->childCount) << item->text;
            EXPECT_EQ(item->image + item->selectedImage, 2);
            HTREEITEM next = tree.GetChildItem(item);
            while (!next && item) {
                next = tree.GetNextSiblingItem(item);
                item = tree.GetParentItem(item);
            }
            item = next;
        }
    }
}

TEST(XmlToTree, DeepNestingNeedsNoStack) {
    const int depth = 100000;
    std::string s;
    for (int i = 0; i < depth; ++i)
        s += "<e>";
    s += "<leaf/>";
    for (int i = 0; i < depth; ++i)
        s += "</e>";
    auto text = Exact(s);
    EXPECT_EQ(ZqXmlU_FindXmlEnd(text.data()), static_cast<ZqLong>(s.size() - 1));
    ZQ_XML_STRUCT_T sink{};
    sink.buffer = text.data();
    sink.length = static_cast<int>(s.size());
    CTreeCtrl tree;  // under the parent given, every level expanded and alone
    const HTREEITEM top = tree.InsertItem("top", 0, 0);
    ASSERT_EQ(ZqXmlU_XmlToTree(&sink, &tree, top, 0, 0), 1);
    EXPECT_EQ(tree.GetCount(), static_cast<UINT>(depth + 2));
    HTREEITEM item = tree.GetChildItem(top);
    for (int level = 0; level < depth; ++level) {
        ASSERT_TRUE(tree.IsExpanded(item) && !tree.GetNextSiblingItem(item));
        item = tree.GetChildItem(item);
    }
    EXPECT_EQ(tree.GetItemText(item), "leaf");
}

#endif  // !_WIN32

#ifdef ZQ_TOOL
TEST(Tool, ScanCommands) {
    const std::string tool = ZQ_TOOL;
    const std::string doc =
        "<r><dc:subject><rdf:Bag><rdf:li>a</rdf:li><rdf:li>b</rdf:li></rdf:Bag></dc:subject>\n"
        "  <k a='>'>v</k> <m/></r>\n";
    for (const auto& [args, input, status, out] :
         std::vector<std::tuple<std::string, std::string, int, std::string>>{
             {"tree", doc, 0, "r\n  subject\n    Bag\n      li\n      li\n  k\n  m\n"},
             {"tree", "<a>text", 1, "a\n"},
             {"element get rdf:Bag", doc, 0, "<rdf:li>a</rdf:li><rdf:li>b</rdf:li>\n"},
             {"element items dc:subject", doc, 0, "a\nb\n"},
             {"element param k", doc, 0, "v\n"},
             {"element cut --any-prefix subject", doc, 0, "<r><k a='>'>v</k> <m/></r>\n"},
             {"element insert --anchor '<k' '<n/>'", "<k a='>'>v</k>", 0, "<k a='>'><n/>v</k>"},
             {"element insert --pos 3 --replace 1 x", "<r>v</r>", 0, "<r>x</r>"},
             {"element insert x", "<r/>", 2, ""},
             {"strings", "abc\0hello\0"s, 0, "<!-- hello -->\n"},
             {"element cut -i k", "", 2, ""},  // -i needs a file
         }) {
        const auto r = zqtest::Run(tool + " " + args, input);
        EXPECT_EQ(r.status, status) << args << "\n" << r.err;
        EXPECT_EQ(r.out, out) << args;
    }
    const std::string path = "/tmp/zqtest-scan-" + std::to_string(getpid());
    std::ofstream(path) << "<r><k>1</k> <m/></r>";
    EXPECT_EQ(zqtest::Run(tool + " element cut -i k " + path).status, 0);
    EXPECT_EQ(zqtest::ReadFile(path), "<r><m/></r>");
    std::remove(path.c_str());
}
#endif

}  // namespace
