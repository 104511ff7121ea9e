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

using namespace std::string_literals;
using zqtest::Tag;

// The text in a heap block of exactly its size, so that AddressSanitizer reports a read past
// the NUL.
struct Exact {
    explicit Exact(const std::string& s) : p(static_cast<char*>(std::malloc(s.size() + 1))) {
        std::memcpy(p, s.c_str(), s.size() + 1);
    }
    ~Exact() { std::free(p); }
    Exact(const Exact&) = delete;
    Exact& operator=(const Exact&) = delete;
    char* p;
};

char* C(const char* s) {
    return const_cast<char*>(s);
}

void Release(void* p) {
    ZqXmlU_Free(&p);
}

enum Scanner : long { kNext, kSpace, kEnd, kSub };

TEST(Scanners, QuotesCommentsModesAndEmptyTargets) {
    const struct {
        Scanner scanner;
        const char* text;
        long start;
        const char* target;
        int mode;  // kSpace: stopAtGreater
        int expected;
    } cases[] = {
        {kNext, "<a b='x>y'>", 0, ">", 0, 10},  // markup mode skips quoted runs
        {kNext, "<a b='x>y'>", 0, ">", 2, 7},   // plain mode does not
        {kNext, "<a b='x>y'>", 0, ">", 7, 10},  // other modes are markup mode
        {kNext, "<a b='x>y>", 0, ">", 0, -1},
        {kNext, "ab'cd'", 0, "'c", 1, 2},  // the target test comes first
        {kNext, "ab<!-- < --></t>", 0, "</", 1, 12},
        {kNext, "ab<!-- < --></t>", 0, "<", 1, 2},
        {kNext, "ab<!-- </t> --><!----></t>", 0, "</", 1, 22},
        {kNext, "ab<!-- </t>", 0, "</", 1, -1},
        {kNext, "ab<!-- </t> -->", 0, "</", 0, 7},
        {kNext, "it's</t>", 0, "<", 1, -1},
        {kNext, "xx'yy'zz'", 3, "z", 0, -1},  // from inside a run, its closing quote opens one
        {kNext, "</ab</abc>", 1, "</abc", 0, 4},
        {kNext, "abc", 1, "", 0, 1},
        {kNext, "abc", 3, "", 0, -1},
        {kSpace, "a='b c' d", 0, nullptr, 0, 7},
        {kSpace, "abc>", 0, nullptr, 1, 3},
        {kSpace, "abc>", 0, nullptr, 0, 4},
        {kSpace, "a'bc", 0, nullptr, 0, 4},
        {kEnd, "x<a/>", 0, nullptr, 0, -1},
        {kEnd, "<a/>", 0, nullptr, 0, 3},
        {kEnd, "<a></a>", 0, nullptr, 0, 6},
        {kEnd, "<a><b/>x</a>", 0, nullptr, 0, 11},
        {kEnd, "<a>", 0, nullptr, 0, -1},
        {kEnd, "<a><!-- </a> --></a>", 0, nullptr, 0, 19},
        {kEnd, "<a t=\"/>\"></a>", 0, nullptr, 0, 13},
        {kEnd, "<a t='x></a>", 0, nullptr, 0, -1},
        {kEnd, "<a>it's it's</a>trail", 0, nullptr, 0, 15},  // quotes in content are runs too
        {kEnd, "<a><?pi?></a>", 0, nullptr, 0, -1},          // nor does "<?" ever balance
        {kSub, "abcabc", 0, "ca", 0, 2},
        {kSub, "abcabc", 0, "", 0, -1},
    };
    for (const auto& c : cases) {
        Exact text(c.text);
        long r = 0;
        switch (c.scanner) {
            case kNext:
                r = ZqXmlU_FindNextUnquoted(text.p, static_cast<ZqLong>(c.start), C(c.target),
                                            c.mode);
                break;
            case kSpace:
                r = ZqXmlU_FindUnquotedWhitespace(text.p, c.mode);
                break;
            case kEnd:
                r = ZqXmlU_FindXmlEnd(text.p);
                break;
            case kSub:
                r = ZqXmlU_FindSubstring(text.p, C(c.target));
        }
        EXPECT_EQ(r, c.expected) << "scanner " << c.scanner << " on '" << c.text << "'";
    }
    char target[] = "a";
    EXPECT_EQ(ZqXmlU_FindNextUnquoted(nullptr, 0, target, 0), -1);
    EXPECT_EQ(ZqXmlU_FindNextUnquoted(target, -1, target, 0), -1);
    EXPECT_EQ(ZqXmlU_FindUnquotedWhitespace(nullptr, 1), 0);
    EXPECT_EQ(ZqXmlU_FindSubstring(target, nullptr), -1);
}

