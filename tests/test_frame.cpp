// The library frame: log root, tagged blocks, shared XML strings and the output sink.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "support.h"
#include "zqxmlu.h"

namespace {

using zqtest::Tag;

// Bytes of the tagged block around a payload pointer.
const unsigned char* Raw(const void* p) {
    return static_cast<const unsigned char*>(p) - 8;
}

uint32_t Word(const unsigned char* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

struct SharedHeader {
    uint32_t magic, tag, refs, size;
};

SharedHeader HeaderOf(const char* p) {
    SharedHeader h;
    std::memcpy(&h, p - 16, sizeof h);
    return h;
}

// Lets the address space grow by 512 MiB more, so that larger heap requests fail (run inside a
// death test). Relative to the current size, so that it also holds under AddressSanitizer.
void LimitHeap() {
    unsigned long pages = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%lu", &pages) != 1) pages = 0;
        std::fclose(f);
    }
    const rlim_t limit = static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + (512u << 20);
    rlimit r{limit, limit};
    setrlimit(RLIMIT_AS, &r);
}

// Compares the tag of a shared XML string; returns 0 when equal (memcmp style).
int TagIs(const char* p, const char* tag, size_t n) {
    const SharedHeader h = HeaderOf(p);
    return std::memcmp(&h.tag, tag, n);
}

char kOrig[] = "orig";

void* g_kept = nullptr;  // reachable from a global, so leak checkers in death tests see it held

// ----- Log root ---------------------------------------------------------------------------------

TEST(LogRoot, DefaultsSetAndRelease) {
    ZqXmlU_FreeStorage();
    EXPECT_STREQ(ZqXmlU_GetLogRoot(), "c:\\zq\\");
    EXPECT_EQ(std::u16string(ZqXmlU_GetLogRootW()), u"c:\\zq\\");

    ZqXmlU_SetLogRoot("/var/log/Z\xC3\xBCrich \xE2\x82\xAC/");
    EXPECT_STREQ(ZqXmlU_GetLogRoot(), "/var/log/Z\xC3\xBCrich \xE2\x82\xAC/");
    EXPECT_EQ(std::u16string(ZqXmlU_GetLogRootW()), u"/var/log/Z\u00FCrich \u20AC/");
    EXPECT_EQ(ZqXmlU_GetUsedSpace(const_cast<char*>(ZqXmlU_GetLogRoot())), 22u);

    ZqXmlU_SetLogRoot("");
    EXPECT_STREQ(ZqXmlU_GetLogRoot(), "");
    EXPECT_EQ(ZqXmlU_GetLogRootW()[0], 0);

    ZqXmlU_FreeStorage();
    ZqXmlU_FreeStorage();
    EXPECT_STREQ(ZqXmlU_GetLogRoot(), "c:\\zq\\");
    EXPECT_EQ(std::u16string(ZqXmlU_GetLogRootW()), u"c:\\zq\\");
}

TEST(LogRoot, LongPathIsStoredWholeInBothForms) {
    std::string path = "/data/";
    std::u16string wide = u"/data/";
    for (int i = 0; i < 100; ++i) {  // 606 bytes
        path += "\xC3\xA9t\xC3\xA9/";
        wide += u"\u00E9t\u00E9/";
    }
    ZqXmlU_SetLogRoot(path.c_str());
    EXPECT_EQ(std::string(ZqXmlU_GetLogRoot()), path);
    EXPECT_EQ(std::u16string(ZqXmlU_GetLogRootW()), wide);
    ZqXmlU_FreeStorage();
}

// ----- Tagged blocks ----------------------------------------------------------------------------

TEST(TaggedBlock, LayoutIsTagSizePayloadTag) {
    void* p = ZqXmlU_Calloc(3, 4, "abcdef");
    const unsigned char* raw = Raw(p);
    EXPECT_EQ(std::memcmp(raw, "abcd", 4), 0);
    EXPECT_EQ(Word(raw + 4), 12u);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(raw[8 + i], 0);
    EXPECT_EQ(std::memcmp(raw + 20, "abcd", 4), 0);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 8, 0u);
    EXPECT_EQ(ZqXmlU_GetUsedSpace(p), 12u);
    EXPECT_EQ(ZqXmlU_Free(&p), 12);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(ZqXmlU_Free(&p), 0);
    EXPECT_EQ(ZqXmlU_GetUsedSpace(nullptr), 0u);

