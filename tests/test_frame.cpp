// The library frame: log root, tagged blocks, shared XML strings and the output sink.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "frame/size.h"
#include "support.h"
#include "zqxmlu.h"

namespace {

using zqtest::LimitHeap;
using zqtest::Tag;

std::string At(const void* p, size_t n) {
    return std::string(static_cast<const char*>(p), n);
}

// Bytes of the tagged block around a payload pointer.
const unsigned char* Raw(const void* p) {
    return static_cast<const unsigned char*>(p) - 8;
}

struct SharedHeader {
    uint32_t magic, tag, refs, size;
};

SharedHeader HeaderOf(const char* p) {
    SharedHeader h;
    std::memcpy(&h, p - 16, sizeof h);
    return h;
}

std::string TagOf(const char* p) {
    return At(p - 12, 4);
}

char kOrig[] = "orig";

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
constexpr bool kSanitized = __has_feature(address_sanitizer);
#else
constexpr bool kSanitized = false;
#endif

// Whether ZqXmlU_Free gives a block of `tag` back to the heap: the heap's bytes in use drop by
// its size (64 KiB blocks pass the allocator's caches). Under AddressSanitizer, which keeps its
// own books, a block kept shows as a leak at exit instead.
bool Releases(const char* tag) {
    constexpr int kBytes = 65536;
    void* p = ZqXmlU_Calloc(kBytes, 1, tag);
    if (kSanitized || !zqtest::kHeapStatistics) return ZqXmlU_Free(&p) == kBytes;
    const size_t before = zqtest::HeapBytesInUse();
    ZqXmlU_Free(&p);
    return zqtest::HeapBytesInUse() + kBytes <= before;
}

void* g_kept = nullptr;  // reachable from a global, so leak checkers in death tests see it held

// ----- Log root ---------------------------------------------------------------------------------

TEST(LogRoot, DefaultsSetAndRelease) {
    const auto expectRoot = [](const std::string& narrow, const std::u16string& wide) {
        EXPECT_EQ(ZqXmlU_GetLogRoot(), narrow);
        EXPECT_EQ(zqtest::U16(ZqXmlU_GetLogRootW()), wide);
    };
    ZqXmlU_SetLogRoot(nullptr);
    expectRoot("c:\\zq\\", u"c:\\zq\\");
    ZqXmlU_SetLogRoot("/var/log/Z\xC3\xBCrich \xE2\x82\xAC/");
    expectRoot("/var/log/Z\xC3\xBCrich \xE2\x82\xAC/", u"/var/log/Z\u00FCrich \u20AC/");
    EXPECT_EQ(ZqXmlU_GetUsedSpace(const_cast<char*>(ZqXmlU_GetLogRoot())), 22u);

    std::string path = "/data/";  // 606 bytes: converted outside the local buffer
    std::u16string wide = u"/data/";
    for (int i = 0; i < 100; ++i) {
        path += "\xC3\xA9t\xC3\xA9/";
        wide += u"\u00E9t\u00E9/";
    }
    ZqXmlU_SetLogRoot(path.c_str());
    expectRoot(path, wide);
    // Around the 260 bytes that convert in the local buffer (with the NUL 261 units).
    for (size_t n : {259, 260, 261}) {
        const std::string edge = std::string(n - 2, 'r') + "\xC3\xA9";
        ZqXmlU_SetLogRoot(edge.c_str());
        expectRoot(edge, std::u16string(n - 2, u'r') + u"\u00E9");
    }
    ZqXmlU_SetLogRoot("");
    expectRoot("", u"");

    ZqXmlU_FreeStorage();
    ZqXmlU_FreeStorage();
    expectRoot("c:\\zq\\", u"c:\\zq\\");
}

// ----- Tagged blocks ----------------------------------------------------------------------------

TEST(TaggedBlock, LayoutIsTagSizePayloadTag) {
    void* p = ZqXmlU_Calloc(3, 4, "abcdef");
    const unsigned char* raw = Raw(p);
    uint32_t size;
    std::memcpy(&size, raw + 4, 4);
    EXPECT_EQ(size, 12u);
    EXPECT_EQ(At(raw - 8, 12) + At(raw + 8, 12) + At(raw + 20, 4),
              std::string(8, '\0') + "abcd" + std::string(12, '\0') + "abcd")
        << "8 zero bytes in front of the visible frame";
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 8, 0u);
    EXPECT_EQ(ZqXmlU_GetUsedSpace(p), 12u);
    EXPECT_EQ(ZqXmlU_Free(&p), 12);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(ZqXmlU_Free(&p), 0);
    EXPECT_EQ(ZqXmlU_GetUsedSpace(nullptr), 0u);