TEST(Scanners, VectorSearchAcrossPieces) {
    // The plain search reads vectors inside pieces of 16 KiB; matches at and across the edges.
    for (size_t at : {0u, 15u, 63u, 64u, 16380u, 16383u, 16384u, 40000u, 49994u}) {
        std::string s(50000, 'n');
        s.replace(at, 6, "needle");
        Exact text(s);
        char needle[] = "needle";
        EXPECT_EQ(ZqXmlU_FindSubstring(text.p, needle), static_cast<int>(at));
        EXPECT_EQ(ZqXmlU_FindNextUnquoted(text.p, 1, needle, 2), at ? static_cast<int>(at) : -1);
    }
}

TEST(ElementReaders, ContentsAndParams) {
    const struct {
        const char* text;
        int pos;  // -9: GetParam of "name" into 4 bytes
        int expected;
        const char* value;
    } cases[] = {
        {"<t>a &amp; b</t>", 3, 1, "a & b"},
        {"<t a=1>v</t>", 1, 1, "v"},
        {"<t a='1'>v</t>", 1, 0, nullptr},  // a raw quote ends the content-mode search
        {"<t><u/></t>", 3, 0, nullptr},
        {"<t>x<!-- c --></t>", 3, 0, nullptr},
        {">x</t>", 0, -1, nullptr},  // index 0 is not examined
        {"<name>abc</name>", -9, 0, "abc"},
        {"<name>abcd</name>", -9, -2, nullptr},
        {"<name/>", -9, 2, nullptr},  // self-closing does not match
        {"<name a='>'>v</name>", -9, 0, "v"},
        {"<name a='</name>'>v</name>", -9, 0, "v"},  // an end tag inside the start tag
        {"<namex>1</namex><name\n>2</name>", -9, 0, "2"},
        {"<name>1</namex>", -9, 0, "1"},  // no delimiter test on the end tag
        {"<name>abc", -9, 1, nullptr},
        {"<name a='x>abc</name>", -9, -1, nullptr},
    };
    for (const auto& c : cases) {
        Exact text(c.text);
        char param[4] = {'#', '#', '#', '#'};
        char* contents = param;
        const int r = c.pos == -9 ? ZqXmlU_GetParam(text.p, C("name"), param, 4)
                                  : ZqXmlU_GetContents(text.p, c.pos, contents);
        EXPECT_EQ(r, c.expected) << c.text;
        const char* got = c.pos == -9 ? (param[0] == '#' ? nullptr : param) : contents;
        EXPECT_STREQ(got, c.value) << c.text;
        if (c.pos != -9) Release(contents);
    }
}