    // A zero-length payload: the trailing tag follows the header directly.
    void* empty = ZqXmlU_Calloc(0, 4, Tag());
    EXPECT_EQ(std::memcmp(Raw(empty), Raw(empty) + 8, 4), 0);
    EXPECT_EQ(ZqXmlU_Free(&empty), 0);
    // Realloc of NULL is Calloc.
    void* a = ZqXmlU_Realloc(nullptr, 10, 1, "wxyz");
    void* b = ZqXmlU_Calloc(10, 1, "wxyz");
    EXPECT_EQ(std::memcmp(Raw(a), Raw(b), 22), 0);
    ZqXmlU_Free(&a);
    ZqXmlU_Free(&b);
}

TEST(TaggedBlock, GrowthZeroesExactlyTheNewBytes) {
    const struct { int from, to; } cases[] = {{5, 13}, {4, 7}, {6, 7}, {0, 9}, {1, 4096}, {13, 14}};
    for (const auto& c : cases) {
        auto* p = static_cast<unsigned char*>(ZqXmlU_Calloc(c.from, 1, Tag()));
        for (int i = 0; i < c.from; ++i)
            p[i] = static_cast<unsigned char>(0xA0 + i);
        p = static_cast<unsigned char*>(ZqXmlU_Realloc(p, c.to, 1, "othr"));
        for (int i = 0; i < c.from; ++i)
            ASSERT_EQ(p[i], 0xA0 + i) << c.from << "->" << c.to;
        for (int i = c.from; i < c.to; ++i)
            ASSERT_EQ(p[i], 0) << c.from << "->" << c.to;
        EXPECT_EQ(std::memcmp(Raw(p), "test", 4), 0) << "the first tag stays";
        EXPECT_EQ(std::memcmp(p + c.to, "test", 4), 0);
        void* v = p;
        EXPECT_EQ(ZqXmlU_Free(&v), c.to);
    }
}

TEST(TaggedBlock, ShrinkMovesTheTrailingTag) {
    auto* p = static_cast<char*>(ZqXmlU_Calloc(16, 1, Tag()));
    std::memcpy(p, "0123456789abcdef", 16);
    p = static_cast<char*>(ZqXmlU_Realloc(p, 2, 4, Tag()));
    EXPECT_EQ(std::memcmp(p, "01234567", 8), 0);
    EXPECT_EQ(std::memcmp(p + 8, "test", 4), 0);
    void* v = p;
    EXPECT_EQ(ZqXmlU_Free(&v), 8);
}

// A block that fails the soundness check is deliberately left unreleased; those cases run in a
// child so that the leak stays there.
void ReleaseDamagedBlocks() {
    const struct {
        const char* tag;
        int overrun;  // byte written over the trailing tag, or -1
    } cases[] = {{"good", 0x7F}, {"good", 'x'}, {"a bc", -1}, {"ab{c", -1}, {"ab", -1}};
    for (const auto& c : cases) {
        auto* p = static_cast<unsigned char*>(ZqXmlU_Calloc(6, 1, c.tag));
        if (c.overrun >= 0) p[6] = static_cast<unsigned char>(c.overrun);
        const unsigned char before = Raw(p)[0];
        void* v = p;
        if (ZqXmlU_Free(&v) != 6 || v != nullptr) std::_Exit(2);
        if (Raw(p)[0] != before) std::_Exit(3);  // still readable: not released
    }
    std::_Exit(0);
}

TEST(TaggedBlockDeathTest, DamagedOrInvalidTagsAreNotReleased) {
    EXPECT_EXIT(ReleaseDamagedBlocks(), testing::ExitedWithCode(0), "");
}

TEST(TaggedBlock, FreeCKeepsOrReleases) {
    void* p = ZqXmlU_Calloc(7, 1, Tag());
    void* same = p;
    EXPECT_EQ(ZqXmlU_FreeC(&p, 1), 7u);
    EXPECT_EQ(p, same);
    static_cast<char*>(p)[7] = '!';  // trailing tag damaged: FreeC only tests the leading tag
    EXPECT_EQ(ZqXmlU_FreeC(&p, 0), 7u);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(ZqXmlU_FreeC(&p, 0), 0u);
}

TEST(TaggedBlockDeathTest, HeapExhaustionExitsWithStatusOne) {
    EXPECT_EXIT(
        {
            LimitHeap();
            ZqXmlU_Calloc(0x40000000, 2, Tag());
        },
        testing::ExitedWithCode(1), "heap exhausted");
    EXPECT_EXIT(
        {
            g_kept = ZqXmlU_Calloc(16, 1, Tag());
            LimitHeap();
            ZqXmlU_Realloc(g_kept, 0x40000000, 2, Tag());
        },
        testing::ExitedWithCode(1), "heap exhausted");
}

// ----- Shared XML strings -----------------------------------------------------------------------

