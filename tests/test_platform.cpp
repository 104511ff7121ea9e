// The platform layer: UTF-8 <-> UTF-16 converters, bounded formatting and copies, the clock.
#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <string>

#include "platform/clock.h"
#include "platform/fmt.h"
#include "platform/utf.h"

namespace {

std::u16string ToUtf16(const std::string& s) {
    const int n = zq::Utf8ToUtf16(s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::u16string out(static_cast<size_t>(n), u'\0');
    EXPECT_EQ(zq::Utf8ToUtf16(s.data(), static_cast<int>(s.size()), out.data(), n), n);
    return out;
}

std::string ToUtf8(const std::u16string& s) {
    const int n = zq::Utf16ToUtf8(s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::string out(static_cast<size_t>(n), '\0');
    EXPECT_EQ(zq::Utf16ToUtf8(s.data(), static_cast<int>(s.size()), out.data(), n), n);
    return out;
}

struct Utf8Case {
    const char* name;
    std::string in;
    std::u16string out;
};

TEST(Utf8ToUtf16, DecodesValidAndReplacesInvalidSequences) {
    const Utf8Case cases[] = {
        {"ascii", "Hello, world", u"Hello, world"},
        {"two-byte", "caf\xC3\xA9 \xC3\x96l", u"caf\u00E9 \u00D6l"},
        {"three-byte", "\xE2\x82\xAC \xE4\xB8\xAD", u"\u20AC \u4E2D"},
        {"four-byte as surrogate pair", "\xF0\x9F\x98\x80", u"\U0001F600"},
        {"highest code point", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
        {"embedded NUL counts as a character", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
        {"overlong two-byte", "\xC0\xAF", u"\uFFFD\uFFFD"},
        {"overlong three-byte", "\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},
        {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"stray continuation", "a\x80z", u"a\uFFFDz"},
        {"invalid lead bytes", "\xF5\xFF", u"\uFFFD\uFFFD"},
        {"truncated at end", "ab\xE2\x82", u"ab\uFFFD"},
        {"truncated by ASCII", "\xE2\x82z", u"\uFFFDz"},
        {"truncated four-byte then valid", "\xF0\x9F\x98\xC3\xA9", u"\uFFFD\u00E9"},
        {"long ASCII run then multibyte", std::string(37, 'x') + "\xC3\xA9",
         std::u16string(37, u'x') + u"\u00E9"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ToUtf16(c.in), c.out) << c.name;
    }
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
        {"lone low", u"\xDC00", "\xEF\xBF\xBD"},
        {"high at end", u"ab\xD83D", "ab\xEF\xBF\xBD"},
        {"reversed pair", u"\xDE00\xD83D", "\xEF\xBF\xBD\xEF\xBF\xBD"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ToUtf8(c.in), c.out) << c.name;
}

TEST(Utf8ToUtf16, CountsIncludeTheTerminatorOnlyWhenTheInputDoes) {
    const char* text = "h\xC3\xA9llo";  // 6 bytes, 5 characters
    EXPECT_EQ(zq::Utf8ToUtf16(text, -1, nullptr, 0), 6);
    EXPECT_EQ(zq::Utf8ToUtf16(text, 6, nullptr, 0), 5);
    EXPECT_EQ(zq::Utf8ToUtf16(text, 0, nullptr, 0), 0);
    EXPECT_EQ(zq::Utf8ToUtf16(nullptr, -1, nullptr, 0), 0);

    ZqWChar out[8];
    std::fill(std::begin(out), std::end(out), u'#');
    ASSERT_EQ(zq::Utf8ToUtf16(text, -1, out, 8), 6);
    EXPECT_EQ(std::u16string(out, 6), std::u16string(u"h\u00E9llo\0", 6));
    EXPECT_EQ(out[6], u'#');
}

TEST(Utf8ToUtf16, DestinationExactFitSucceedsOneShortFails) {
    const std::string text = std::string(20, 'a') + "\xF0\x9F\x98\x80";  // 22 units
    ZqWChar out[32];
    for (int cap = 1; cap <= 22; ++cap) {
        std::fill(std::begin(out), std::end(out), u'#');
        const int n = zq::Utf8ToUtf16(text.data(), static_cast<int>(text.size()), out, cap);
        EXPECT_EQ(n, cap == 22 ? 22 : 0) << "capacity " << cap;
        for (int i = cap; i < 32; ++i)
            ASSERT_EQ(out[i], u'#') << "wrote past capacity " << cap;
    }
    // With the terminator: 23 units needed.
    EXPECT_EQ(zq::Utf8ToUtf16(text.c_str(), -1, out, 22), 0);
    EXPECT_EQ(zq::Utf8ToUtf16(text.c_str(), -1, out, 23), 23);
    EXPECT_EQ(out[22], 0);
}

TEST(Utf16ToUtf8, DestinationExactFitSucceedsOneShortFails) {
    const std::u16string text = u"abc\u00E9\u20AC\U0001F600";  // 3 + 2 + 3 + 4 = 12 bytes
    char out[32];
    for (int cap = 1; cap <= 12; ++cap) {
        std::memset(out, '#', sizeof out);
        const int n = zq::Utf16ToUtf8(text.data(), static_cast<int>(text.size()), out, cap);
        EXPECT_EQ(n, cap == 12 ? 12 : 0) << "capacity " << cap;
        for (int i = cap; i < 32; ++i)
            ASSERT_EQ(out[i], '#') << "wrote past capacity " << cap;
    }
    EXPECT_EQ(zq::Utf16ToUtf8(text.c_str(), -1, nullptr, 0), 13);
    EXPECT_EQ(zq::Utf16ToUtf8(text.c_str(), -1, out, 13), 13);
    EXPECT_STREQ(out, "abc\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
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
    EXPECT_EQ(ToUtf16(ToUtf8(all)), all);
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
    EXPECT_EQ(zq::CopyTo(w, 4, u"hello"), 3u);
    EXPECT_EQ(std::u16string(w), u"hel");
    EXPECT_EQ(zq::CopyTo(w, 0, u"x"), 0u);
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
    const std::time_t read = timegm(&tm);
    EXPECT_GE(read, before);
    EXPECT_LE(read, before + 2);
}

}  // namespace