TEST(ElementReaders, ElementContentAndListItems) {
    const std::string bag =
        "<dc:subject><rdf:Bag><rdf:li>a</rdf:li><rdf:li xml:lang='en'>b</rdf:li>"
        "<rdf:li></rdf:li></rdf:Bag></dc:subject><x><rdf:li>z</rdf:li></x>";
    const struct {
        std::string text;
        int how;
        int maxItems;
        int expected;
        std::vector<std::string> got;  // how 1: the content ("" for NULL); how 2: the items
    } cases[] = {
        {"<s a='1'>xy</s>", 1, 0, 1, {"xy"}},
        {"<s\n>a<!-- c -->&amp;</s\t>", 1, 0, 1, {"a<!-- c -->&amp;"}},  // raw
        {"<s></s>", 1, 0, 1, {""}},                                      // NULL for empty content
        {"<s/><t/></s>", 1, 0, 1, {"<t/>"}},
        {"<sx>1</sx>", 1, 0, 0, {}},
        {"<s>1</s>", 3, 0, 1, {}},
        {bag, 2, 2, 1, {"a", "b"}},
        {bag, 2, 0, 1, {"a", "b", "", "z"}},  // on past the element's end
        {"<dc:subject><rdf:li>a</rdf:li><rdf:li>b</dc:subject>", 2, 0, 0, {"a"}},
        {"<dc:subject><rdf:lix>1</rdf:li><rdf:li/>2</rdf:li></dc:subject>", 2, 0, 1, {"1", "2"}},
        {"<dc:subject><rdf:li>a</rdf:li>", 2, 0, 0, {}},
    };
    for (const auto& c : cases) {
        Exact text(c.text);
        char* contents = C("untouched");
        ZQ_KWLIST_STRUCT_T items{};
        const char* name = c.how == 2 ? "dc:subject" : "s";
        EXPECT_EQ(ZqXmlU_GetElementContents(text.p, C(name), &contents, &items, c.how, c.maxItems,
                                            0, Tag()),
                  c.expected)
            << c.text;
        std::vector<std::string> got;
        for (int i = 0; i < items.count; ++i)
            got.emplace_back(reinterpret_cast<const char*>(items.keys[i]));
        if (c.how == 1 && c.expected == 1) {
            got.emplace_back(contents ? contents : "");
            Release(contents);
        }
        EXPECT_EQ(got, c.got) << c.text;
        ZqXmlU_FreeKwAllocList(&items);
    }
}