TEST(SharedString, HeaderAndReferenceCounts) {
    auto* s = static_cast<char*>(ZqXmlU_xml_alloc(10, Tag()));
    ASSERT_NE(s, nullptr);
    SharedHeader h = HeaderOf(s);
    const unsigned char magic[4] = {0x12, 0x5F, 0x43, 0xDE};
    EXPECT_EQ(std::memcmp(s - 16, magic, 4), 0);
    EXPECT_EQ(std::memcmp(&h.tag, "test", 4), 0);
    EXPECT_EQ(h.refs, 1u);
    EXPECT_EQ(h.size, 10u);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(s[i], 0);

    EXPECT_TRUE(ZqXmlU_xml_inc(s));
    EXPECT_EQ(HeaderOf(s).refs, 2u);
    EXPECT_TRUE(ZqXmlU_xml_free(s));
    EXPECT_EQ(HeaderOf(s).refs, 1u);
    EXPECT_TRUE(ZqXmlU_xml_free(s));

    EXPECT_FALSE(ZqXmlU_xml_inc(nullptr));
    EXPECT_FALSE(ZqXmlU_xml_free(nullptr));
    void* block = ZqXmlU_Calloc(32, 1, Tag());
    EXPECT_FALSE(ZqXmlU_xml_free(static_cast<char*>(block) + 16));
    EXPECT_FALSE(ZqXmlU_xml_inc(static_cast<char*>(block) + 16));
    ZqXmlU_Free(&block);
}

TEST(SharedString, ReallocOfASharedStringCopies) {
    auto* s = static_cast<char*>(ZqXmlU_xml_alloc(8, Tag()));
    std::strcpy(s, "hello");
    ZqXmlU_xml_inc(s);
    char* t = ZqXmlU_xml_realloc(s, 64, "newt");
    ASSERT_NE(t, nullptr);
    EXPECT_NE(t, s);
    EXPECT_STREQ(t, "hello");
    EXPECT_EQ(HeaderOf(t).refs, 1u);
    EXPECT_EQ(HeaderOf(t).size, 64u);
    EXPECT_EQ(TagIs(t, "newt", 4), 0);
    EXPECT_EQ(HeaderOf(s).refs, 1u);
    EXPECT_STREQ(s, "hello");
    ZqXmlU_xml_free(s);

    // Sole holder: resized in place (same tag), text kept.
    char* u = ZqXmlU_xml_realloc(t, 4000, "zzzz");
    ASSERT_NE(u, nullptr);
    EXPECT_STREQ(u, "hello");
    EXPECT_EQ(HeaderOf(u).size, 4000u);
    EXPECT_EQ(TagIs(u, "newt", 4), 0);
    // Shrinking below the text cuts it and keeps it terminated.
    u = ZqXmlU_xml_realloc(u, 3, Tag());
    EXPECT_STREQ(u, "he");
    ZqXmlU_xml_free(u);
}

TEST(SharedStringDeathTest, AllocationFailureIsReportedWithNull) {
    EXPECT_EXIT(
        {
            LimitHeap();
            if (ZqXmlU_xml_alloc(0x40000000u, Tag()) != nullptr) std::_Exit(2);
            auto* s = static_cast<char*>(ZqXmlU_xml_alloc(8, Tag()));
            std::strcpy(s, "keep");
            if (ZqXmlU_xml_realloc(s, 0x40000000u, Tag()) != nullptr) std::_Exit(3);
            if (std::strcmp(s, "keep") != 0) std::_Exit(4);
            std::_Exit(0);
        },
        testing::ExitedWithCode(0), "");
}

// ----- Output sink ------------------------------------------------------------------------------

struct Sink : ZQ_XML_STRUCT_T {
    Sink() : ZQ_XML_STRUCT_T{} { tag = "sink"; }
    ~Sink() {
        if (buffer) ZqXmlU_xml_free(buffer);
    }
};

TEST(Sink, FirstWriteSizesTheBuffer) {
    Sink exact;
    ZqXmlU_sprintf(&exact, "%s", "abc");
    EXPECT_EQ(exact.length, 3);
    EXPECT_EQ(exact.capacity, 4);
    EXPECT_STREQ(exact.buffer, "abc");
    EXPECT_EQ(TagIs(exact.buffer, "sink", 4), 0);

    Sink roomy;
    EXPECT_EQ(ZqXmlU_xml_sprintf(&roomy, "a%cc", 'b'), 3);
    EXPECT_EQ(roomy.length, 3);
    EXPECT_EQ(roomy.capacity, 4099);
    EXPECT_STREQ(roomy.buffer, "abc");
}