    // A zero-length payload: the trailing tag follows the header directly.
    void* empty = ZqXmlU_Calloc(0, 4, Tag());
    EXPECT_EQ(At(Raw(empty) + 8, 4), "test");
    EXPECT_EQ(ZqXmlU_Free(&empty), 0);
    // Realloc of NULL is Calloc.
    void* a = ZqXmlU_Realloc(nullptr, 10, 1, "wxyz");
    void* b = ZqXmlU_Calloc(10, 1, "wxyz");
    EXPECT_EQ(At(Raw(a), 22), At(Raw(b), 22));
    ZqXmlU_Free(&a);
    ZqXmlU_Free(&b);
}

// Realloc keeps the leading bytes and the first tag, zeroes exactly the new bytes and moves the
// trailing tag, growing or shrinking.
TEST(TaggedBlock, ReallocZeroesExactlyTheNewBytesAndMovesTheTrailingTag) {
    const struct {
        int from, count;
        unsigned size;
    } cases[] = {{5, 13, 1},   {4, 7, 1},   {6, 7, 1}, {0, 9, 1},
                 {1, 4096, 1}, {13, 14, 1}, {16, 2, 4}};
    for (const auto& c : cases) {
        const int to = c.count * static_cast<int>(c.size);
        auto* p = static_cast<unsigned char*>(ZqXmlU_Calloc(c.from, 1, Tag()));
        for (int i = 0; i < c.from; ++i)
            p[i] = static_cast<unsigned char>(0xA0 + i);
        p = static_cast<unsigned char*>(ZqXmlU_Realloc(p, c.count, c.size, "othr"));
        for (int i = 0; i < to; ++i)
            ASSERT_EQ(p[i], i < c.from ? 0xA0 + i : 0) << c.from << "->" << to;
        EXPECT_EQ(At(Raw(p), 4), "test") << "the first tag stays";
        EXPECT_EQ(At(p + to, 4), "test");
        void* v = p;
        EXPECT_EQ(ZqXmlU_Free(&v), to);
    }
}

// Short and NULL tags are filled up to four valid characters; '0' and 'z' are valid.
TEST(TaggedBlock, ShortNullAndEdgeTagsLabelReleasableBlocks) {
    const std::pair<const char*, std::string> cases[] = {
        {"ab", "ab__"},    {"abc", "abc_"},  {"", "____"},      {nullptr, "null"},
        {"0zz0x", "0zz0"}, {"z00z", "z00z"}, {"a\0cd", "a___"},
    };
    for (const auto& [tag, stored] : cases) {
        void* p = ZqXmlU_Calloc(5, 1, tag);
        EXPECT_EQ(At(Raw(p), 4) + At(static_cast<char*>(p) + 5, 4), stored + stored);
        ZqXmlU_Free(&p);
        EXPECT_TRUE(Releases(tag)) << stored;
    }
}

// What a block may hold: the allocator, the list growth, the block and string constructors
// share one limit, 4 GiB - 21 bytes; no step of the computation wraps.
TEST(TaggedBlock, OneCheckedSizeForEveryBlockAndString) {
    constexpr uint64_t kMax = 0xFFFFFFEB, kNo = zq::kTooLarge;
    const struct {
        uint64_t count, size, extra, bytes;
    } cases[] = {
        {kMax, 1, 0, kMax},      {kMax + 1, 1, 0, kNo},          {kMax - 2, 1, 2, kMax},
        {kMax - 2, 1, 3, kNo},   {0x1FFFFFFD, 8, 2, 0xFFFFFFEA}, {0x1FFFFFFE, 8, 2, kNo},
        {0, 0, kMax, kMax},      {UINT64_MAX, 2, 0, kNo},        {2, UINT64_MAX, 0, kNo},
        {1, 1, UINT64_MAX, kNo}, {UINT64_MAX, 0, 5, 5},
    };
    for (const auto& c : cases)
        EXPECT_EQ(zq::PayloadBytes(c.count, c.size, c.extra), c.bytes) << c.count << "*" << c.size;
    EXPECT_EQ(zq::kMaxPayload, kMax);
    // A shared string past the limit is refused without asking the heap.
    EXPECT_EQ(ZqXmlU_xml_alloc(0xFFFFFFEC, Tag()), nullptr);
    auto* s = static_cast<char*>(ZqXmlU_xml_alloc(4, Tag()));
    std::memcpy(s, "abc", 4);
    EXPECT_EQ(ZqXmlU_xml_realloc(s, 0xFFFFFFFF, Tag()), nullptr);
    EXPECT_STREQ(s, "abc");
    ZqXmlU_xml_free(s);
}