TEST(Excise, CutsInPlace) {
    const struct {
        const char* text;
        int anyPrefix;
        int expected;
        const char* after;
    } cases[] = {
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
    };
    for (const auto& c : cases) {
        Exact text(c.text);
        EXPECT_EQ(ZqXmlU_Excise(text.p, C("k"), c.anyPrefix), c.expected) << c.text;
        EXPECT_STREQ(text.p, c.after ? c.after : c.text);
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
    const struct {
        const char* text;
        const char* insertion;  // nullptr: the document's own text from index 3
        const char* anchor;
        int pos, replaceCount;
        unsigned capacity;
        int expected;
        const char* after;
        unsigned capacityAfter;
    } cases[] = {
        {"<r a='>'>z</r>", "<i/>", "<r", 0, 0, 64, 9, "<r a='>'><i/>z</r>", 64},
        {"<a>v</a>", "w", "<a>", 0, 1, 64, 3, "<a>w</a>", 64},
        {"<a>v</a>", "x", nullptr, 7, 99, 64, 7, "<a>v</ax", 64},
        {"<a>v</a>", "x", "<b", 0, 0, 64, 0, nullptr, 64},
        {"<a>v</a>", "x", "", 0, 0, 64, 0, nullptr, 64},
        {"<a x='>", "x", "<a", 0, 0, 64, -1, nullptr, 64},
        {"<a>v</a>", "x", nullptr, 9, 0, 64, 0, nullptr, 64},                  // beyond the text
        {"<a></a>", "12345", "<a", 0, 0, 13, 3, "<a>12345</a>", 7 + 5 + 256},  // T + S + 1 = 13
        {"<a></a>", "12345", "<a", 0, 0, 14, 3, "<a>12345</a>", 14},
        {"<a><b/></a>", nullptr, "<a", 0, 0, 16, 3, "<a><b/></a><b/></a>", 8 + 11 + 256},
    };
    for (const auto& c : cases) {
        char* text = Shared(c.text, c.capacity);
        int unused = 0;
        char* insertion = c.insertion ? C(c.insertion) : text + 3;
        EXPECT_EQ(ZqXmlU_InsertString(text, unused, insertion, C(c.anchor), c.pos, c.replaceCount),
                  c.expected)
            << c.text;
        EXPECT_STREQ(text, c.after ? c.after : c.text);
        EXPECT_EQ(SharedSize(text), c.capacityAfter) << c.text;
        ZqXmlU_xml_free(text);
    }
    // A document far beyond 64 KiB.
    const std::string big = "<r>" + std::string(200000, 'x') + "</r>";
    char* text = Shared(big, static_cast<unsigned>(big.size() + 1));
    std::string insertion(70000, 'y');
    int unused = 0;
    EXPECT_EQ(ZqXmlU_InsertString(text, unused, insertion.data(), nullptr, 3, 10), 3);
    EXPECT_EQ(text, "<r>" + insertion + big.substr(13));
    ZqXmlU_xml_free(text);
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
        std::string data;
        std::string comment;
        bool found;
    } cases[] = {
        {"abc\0hello\0"s, "hello", true},  // runs under 4 characters are dropped
        {Utf16("Test") + "\0\0"s, "UNICODE[Test]", true},
        {"a<!--b\0x-->y\0<!-->\0"s, "a&lt;!--b, x--&gt;y, &lt;!--&gt;", true},
        {"\x01\x02\x03"s, " ", false},
        {""s, " ", false},
        {"abc"s, "abc", true},  // the last run needs no NUL when it spans the block
        {"abcd\x01wxyz\0"s, "wxyz", true},
        {"one!\0two!\0three"s, "one!, two!, three", true},
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

TEST(FileToBuf, NullLentAndOwnedBuffers) {
    const struct {
        size_t fileSize;
        unsigned startCapacity;  // 0: NULL buffer
        int owned;
        unsigned capacity;
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
        char lent[100];
        char* buffer = !c.startCapacity ? nullptr
                       : c.owned        ? static_cast<char*>(ZqXmlU_Calloc(100, 1, Tag()))
                                        : lent;
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

// The element tree of `text` from `pos`, and the walk's result.
std::string Tree(const std::string& text, int* result, int pos = 0) {
    ZQ_XML_STRUCT_T sink{};
    sink.tag = "test";
    ZqXmlU_xml_sprintf(&sink, "%s", text.c_str());
    CTreeCtrl tree;
    *result = ZqXmlU_XmlToTree(&sink, &tree, TVI_ROOT, pos, 0);
    ZqXmlU_xml_free(sink.buffer);
    return tree.Print();
}

TEST(XmlToTree, MetadataDocument) {
    const std::string doc = R"(<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?>
<x:xmpmeta xmlns:x="adobe:ns:meta/">
 <rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#">
  <!-- a comment <with> markup -->
  <rdf:Description rdf:about='' xmlns:dc="http://purl.org/dc/elements/1.1/">
   <dc:title><rdf:Alt><rdf:li xml:lang="x-default">Lake &amp; river</rdf:li></rdf:Alt></dc:title>
   <dc:subject><rdf:Bag><rdf:li>summer</rdf:li><rdf:li>people</rdf:li></rdf:Bag></dc:subject>
   <zq:empty a="x/>y"/><plain><![CDATA[<not-an-element>]]></plain>
  </rdf:Description>
 </rdf:RDF>
</x:xmpmeta>
<?xpacket end='w'?>
)";
    ZQ_XML_STRUCT_T sink{};
    sink.tag = "test";
    ZqXmlU_xml_sprintf(&sink, "%s", doc.c_str());
    CTreeCtrl tree;
    const HTREEITEM top = tree.InsertItem("top", 0, 0, TVI_ROOT, TVI_LAST);
    EXPECT_EQ(ZqXmlU_XmlToTree(&sink, &tree, top, 0, 0), 1);
    ZqXmlU_xml_free(sink.buffer);
    EXPECT_EQ(tree.Print(),
              "top\n  xmpmeta\n    RDF\n      Description\n        title\n          Alt\n"
              "            li\n        subject\n          Bag\n            li\n            li\n"
              "        empty\n        plain\n");
    // Every item expanded once, with its children in place; images 1 and 1.
    for (HTREEITEM item = tree.GetChildItem(top); item;) {
        EXPECT_EQ(item->expandMessages, 1u) << item->text;
        EXPECT_EQ(item->childrenAtExpand, item->childCount) << item->text;
        EXPECT_EQ(item->image + item->selectedImage, 2);
        HTREEITEM next = tree.GetChildItem(item);
        while (!next && item && item != top) {
            next = tree.GetNextSiblingItem(item);
            item = tree.GetParentItem(item);
        }
        item = next;
    }
}

TEST(XmlToTree, ResultsAndNames) {
    const std::string n64(64, 'n');
    const struct {
        std::string text;
        int pos;
        int expected;
        std::string tree;
    } cases[] = {
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
        int result = 0;
        EXPECT_EQ(Tree(c.text, &result, c.pos), c.tree) << c.text;
        EXPECT_EQ(result, c.expected) << c.text;
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
    Exact text(s);
    EXPECT_EQ(ZqXmlU_FindXmlEnd(text.p), static_cast<ZqLong>(s.size() - 1));
    ZQ_XML_STRUCT_T sink{};
    sink.buffer = text.p;
    sink.length = static_cast<int>(s.size());
    CTreeCtrl tree;
    ASSERT_EQ(ZqXmlU_XmlToTree(&sink, &tree, nullptr, 0, 0), 1);
    EXPECT_EQ(tree.GetCount(), static_cast<UINT>(depth + 1));
    HTREEITEM item = tree.GetRootItem();
    for (int level = 0; level < depth; ++level) {
        ASSERT_TRUE(tree.IsExpanded(item) && !tree.GetNextSiblingItem(item));
        item = tree.GetChildItem(item);
    }
    EXPECT_EQ(tree.GetItemText(item), "leaf");
}

#ifdef ZQ_TOOL
TEST(Tool, ScanCommands) {
    const std::string tool = ZQ_TOOL;
    const std::string doc =
        "<r><dc:subject><rdf:Bag><rdf:li>a</rdf:li><rdf:li>b</rdf:li></rdf:Bag></dc:subject>\n"
        "  <k a='>'>v</k> <m/></r>\n";
    const struct {
        std::string args, input;
        int status;
        std::string out;
    } cases[] = {
        {"tree", doc, 0, "r\n  subject\n    Bag\n      li\n      li\n  k\n  m\n"},
        {"tree", "<a>text", 1, "a\n"},
        {"element get rdf:Bag", doc, 0, "<rdf:li>a</rdf:li><rdf:li>b</rdf:li>\n"},
        {"element items dc:subject", doc, 0, "a\nb\n"},
        {"element param k", doc, 0, "v\n"},
        {"element cut --any-prefix subject", doc, 0, "<r><k a='>'>v</k> <m/></r>\n"},
        {"element insert --anchor '<k' '<n/>'", "<k a='>'>v</k>", 0, "<k a='>'><n/>v</k>"},
        {"element insert --pos 3 --replace 1 x", "<r>v</r>", 0, "<r>x</r>"},
        {"element insert x", "<r/>", 2, ""},
        {"strings", "abc\0hello\0"s, 0, "<!-- hello -->\n\t\t"},
    };
    for (const auto& c : cases) {
        const auto r = zqtest::Run(tool + " " + c.args, c.input);
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.err;
        EXPECT_EQ(r.out, c.out) << c.args;
    }
    char path[] = "/tmp/zqtest-scan-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "<r><k>1</k> <m/></r>", 20), 20);
    close(fd);
    EXPECT_EQ(zqtest::Run(tool + " element cut -i k " + path).status, 0);
    EXPECT_EQ(zqtest::ReadFile(path), "<r><m/></r>");
    EXPECT_EQ(zqtest::Run(tool + " element cut -i k").status, 2);  // -i needs a file
    std::remove(path);
}
#endif

}  // namespace