TEST(Sink, GrowthRules) {
    // xml_sprintf: length + n + length / 4 + 4096, first length bytes kept.
    Sink s;
    s.buffer = static_cast<char*>(ZqXmlU_xml_alloc(8005, kOrig));
    std::memset(s.buffer, 'x', 8000);
    s.length = 8000;
    s.capacity = 8005;
    EXPECT_EQ(ZqXmlU_xml_sprintf(&s, "%s", "0123456789"), 10);
    EXPECT_EQ(s.capacity, 14106);
    EXPECT_EQ(s.length, 8010);
    EXPECT_EQ(std::string(s.buffer, 8000), std::string(8000, 'x'));
    EXPECT_STREQ(s.buffer + 8000, "0123456789");
    EXPECT_EQ(TagIs(s.buffer, "orig", 4), 0) << "the buffer's own tag";

    // Exactly filling the room short of the NUL does not grow; one more byte does.
    for (bool roomy : {false, true}) {
        Sink t;
        t.buffer = static_cast<char*>(ZqXmlU_xml_alloc(10, kOrig));
        t.capacity = 10;
        std::strcpy(t.buffer, "abcd");
        t.length = 4;
        char* before = t.buffer;
        const int n =
            roomy ? ZqXmlU_xml_sprintf(&t, "%s", "12345") : (ZqXmlU_sprintf(&t, "12345"), 5);
        EXPECT_EQ(n, 5);
        EXPECT_EQ(t.buffer, before);
        EXPECT_EQ(t.capacity, 10);
        EXPECT_STREQ(t.buffer, "abcd12345");
        if (roomy) {
            EXPECT_EQ(ZqXmlU_xml_sprintf(&t, "!"), 1);
            EXPECT_EQ(t.capacity, 9 + 1 + 9 / 4 + 4096);
        } else {
            ZqXmlU_sprintf(&t, "!");
            EXPECT_EQ(t.capacity, 11);
        }
        EXPECT_STREQ(t.buffer, "abcd12345!");
        EXPECT_EQ(t.length, 10);
    }
}

TEST(Sink, GrowthKeepsABufferTheHostShares) {
    Sink s;
    ZqXmlU_sprintf(&s, "shared");
    char* held = s.buffer;
    ZqXmlU_xml_inc(held);
    ZqXmlU_sprintf(&s, " and more");
    EXPECT_NE(s.buffer, held);
    EXPECT_STREQ(held, "shared");
    EXPECT_STREQ(s.buffer, "shared and more");
    EXPECT_EQ(HeaderOf(held).refs, 1u);
    ZqXmlU_xml_free(held);

    // A shared buffer with room is not written into past its text either.
    Sink r;
    ZqXmlU_xml_sprintf(&r, "abc");
    char* host = r.buffer;
    ZqXmlU_xml_inc(host);
    EXPECT_EQ(ZqXmlU_xml_sprintf(&r, "%s", "def"), 3);
    EXPECT_STREQ(r.buffer, "abcdef");
    ZqXmlU_xml_free(host);
}

TEST(Sink, StreamModeLeavesTheMemoryFieldsAlone) {
    FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    Sink s;
    s.file = f;
    s.length = 7;
    s.capacity = 3;
    EXPECT_EQ(ZqXmlU_xml_sprintf(&s, "<%s>", "doc"), 5);
    ZqXmlU_sprintf(&s, "%d", 42);
    EXPECT_EQ(s.buffer, nullptr);
    EXPECT_EQ(s.length, 7);
    EXPECT_EQ(s.capacity, 3);
    std::rewind(f);
    char buf[16] = {};
    EXPECT_EQ(std::fread(buf, 1, sizeof buf - 1, f), 7u);
    EXPECT_STREQ(buf, "<doc>42");
    std::fclose(f);
    s.file = nullptr;
}

TEST(SinkDeathTest, AHeapThatCannotGrowLeavesTheSinkIntact) {
    EXPECT_EXIT(
        {
            Sink s;
            ZqXmlU_xml_sprintf(&s, "kept text");
            const ZQ_XML_STRUCT_T before = s;
            LimitHeap();
            std::string huge(300u << 20, 'h');
            if (ZqXmlU_xml_sprintf(&s, "%s", huge.c_str()) != -1) std::_Exit(2);
            ZqXmlU_sprintf(&s, "%s", huge.c_str());
            if (s.buffer != before.buffer || s.length != before.length ||
                s.capacity != before.capacity || std::strcmp(s.buffer, "kept text") != 0) {
                std::_Exit(3);
            }
            std::_Exit(0);
        },
        testing::ExitedWithCode(0), "");
}

}  // namespace