TEST(TaggedBlockDeathTest, SizesNoBlockCanHoldEndTheProcessUnwrapped) {
    // On a 32-bit build n + 20 would wrap to a tiny allocation followed by a huge clear.
    EXPECT_EXIT(ZqXmlU_Calloc(-1, 1, Tag()), testing::ExitedWithCode(1), "heap exhausted");
    EXPECT_EXIT(ZqXmlU_Calloc(0x7FFFFFFF, 2, Tag()), testing::ExitedWithCode(1), "heap exhausted");
    EXPECT_EXIT(
        {
            g_kept = ZqXmlU_Calloc(16, 1, Tag());
            ZqXmlU_Realloc(g_kept, -13, 1, Tag());
        },
        testing::ExitedWithCode(1), "heap exhausted");
}

// A block that fails the soundness check is deliberately left unreleased; those cases run in a
// child so that the leak stays there. '/' and '{' lie just outside '0'..'z'.
void ReleaseDamagedBlocks() {
    const struct {
        const char* tag;
        int overrun;  // byte written over the trailing tag, or -1
    } cases[] = {{"good", 0x7F}, {"good", 'x'}, {"a bc", -1}, {"ab{c", -1}, {"/abc", -1}};
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
    if (!zqtest::CanLimitHeap())
        GTEST_SKIP() << "no way to hold the heap of a 64-bit Windows process";
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
    // The magic number 0xDE435F12, the tag, one reference, the size; the text area zeroed.
    EXPECT_EQ(At(s - 16, 8), std::string("\x12\x5F\x43\xDE") + "test");
    EXPECT_EQ(HeaderOf(s).refs, 1u);
    EXPECT_EQ(HeaderOf(s).size, 10u);
    EXPECT_EQ(At(s, 10), std::string(10, '\0'));

    EXPECT_TRUE(ZqXmlU_xml_inc(s));
    EXPECT_EQ(HeaderOf(s).refs, 2u);
    EXPECT_TRUE(ZqXmlU_xml_free(s));
    EXPECT_EQ(HeaderOf(s).refs, 1u);
    EXPECT_TRUE(ZqXmlU_xml_free(s));

    // NULL and tagged blocks (an empty one too) are no shared strings: the 16 bytes in front of
    // a block lie inside it.
    void* block = ZqXmlU_Calloc(32, 1, Tag());
    void* empty = ZqXmlU_Calloc(0, 1, Tag());
    for (void* p : {static_cast<void*>(nullptr), block, empty}) {
        EXPECT_FALSE(ZqXmlU_xml_inc(static_cast<char*>(p)) ||
                     ZqXmlU_xml_free(static_cast<char*>(p)));
        char* fresh = ZqXmlU_xml_realloc(static_cast<char*>(p), 8, Tag());  // NULL: a new one
        EXPECT_EQ(fresh == nullptr, p != nullptr);
        ZqXmlU_xml_free(fresh);
    }
    EXPECT_TRUE(ZqXmlU_Free(&block) == 32 && ZqXmlU_Free(&empty) == 0);
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
    EXPECT_EQ(TagOf(t), "newt");
    EXPECT_EQ(HeaderOf(s).refs, 1u);
    EXPECT_STREQ(s, "hello");
    ZqXmlU_xml_free(s);

    // Sole holder: resized in place (same tag), text kept.
    char* u = ZqXmlU_xml_realloc(t, 4000, "zzzz");
    ASSERT_NE(u, nullptr);
    EXPECT_STREQ(u, "hello");
    EXPECT_EQ(HeaderOf(u).size, 4000u);
    EXPECT_EQ(TagOf(u), "newt");
    // Shrinking below the text cuts it and keeps it terminated.
    u = ZqXmlU_xml_realloc(u, 3, Tag());
    EXPECT_STREQ(u, "he");
    ZqXmlU_xml_free(u);

    // The text needs its NUL: resized to its length it loses a byte, to one more it is kept;
    // alike whether the string is resized (sole holder) or copied (shared).
    for (const bool shared : {false, true}) {
        for (const auto& [size, kept] : {std::pair{5u, "hell"}, {6u, "hello"}, {0u, ""}}) {
            auto* h = static_cast<char*>(ZqXmlU_xml_alloc(16, Tag()));
            std::memcpy(h, "hello", 6);
            if (shared) ZqXmlU_xml_inc(h);
            char* r = ZqXmlU_xml_realloc(h, size, Tag());
            EXPECT_TRUE(std::string(r) == kept && HeaderOf(r).size == size) << size << shared;
            ZqXmlU_xml_free(r);
            if (shared) ZqXmlU_xml_free(h);
        }
    }
}

