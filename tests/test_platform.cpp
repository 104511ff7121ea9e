// The platform layer: UTF-8 <-> UTF-16 converters, bounded formatting and copies, the clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <tuple>

#include "platform/clock.h"
#include "platform/cpu.h"
#include "platform/fmt.h"
#include "platform/utf.h"
#include "support.h"

namespace {

// The portable converters over char16_t texts (the interface's ZqWChar is wchar_t on Windows,
// where the library itself converts with the system's calls: test_winapi.cpp compares the two).
int U8To16(const char* s, int n, char16_t* d, int c) {
    return zq::Utf8ToUtf16Portable(s, n, reinterpret_cast<ZqWChar*>(d), c);
}
int U16To8(const char16_t* s, int n, char* d, int c) {
    return zq::Utf16ToUtf8Portable(reinterpret_cast<const ZqWChar*>(s), n, d, c);
}

// Measures, then converts into exactly the room measured.
template <typename From, typename To>
std::basic_string<To> Convert(int (*convert)(const From*, int, To*, int),
                              const std::basic_string<From>& s) {
    const int n = convert(s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::basic_string<To> out(static_cast<size_t>(n), To());
    EXPECT_EQ(convert(s.data(), static_cast<int>(s.size()), out.data(), n), n);
    return out;
}

TEST(Utf8ToUtf16, DecodesValidAndReplacesInvalidSequences) {
    const struct {
        const char* name;
        std::string in;
        std::u16string out;
    } cases[] = {
        {"one to four bytes", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF",
         u"\u00E9\u20AC\U0001F600\U0010FFFF"},
        {"embedded NUL counts as a character", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
        {"long ASCII run then multibyte", std::string(37, 'x') + "\xC3\xA9",
         std::u16string(37, u'x') + u"\u00E9"},
        {"overlong three-byte", "\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},
        {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"invalid lead bytes", "a\x80z\xC0\xAF\xF5\xFF", u"a\uFFFDz\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"truncated at end", "ab\xE2\x82", u"ab\uFFFD"},
        {"truncated by ASCII", "\xE2\x82z", u"\uFFFDz"},
        {"truncated four-byte then valid", "\xF0\x9F\x98\xC3\xA9", u"\uFFFD\u00E9"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Convert(U8To16, c.in), c.out) << c.name;
}

TEST(Utf16ToUtf8, EncodesAndReplacesUnpairedSurrogates) {
    const struct {
        const char* name;
        std::u16string in;
        std::string out;
    } cases[] = {
        {"ascii", u"plain text here", "plain text here"},
        {"two and three byte", u"\u00E9\u0800\uFFFF", "\xC3\xA9\xE0\xA0\x80\xEF\xBF\xBF"},
        {"pair", u"\U0001F600", "\xF0\x9F\x98\x80"},
        {"lone high", u"a\xD800z", "a\xEF\xBF\xBDz"},
        {"lone low, then high at the end", u"\xDE00\xD83D", "\xEF\xBF\xBD\xEF\xBF\xBD"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Convert(U16To8, c.in), c.out) << c.name;
}

// Converts with every capacity up to two past the need: the short ones fail, and no call writes
// past its capacity or past the need. Returns what the exact fit wrote.
template <typename From, typename To>
std::basic_string<To> ConvertWithEveryCapacity(int (*convert)(const From*, int, To*, int),
                                               const From* text, int length, int need) {
    EXPECT_EQ(convert(text, length, nullptr, 0), need);
    std::basic_string<To> exact;
    for (int cap = 1; cap <= need + 2; ++cap) {
        To out[32];
        std::fill(std::begin(out), std::end(out), To('#'));
        EXPECT_EQ(convert(text, length, out, cap), cap < need ? 0 : need) << "capacity " << cap;
        for (int i = std::min(cap, need); i < 32; ++i)
            EXPECT_EQ(out[i], To('#')) << "capacity " << cap << " wrote at " << i;
        if (cap == need) exact.assign(out, static_cast<size_t>(need));
    }
    return exact;
}

// A length of -1 converts the terminator too and counts it; 0 converts nothing.
TEST(Utf, CountsCapacitiesAndTheTerminator) {
    EXPECT_EQ(U8To16("h\xC3\xA9llo", 6, nullptr, 0), 5);
    EXPECT_EQ(U8To16("h\xC3\xA9llo", 0, nullptr, 0), 0);
    EXPECT_EQ(U8To16(nullptr, -1, nullptr, 0), 0);
    EXPECT_EQ(ConvertWithEveryCapacity(U8To16, "h\xC3\xA9llo", -1, 6),
              std::u16string(u"h\u00E9llo", 6));
    const std::string utf8 = std::string(20, 'a') + "\xF0\x9F\x98\x80";
    const std::u16string wide = std::u16string(20, u'a') + u"\U0001F600";
    EXPECT_EQ(ConvertWithEveryCapacity(U8To16, utf8.c_str(), 24, 22), wide);
    EXPECT_EQ(ConvertWithEveryCapacity(U8To16, utf8.c_str(), -1, 23),
              std::u16string(wide.c_str(), 23));
    const std::u16string text = u"abc\u00E9\u20AC\U0001F600";  // 3 + 2 + 3 + 4 bytes
    const std::string bytes = "abc\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
    EXPECT_EQ(ConvertWithEveryCapacity(U16To8, text.c_str(), 7, 12), bytes);
    EXPECT_EQ(ConvertWithEveryCapacity(U16To8, text.c_str(), -1, 13),
              std::string(bytes.c_str(), 13));
}

TEST(Utf, EveryScalarValueRoundTrips) {
    std::u16string all;
    for (char32_t cp = 1; cp <= 0x10FFFF; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF) continue;
        if (cp < 0x10000) {
            all.push_back(static_cast<char16_t>(cp));
        } else {
            all.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            all.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        }
    }
    EXPECT_EQ(Convert(U8To16, Convert(U16To8, all)), all);
}

TEST(Format, BoundedByTheGivenSize) {
    char buf[8];
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(zq::FormatTo(buf, 8, "%d-%s", 42, "abc"), 6);
    EXPECT_STREQ(buf, "42-abc");
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(zq::FormatTo(buf, 5, "%s", "abcdefgh"), 4);
    EXPECT_STREQ(buf, "abcd");
    EXPECT_EQ(buf[5], '#');
    EXPECT_EQ(zq::FormatTo(buf, 0, "%s", "x"), 0);
    EXPECT_EQ(buf[0], 'a');

    EXPECT_EQ(zq::CopyTo(buf, 4, "hello"), 3u);
    EXPECT_STREQ(buf, "hel");
    ZqWChar w[4];
    EXPECT_EQ(zq::CopyTo(w, 4, zqtest::W(u"hello").c_str()), 3u);
    EXPECT_EQ(zqtest::U16(w), u"hel");
    EXPECT_EQ(zq::CopyTo(w, 0, zqtest::W(u"x").c_str()), 0u);
}

TEST(Clock, ReadsUtcNow) {
    const std::time_t before = std::time(nullptr);
    const zq::UtcTime t = zq::UtcNow();
    std::tm tm{};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    const std::time_t read = zqtest::TimeGm(&tm);
    EXPECT_GE(read, before);
    EXPECT_LE(read, before + 2);
}

// The ZQXMLU_CPU switch on processors of three kinds: a tier caps every routine at most at what
// the processor has; the SHA instructions need a cap of avx2 or more (or none); anything not
// understood runs scalar.
TEST(CpuSwitch, CapsTheTiersAndTheShaInstructions) {
    using zq::cpu::Tier;
    const zq::cpu::Features full{Tier::kAvx512, true}, sse2Sha{Tier::kSse2, true}, none{};
    const std::tuple<const char*, zq::cpu::Features, Tier, bool, bool> cases[] = {
        {nullptr, full, Tier::kAvx512, true, true},
        {"", full, Tier::kAvx512, true, true},
        {"scalar", full, Tier::kScalar, false, true},
        {"sse2", full, Tier::kSse2, false, true},
        {"avx2", full, Tier::kAvx2, true, true},
        {"avx512,portable-sha1", full, Tier::kAvx512, false, true},
        {"portable-sha1", sse2Sha, Tier::kSse2, false, true},
        {"sse2,avx2", full, Tier::kAvx2, true, true},
        {"avx512", sse2Sha, Tier::kSse2, true, true},
        {"avx2", none, Tier::kScalar, false, true},
        {"AVX2", full, Tier::kScalar, false, false},
        {"avx2,", full, Tier::kScalar, false, false},
        {"avx2,nosha", full, Tier::kScalar, false, false},
    };
    for (const auto& [value, features, tier, sha, understood] : cases) {
        const zq::cpu::Choice c = zq::cpu::Decide(value, features);
        EXPECT_EQ(c.tier, tier) << (value ? value : "(unset)");
        EXPECT_EQ(c.shaInstructions, sha) << (value ? value : "(unset)");
        EXPECT_EQ(c.understood, understood) << (value ? value : "(unset)");
    }
}

// The switch of this run (CI runs the suite once per tier) is one the library understands.
TEST(CpuSwitch, ThisRunIsUnderstood) {
    const char* value = std::getenv("ZQXMLU_CPU");
    EXPECT_TRUE(zq::cpu::Active().understood) << value;
    std::printf("ZQXMLU_CPU=%s: tier %s, SHA-1 %s\n", value ? value : "",
                zq::cpu::TierName(zq::cpu::Active().tier),
                zq::cpu::Active().shaInstructions ? "SHA instructions" : "portable");
}

}  // namespace
