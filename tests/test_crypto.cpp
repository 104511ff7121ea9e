// Digests, encodings and credentials: SHA-1, Base64, zlib, password records, authenticators.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "support.h"
#include "zqxmlu.h"

namespace {

std::vector<unsigned char> RandomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<unsigned char> v(n);
    for (auto& b : v)
        b = static_cast<unsigned char>(rng());
    return v;
}

std::string ToBase64(const void* src, size_t n, uint32_t groups = 0, uint32_t tabs = 0) {
    std::string out(4 * (n / 3 + 1) + 2 + (n / 3 + 1) * (1 + tabs), '\xAA');
    const int len = ZqXmlU_ToBase64(src, static_cast<uint32_t>(n), out.data(), groups, tabs);
    EXPECT_EQ(out[static_cast<size_t>(len)], '\0');
    out.resize(static_cast<size_t>(len));
    return out;
}

std::string ToBase64(const std::string& s, uint32_t groups = 0, uint32_t tabs = 0) {
    return ToBase64(s.data(), s.size(), groups, tabs);
}

// --- Base64 -------------------------------------------------------------------------------------

TEST(Base64, EncodesWithOneClosingMarkAndLineBreaksBetweenWholeGroups) {
    struct Case {
        std::string in;
        uint32_t groups, tabs;
        std::string out;
    } cases[] = {
        {"", 0, 0, "="},
        {"a", 0, 0, "YQ="},
        {"ab", 0, 0, "YWI="},
        {"abc", 0, 0, "YWJj="},
        {"abcd", 0, 0, "YWJjZA="},
        {"\xFF\xFE\xFD\xFC", 0, 0, "//79/A="},
        // The closing group never breaks the line, even when it completes one.
        {"abcdefghi", 2, 1, "YWJjZGVm\n\tZ2hp="},
        {"abcdefg", 1, 0, "YWJj\nZGVm\nZw="},
        {"abcdefghijklm", 2, 3, "YWJjZGVm\n\t\t\tZ2hpamts\n\t\t\tbQ="},
        {"abcdef", 5, 2, "YWJjZGVm="},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ToBase64(c.in, c.groups, c.tabs), c.out) << c.in << " " << c.groups;
}

TEST(Base64, AgreesWithOpenSslAndRoundTripsEveryLengthUpTo100) {
    for (size_t n = 0; n <= 100; ++n) {
        const auto bytes = RandomBytes(n, static_cast<uint32_t>(n));
        std::string expected(4 * (n / 3 + 1) + 1, '\0');
        const int m = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(expected.data()),
                                      bytes.data(), static_cast<int>(n));
        expected.resize(static_cast<size_t>(m));
        while (!expected.empty() && expected.back() == '=')
            expected.pop_back();
        expected += '=';

        const std::string text = ToBase64(bytes.data(), n);
        ASSERT_EQ(text, expected) << n;
        for (uint32_t groups : {0u, 1u, 3u}) {
            const std::string wrapped = ToBase64(bytes.data(), n, groups, 2);
            std::vector<unsigned char> back(n + 4);
            ASSERT_EQ(ZqXmlU_FromBase64(wrapped.c_str(), back.data(), static_cast<uint32_t>(n + 4)),
                      n);
            EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), back.begin())) << n;
        }
    }
}

TEST(Base64, DecodesUpToTheMarkSkippingStrangers) {
    struct Case {
        const char* in;
        uint32_t capacity;
        uint32_t result;
        std::string bytes;
    } cases[] = {
        {"YWJj=", 16, 3, "abc"},
        {"YQ==", 16, 1, "a"},
        {"YW\nJj\t=", 16, 3, "abc"},
        {" Y!W*J\r\nj ?=trailing", 16, 3, "abc"},
        {"YWJjZA=", 16, 4, "abcd"},
        {"=", 16, 0, ""},
        {"YWJj", 16, 0, ""},  // no end mark: nothing counts
        {"", 16, 0, ""},
        {"YWJjZGVm=", 6, 3, "abc"},  // the second group needs 4 + 3 < 6
        {"YWJjZGVm=", 8, 6, "abcdef"},
        {"YWJj=", 3, 0, ""},
        {"YWI=", 3, 0, ""},
        {"YWI=", 4, 2, "ab"},
    };
    for (const auto& c : cases) {
        std::vector<unsigned char> out(c.capacity);
        const uint32_t n = ZqXmlU_FromBase64(c.in, out.data(), c.capacity);
        EXPECT_EQ(n, c.result) << c.in;
        if (n == c.result) {
            EXPECT_EQ(std::string(out.begin(), out.begin() + n), c.bytes) << c.in;
        }
    }
}

TEST(Base64, DecoderNeverWritesPastTheCapacity) {
    const auto bytes = RandomBytes(40, 7);
    std::string texts[] = {ToBase64(bytes.data(), bytes.size()),
                           ToBase64(bytes.data(), 37, 2, 1),
                           "Y=",
                           "YQ=",
                           "YWI=",
                           "QUJD\nRA="};
    for (const std::string& text : texts) {
        for (uint32_t capacity = 0; capacity < 48; ++capacity) {
            std::vector<unsigned char> out(capacity + 8, 0xAA);
            const uint32_t n = ZqXmlU_FromBase64(text.c_str(), out.data(), capacity);
            EXPECT_LE(n, capacity);
            for (size_t i = capacity; i < out.size(); ++i)
                ASSERT_EQ(out[i], 0xAA) << text << " capacity " << capacity;
        }
    }
}

}  // namespace