TEST(SharedStringDeathTest, AllocationFailureIsReportedWithNull) {
    if (!zqtest::CanLimitHeap())
        GTEST_SKIP() << "no way to hold the heap of a 64-bit Windows process";
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
    // Over a shared string of `room` bytes, tagged "orig", that holds `text`.
    Sink(const std::string& text, int room) : Sink() {
        buffer = static_cast<char*>(ZqXmlU_xml_alloc(static_cast<unsigned>(room), kOrig));
        std::memcpy(buffer, text.data(), text.size());
        length = static_cast<int>(text.size());
        capacity = room;
    }
    ~Sink() {
        if (buffer) ZqXmlU_xml_free(buffer);
    }
};

TEST(Sink, FirstWriteSizesTheBuffer) {
    Sink exact, roomy;
    ZqXmlU_sprintf(&exact, "%s", "abc");
    EXPECT_EQ(ZqXmlU_xml_sprintf(&roomy, "a%cc", 'b'), 3);
    EXPECT_EQ(exact.capacity, 4);
    EXPECT_EQ(roomy.capacity, 4099);
    for (const Sink* s : {&exact, &roomy}) {
        EXPECT_EQ(s->length, 3);
        EXPECT_STREQ(s->buffer, "abc");
        EXPECT_EQ(TagOf(s->buffer), "sink");
    }
}

TEST(Sink, GrowthRules) {
    // xml_sprintf: length + n + length / 4 + 4096, first length bytes kept.
    Sink s(std::string(8000, 'x'), 8005);
    EXPECT_EQ(ZqXmlU_xml_sprintf(&s, "%s", "0123456789"), 10);
    EXPECT_EQ(s.capacity, 14106);
    EXPECT_EQ(s.length, 8010);
    EXPECT_EQ(std::string(s.buffer), std::string(8000, 'x') + "0123456789");
    EXPECT_EQ(TagOf(s.buffer), "orig") << "the buffer's own tag";

    // Exactly filling the room short of the NUL does not grow; one more byte does.
    for (bool roomy : {false, true}) {
        Sink t("abcd", 10);
        char* before = t.buffer;
        const auto write = [&](const char* text) {
            if (!roomy) ZqXmlU_sprintf(&t, "%s", text);
            return roomy ? ZqXmlU_xml_sprintf(&t, "%s", text) : static_cast<int>(std::strlen(text));
        };
        EXPECT_EQ(write("12345"), 5);
        EXPECT_TRUE(t.buffer == before && t.capacity == 10) << roomy;
        EXPECT_STREQ(t.buffer, "abcd12345");
        EXPECT_EQ(write("!"), 1);
        EXPECT_EQ(t.capacity, roomy ? 9 + 1 + 9 / 4 + 4096 : 11);
        EXPECT_STREQ(t.buffer, "abcd12345!");
        EXPECT_EQ(t.length, 10);
    }
}

// Texts around the 1024 bytes that are formatted locally come out whole.
TEST(Sink, TextsAroundTheLocalFormatBuffer) {
    for (const size_t n : {1023, 1024, 1025}) {
        Sink s;
        const std::string text(n, 'p');
        EXPECT_EQ(ZqXmlU_xml_sprintf(&s, "%s", text.c_str()), static_cast<int>(n));
        EXPECT_EQ(std::string(s.buffer), text);
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

// Hostile callers of the frame: arguments taken from the sink's own text are read before its
// buffer moves or is written.
TEST(Hostile, SinkAppendsItsOwnText) {
    for (const bool roomy : {false, true}) {
        for (const auto& [room, share] :
             {std::pair{64, false}, {7, false}, {7, true}, {64, true}}) {
            Sink s("abc", room);
            char* held = s.buffer;
            if (share) ZqXmlU_xml_inc(held);
            const int n = roomy ? ZqXmlU_xml_sprintf(&s, "%s|%s", s.buffer, s.buffer + 1)
                                : (ZqXmlU_sprintf(&s, "%s|%s", s.buffer, s.buffer + 1), 6);
            EXPECT_EQ(n, 6);
            EXPECT_EQ(std::string(s.buffer), "abcabc|bc") << room << share << roomy;
            EXPECT_EQ(s.length, 9);
            if (share) {  // written in place when it fits, else copied away from the host's
                EXPECT_STREQ(held, room > 9 ? "abcabc|bc" : "abc");
                ZqXmlU_xml_free(held);
            }
        }
    }
}

// The caller's capacity and length count only as far as the buffer's header vouches; a record
// that cannot be read is refused (-1) and left alone, as are NULL sinks and formats.
TEST(Hostile, StaleOrForeignSinkRecordsAreHeldToTheBuffer) {
    const struct {
        int length, capacity;  // set over "abcd" in a string of 10 bytes
        int result, lengthAfter, capacityAfter;
        std::string text;  // the text after the write of "xy"
    } cases[] = {
        {4, 10, 2, 6, 10, "abcdxy"},                        // sound: fits
        {4, 5000, 2, 6, 10, "abcdxy"},                      // capacity past the buffer
        {7, 10, 2, 9, 10, std::string("abcd\0\0\0xy", 9)},  // exactly filling it
        {8, 10, 2, 10, 10 + 2 + 4096, std::string("abcd\0\0\0\0xy", 10)},
        {500, 10, 2, 12, 10 + 2 + 2 + 4096, std::string("abcd\0\0\0\0\0\0xy", 12)},
        {-1, 10, -1, -1, 10, "abcd"},  // negative length
    };
    for (const auto& c : cases) {
        Sink s("abcd", 10);
        s.length = c.length;
        s.capacity = c.capacity;
        EXPECT_EQ(ZqXmlU_xml_sprintf(&s, "%s", "xy"), c.result) << c.length << "/" << c.capacity;
        EXPECT_EQ(s.length, c.lengthAfter) << c.length << "/" << c.capacity;
        EXPECT_EQ(s.capacity, c.result < 0 ? c.capacity : c.capacityAfter);
        EXPECT_EQ(std::string(s.buffer, c.text.size()), c.text);
    }
    // A buffer that is not a shared XML string (a tagged block) is refused; a capacity of 0 means
    // no buffer: a new one is made and the old one (the caller's) is not read.
    void* block = ZqXmlU_Calloc(64, 1, Tag());
    for (const int capacity : {64, 0}) {
        Sink s;
        s.buffer = static_cast<char*>(block);
        s.length = 3;
        s.capacity = capacity;
        EXPECT_EQ(ZqXmlU_xml_sprintf(&s, "q"), capacity ? -1 : 1);
        EXPECT_EQ(s.buffer == block, capacity != 0);
        EXPECT_STREQ(s.buffer, capacity ? "" : "q");
        if (s.buffer == block) s.buffer = nullptr;
    }
    ZqXmlU_Free(&block);
    Sink s;
    zqtest::PageEnd edge("edge");  // an argument that ends at an inaccessible page
    EXPECT_TRUE(ZqXmlU_xml_sprintf(nullptr, "x") == -1 && ZqXmlU_xml_sprintf(&s, nullptr) == -1);
    ZqXmlU_sprintf(nullptr, "x");
    EXPECT_EQ(ZqXmlU_xml_sprintf(&s, "%s", edge.data()), 4);
    EXPECT_STREQ(s.buffer, "edge");
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
    EXPECT_TRUE(s.buffer == nullptr && s.length == 7 && s.capacity == 3);
    std::rewind(f);
    char buf[16] = {};
    EXPECT_EQ(std::fread(buf, 1, sizeof buf - 1, f), 7u);
    EXPECT_STREQ(buf, "<doc>42");
    std::fclose(f);
    s.file = nullptr;
}

TEST(SinkDeathTest, AHeapThatCannotGrowLeavesTheSinkIntact) {
    if (!zqtest::CanLimitHeap())
        GTEST_SKIP() << "no way to hold the heap of a 64-bit Windows process";
    EXPECT_EXIT(
        {
            Sink s;
            ZqXmlU_xml_sprintf(&s, "kept text");
            const ZQ_XML_STRUCT_T before = s;
            std::string huge(300u << 20, 'h');
            LimitHeap(128u << 20);
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
