// Digests, encodings and credentials: SHA-1, Base64, zlib, password records, authenticators.
#include <gtest/gtest.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/sha.h>
#include <zlib.h>

#include <cctype>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "crypto/authkey.h"
#include "crypto/sha1.h"
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

// --- SHA-1 --------------------------------------------------------------------------------------

std::string Hex(const void* p, size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        const unsigned b = static_cast<const unsigned char*>(p)[i];
        s += digits[b >> 4];
        s += digits[b & 15];
    }
    return s;
}

std::string Interval(const std::string& s, uint32_t start, uint32_t end, uint32_t skip = 0) {
    uint32_t state[5];
    ZqXmlU_Sha1Interval(s.c_str(), start, end, state, skip);
    return Hex(state, 20);
}

std::string OpenSslSha1(const void* p, size_t n) {
    unsigned char md[20];
    SHA1(static_cast<const unsigned char*>(p), n, md);
    return Hex(md, 20);
}

// Runs a test body once on the processor's compression function and once on the portable one.
class Sha1 : public testing::TestWithParam<bool> {
  protected:
    void SetUp() override { zq::Sha1ForcePortable(GetParam()); }
    void TearDown() override { zq::Sha1ForcePortable(false); }
};

INSTANTIATE_TEST_SUITE_P(Compression, Sha1, testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Portable" : "Detected"; });

TEST_P(Sha1, StandardVectors) {
    if (!GetParam() && !zq::Sha1UsesShaInstructions()) {
        std::printf("note: this processor has no SHA instructions\n");
    }
    const std::string million(1000000, 'a');
    const std::string twoBlocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    EXPECT_EQ(Interval("abc", 0, 2), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(Interval(twoBlocks, 0, 55), "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
    EXPECT_EQ(Interval(million, 0, 999999), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
    EXPECT_EQ(Interval("xxabcyy", 2, 4), Interval("abc", 0, 2));
    EXPECT_EQ(Interval(std::string("a\0b", 3), 0, 2), OpenSslSha1("a\0b", 3));
    // An interval that ends before it starts is the empty message.
    EXPECT_EQ(Interval("abc", 2, 1), "da39a3ee5e6b4b0d3255bfef95601890afd80709");

    uint32_t state[5];
    ZqXmlU_start_sha1(state);
    ZqXmlU_finish_sha1(nullptr, 0, 0, state);
    EXPECT_EQ(Hex(state, 20), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
}

TEST_P(Sha1, AgreesWithOpenSslOnRandomLengthsInOneCallAndInPieces) {
    std::mt19937 rng(GetParam() ? 2 : 1);
    std::vector<size_t> lengths = {1, 55, 56, 63, 64, 65, 119, 120, 127, 128, 129, 1000};
    for (int i = 0; i < 200; ++i)
        lengths.push_back(rng() % 1001);
    for (size_t n : lengths) {
        const auto bytes = RandomBytes(n, static_cast<uint32_t>(n));
        const std::string expected = OpenSslSha1(bytes.data(), n);
        const std::string text(bytes.begin(), bytes.end());
        if (n > 0) {
            ASSERT_EQ(Interval(text, 0, static_cast<uint32_t>(n - 1)), expected) << n;
        }

        // Full blocks one by one, then 0..63 bytes (or, when possible, a last full block).
        for (bool lastFull : {false, true}) {
            size_t blocks = n / 64;
            if (lastFull && (blocks == 0 || n % 64 != 0)) continue;
            if (lastFull) --blocks;
            uint32_t state[5];
            ZqXmlU_start_sha1(state);
            for (size_t b = 0; b < blocks; ++b)
                ZqXmlU_compute_sha1(bytes.data() + 64 * b, state);
            ZqXmlU_finish_sha1(bytes.data() + 64 * blocks, static_cast<int>(n - 64 * blocks),
                               static_cast<uint32_t>(512 * blocks), state);
            ASSERT_EQ(Hex(state, 20), expected) << n << (lastFull ? " last full" : "");
        }
    }
}

TEST_P(Sha1, SkipModeLeavesOutWhiteSpaceUpToTheNul) {
    EXPECT_EQ(Interval("a b\r\nc\t", 0, 0, 1), Interval("abc", 0, 2));
    EXPECT_EQ(Interval("", 0, 0, 1), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    EXPECT_EQ(Interval("zz ab\vc", 2, 0, 1), OpenSslSha1("ab\vc", 4));  // end is not used
    std::mt19937 rng(3);
    static const char pool[] = " \t\r\nxyz\x01\x0B\xFF";
    for (size_t n = 0; n < 300; n += 7) {
        std::string text, kept;
        for (size_t i = 0; i < n; ++i) {
            const char c = pool[rng() % (sizeof pool - 1)];
            text += c;
            if (c != ' ' && c != '\t' && c != '\r' && c != '\n') kept += c;
        }
        ASSERT_EQ(Interval(text, 0, 0, 1), OpenSslSha1(kept.data(), kept.size())) << n;
    }
}

TEST(Sha1Swap, ReversesEachWordAndUndoesItself) {
    uint32_t state[5] = {0x01020304, 0x05060708, 0x090A0B0C, 0x0D0E0F10, 0x11121314};
    ZqXmlU_swap_sha1(state);
    EXPECT_EQ(state[0], 0x04030201u);
    EXPECT_EQ(state[4], 0x14131211u);
    ZqXmlU_swap_sha1(state);
    EXPECT_EQ(state[2], 0x090A0B0Cu);
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

// --- zlib ---------------------------------------------------------------------------------------

std::vector<unsigned char> Gzip(const std::vector<unsigned char>& in) {
    std::vector<unsigned char> out(in.size() + 16, 0xAA);
    const uint32_t n = ZqXmlU_gzip(in.data(), static_cast<uint32_t>(in.size()), out.data());
    EXPECT_NE(n, 0xFFFFFFFFu) << "the compressor refused version 1.2.3";
    for (size_t i = in.size(); i < out.size(); ++i)
        EXPECT_EQ(out[i], 0xAA) << "written past n bytes";
    out.resize(n == 0xFFFFFFFF ? 0 : n);
    return out;
}

TEST(Zlib, CompressesIntoTheZlibFormatAndBack) {
    const std::vector<unsigned char> zeros(1000, 0);
    const auto packed = Gzip(zeros);
    ASSERT_GT(packed.size(), 2u);
    EXPECT_LT(packed.size(), 100u);
    EXPECT_EQ(packed[0], 0x78);
    EXPECT_EQ(packed[1], 0x9C);

    std::vector<unsigned char> back(1000, 1);
    EXPECT_EQ(ZqXmlU_gunzip(packed.data(), static_cast<uint32_t>(packed.size()), back.data(), 1000),
              1000u);
    EXPECT_EQ(back, zeros);

    // Text of several sizes: zlib's own decoder reads our streams, ours reads them back.
    for (size_t n : {40u, 300u, 5000u, 100000u}) {
        std::vector<unsigned char> text;
        while (text.size() < n) {
            for (const char* w : {"label ", "photo ", "keyword ", "summer "})
                text.insert(text.end(), w, w + std::strlen(w));
        }
        text.resize(n);
        const auto z = Gzip(text);
        ASSERT_FALSE(z.empty()) << n;
        std::vector<unsigned char> viaZlib(n);
        uLongf size = n;
        ASSERT_EQ(uncompress(viaZlib.data(), &size, z.data(), z.size()), Z_OK);
        EXPECT_EQ(viaZlib, text);
        std::vector<unsigned char> viaUs(n + 10);
        ASSERT_EQ(ZqXmlU_gunzip(z.data(), static_cast<uint32_t>(z.size()), viaUs.data(),
                                static_cast<uint32_t>(viaUs.size())),
                  n);
        EXPECT_TRUE(std::equal(text.begin(), text.end(), viaUs.begin()));
    }
}

TEST(Zlib, ReportsWhatDoesNotFitOrIsNotAZlibStream) {
    EXPECT_TRUE(Gzip(RandomBytes(16, 1)).empty());  // incompressible: no room in 16 bytes
    EXPECT_TRUE(Gzip({}).empty());

    const std::vector<unsigned char> zeros(1000, 0);
    const auto packed = Gzip(zeros);
    std::vector<unsigned char> out(1000);
    const auto gunzip = [&](const std::vector<unsigned char>& in, uint32_t capacity) {
        return ZqXmlU_gunzip(in.data(), static_cast<uint32_t>(in.size()), out.data(), capacity);
    };
    EXPECT_EQ(gunzip(packed, 10), 10u);  // what fits, without error
    auto corrupt = packed;
    corrupt.back() ^= 1;  // Adler-32 mismatch
    EXPECT_EQ(gunzip(corrupt, 1000), 0u);
    EXPECT_EQ(gunzip(RandomBytes(100, 2), 1000), 0u);
    EXPECT_EQ(gunzip({}, 1000), 0u);

    // The same data in the gzip format (RFC 1952) is not accepted.
    z_stream z{};
    ASSERT_EQ(deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 16 + 15, 8, Z_DEFAULT_STRATEGY),
              Z_OK);
    std::vector<unsigned char> gz(1100);
    z.next_in = const_cast<unsigned char*>(zeros.data());
    z.avail_in = 1000;
    z.next_out = gz.data();
    z.avail_out = static_cast<uInt>(gz.size());
    ASSERT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    gz.resize(z.total_out);
    deflateEnd(&z);
    EXPECT_EQ(gunzip(gz, 1000), 0u);
}

// --- Password records ---------------------------------------------------------------------------

std::string OpenSslBase64(const unsigned char* p, size_t n) {
    std::string s(4 * (n / 3 + 1) + 1, '\0');
    s.resize(static_cast<size_t>(
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(s.data()), p, static_cast<int>(n))));
    while (!s.empty() && s.back() == '=')
        s.pop_back();
    return s + "=";
}

// The record written out from its definition, bit by bit, with OpenSSL's SHA-1 and Base64.
std::string ExpectedRecord(const std::string& key1, const std::string& key2,
                           const std::string& password) {
    const std::string keyText = key1 + ";" + key2;
    unsigned char digest[20];
    SHA1(reinterpret_cast<const unsigned char*>(keyText.data()), keyText.size(), digest);
    const size_t n = password.size();
    const size_t length = (n / 32 + 1) * 32 + 32;
    std::vector<unsigned char> block(length);
    block[0] = static_cast<unsigned char>(n);
    for (size_t i = 1; i < length; ++i)
        block[i] = i <= n ? static_cast<unsigned char>(password[i - 1]) : i % 256;
    std::vector<bool> bits(8 * length);
    for (size_t k = 0; k < bits.size(); ++k)
        bits[k] = (block[k / 8] >> (k % 8)) & 1;
    std::vector<unsigned char> out(length);
    for (size_t k = 0; k < bits.size(); ++k) {
        const bool bit = bits[k] != (k > 0 && bits[k - 1]);
        out[k / 8] |= static_cast<unsigned char>(bit << (k % 8));
    }
    for (size_t i = 0; i < length; ++i)
        out[i] ^= digest[i % 20];
    return OpenSslBase64(out.data(), length);
}

std::string Encrypt(const char* key1, const char* key2, const char* password) {
    char* record = reinterpret_cast<char*>(1);
    ZqXmlU_EncryptPassword(key1, key2, password, &record);
    if (!record) return "(null)";
    std::string s = record;
    void* block = record;
    ZqXmlU_Free(&block);
    return s;
}

// "(unchanged)", "(null)" or the password.
std::string Decrypt(const char* key1, const char* key2, const char* record) {
    char* sentinel = reinterpret_cast<char*>(1);
    char* password = sentinel;
    ZqXmlU_DecryptPassword(key1, key2, &password, record);
    if (password == sentinel) return "(unchanged)";
    if (!password) return "(null)";
    std::string s = password;
    void* block = password;
    ZqXmlU_Free(&block);
    return s;
}

TEST(Password, RecordsOfEveryLengthUpTo127AreTheDefinedBytesAndRoundTrip) {
    const std::string key1 = "C:\\Users\\host", key2 = "account@example.net";
    for (size_t n = 0; n <= 127; ++n) {
        std::string password;
        for (size_t i = 0; i < n; ++i)
            password += static_cast<char>(0x20 + (i * 7 + n) % 0xDF);
        const std::string record = Encrypt(key1.c_str(), key2.c_str(), password.c_str());
        ASSERT_EQ(record, ExpectedRecord(key1, key2, password)) << n;
        const size_t length = (n | 31) + 33, groups = (length + 2) / 3;
        EXPECT_EQ(record.size(), 4 * groups - (3 * groups - length) + 1);
        EXPECT_EQ(Decrypt(key1.c_str(), key2.c_str(), record.c_str()), password) << n;
        EXPECT_NE(Decrypt(key1.c_str(), "account@example.com", record.c_str()), password) << n;
    }
    EXPECT_EQ(Encrypt("a", "b", "").size(), 87u);
    EXPECT_EQ(Encrypt("a", "b", std::string(31, 'x').c_str()).size(), 87u);
    EXPECT_EQ(Encrypt("a", "b", std::string(32, 'x').c_str()).size(), 129u);
}

TEST(Password, RefusedAndUnchangedCases) {
    const std::string longest(255, 'p');
    EXPECT_EQ(Encrypt("a", "b", longest.c_str()), ExpectedRecord("a", "b", longest));
    EXPECT_EQ(Encrypt("a", "b", (longest + "p").c_str()), "(null)");
    EXPECT_EQ(Encrypt("a", "b", nullptr), "(null)");
    EXPECT_EQ(Encrypt(nullptr, "b", "pw"), "(null)");
    EXPECT_EQ(Encrypt("a", nullptr, "pw"), "(null)");
    // The joined key text must fit in 128 bytes with its NUL.
    const std::string k63(63, 'k'), k64(64, 'k');
    EXPECT_EQ(Encrypt(k63.c_str(), k63.c_str(), "pw"), ExpectedRecord(k63, k63, "pw"));
    EXPECT_EQ(Encrypt(k64.c_str(), k63.c_str(), "pw"), "(null)");
    EXPECT_EQ(Decrypt(k64.c_str(), k63.c_str(), Encrypt("a", "b", "pw").c_str()), "(unchanged)");

    const std::string record = Encrypt("a", "b", "pw");
    EXPECT_EQ(Decrypt("a", "", record.c_str()), "(unchanged)");
    EXPECT_EQ(Decrypt("a", nullptr, record.c_str()), "(unchanged)");
    EXPECT_EQ(Decrypt(nullptr, "b", record.c_str()), "(unchanged)");
    EXPECT_EQ(Decrypt("a", "b", nullptr), "(unchanged)");
    EXPECT_EQ(Decrypt("a", "b", record.substr(0, 31).c_str()), "(unchanged)");
    const std::string long128 = Encrypt("a", "b", std::string(128, 'x').c_str());
    EXPECT_GT(long128.size(), 255u);
    EXPECT_EQ(Decrypt("a", "b", long128.c_str()), "(unchanged)");
    // A record without its end mark decodes to nothing: the length byte cannot fit.
    EXPECT_EQ(Decrypt("a", "b", record.substr(0, 40).c_str()), "(null)");
    EXPECT_EQ(Decrypt("a", "b", std::string(255, '/').c_str()), "(null)");
}

TEST(Password, PinIsTheLastFourDigestBytesOfBothTextsJoined) {
    unsigned char digest[20];
    SHA1(reinterpret_cast<const unsigned char*>("1234device"), 10, digest);
    const std::string code = Hex(digest + 16, 4);
    EXPECT_EQ(ZqXmlU_CheckPasswordPIN("1234", "device", code.c_str()), 1);
    EXPECT_EQ(ZqXmlU_CheckPasswordPIN("1234device", "", code.c_str()), 1);
    EXPECT_EQ(ZqXmlU_CheckPasswordPIN("", "1234device", code.c_str()), 1);
    std::string upper = code;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (upper != code) {
        EXPECT_EQ(ZqXmlU_CheckPasswordPIN("1234", "device", upper.c_str()), 0);
    }
    EXPECT_EQ(ZqXmlU_CheckPasswordPIN("1234", "device", (code + "0").c_str()), 0);
    EXPECT_EQ(ZqXmlU_CheckPasswordPIN("1234", "device", code.substr(0, 7).c_str()), 0);

    const std::string t64(64, 'x'), t65(65, 'x');
    EXPECT_EQ(ZqXmlU_CheckPasswordPIN("", "", "00000000"), 1);
    EXPECT_EQ(ZqXmlU_CheckPasswordPIN(t65.c_str(), "b", "00000000"), 1);
    EXPECT_EQ(ZqXmlU_CheckPasswordPIN("a", t65.c_str(), "00000000"), 1);
    SHA1(reinterpret_cast<const unsigned char*>((t64 + t64).data()), 128, digest);
    EXPECT_EQ(ZqXmlU_CheckPasswordPIN(t64.c_str(), t64.c_str(), Hex(digest + 16, 4).c_str()), 1);
    EXPECT_EQ(ZqXmlU_CheckPasswordPIN("a", "b", nullptr), 0);
}

TEST(Password, ObfuscateMasksTwentyBytesInBase64) {
    const char value[21] = "0123456789abcdefghij";
    uint32_t same[5];
    std::memcpy(same, value, 20);
    char out[29];
    std::memset(out, 'z', sizeof out);
    ZqXmlU_Obfuscate(value, same, out);
    EXPECT_EQ(std::string(out, 29), std::string(27, 'A') + "=" + std::string(1, '\0'));

    uint32_t state[5];
    ZqXmlU_Sha1Interval("abc", 0, 2, state, 0);
    unsigned char expected[20];
    std::memcpy(expected, state, 20);
    for (int i = 0; i < 20; ++i)
        expected[i] ^= static_cast<unsigned char>(value[i]);
    ZqXmlU_Obfuscate(value, state, out);
    EXPECT_EQ(std::string(out), OpenSslBase64(expected, 20));
}

// --- Authenticators -----------------------------------------------------------------------------

struct Inserted {
    int result;
    std::string text;
};

Inserted Insert(const char* plain, const char* auth, const std::string& doc, int start = 0) {
    ZQ_XML_STRUCT_T sink{};
    sink.tag = zqtest::Tag();
    ZqXmlU_sprintf(&sink, "%s", doc.c_str());  // exact size: inserting has to grow the buffer
    Inserted r{ZqXmlU_InsertAuthenticators(plain, auth, &sink, start),
               std::string(sink.buffer, static_cast<size_t>(sink.length))};
    EXPECT_EQ(std::strlen(sink.buffer), static_cast<size_t>(sink.length));
    ZqXmlU_xml_free(sink.buffer);
    return r;
}

TEST(AuthenticatorInsert, GoesIntoTheFirstStartTag) {
    const std::string decl = "<?xml version='1.0'?>";
    const std::string both = " zqncs:plain_authenticator='p' zqncs:authenticator='a'";
    struct Case {
        const char* plain;
        const char* auth;
        std::string doc;
        int start;
        int result;
        std::string text;
    } cases[] = {
        {"p", "a", decl + "<doc><a/></doc>", 0, 54, decl + "<doc" + both + "><a/></doc>"},
        {"p", "a", decl + "<doc><a/></doc>", 21, 54, decl + "<doc" + both + "><a/></doc>"},
        {nullptr, "a", "<doc>x</doc>", 0, 24, "<doc zqncs:authenticator='a'>x</doc>"},
        {"p", nullptr, "<doc k='v'>", 0, 30, "<doc k='v' zqncs:plain_authenticator='p'>"},
        {nullptr, nullptr, "<doc>x</doc>", 0, 0, "<doc>x</doc>"},
        {"p", "a", "<xmlStuff/><XMLb/><doc>x</doc>", 0, 54,
         "<xmlStuff/><XMLb/><doc" + both + ">x</doc>"},
        {"p", "a", "<doc/>", 0, 54, "<doc/" + both + ">"},  // an empty-element tag
        {"p", "a", "</doc><doc>", 0, -1, "</doc><doc>"},
        {"p", "a", "", 0, -1, ""},
        {"p", "a", decl, 0, -1, decl},
        {"p", "a", "<doc", 0, -1, "<doc"},
        {"p", "a", "<doc>", 5, -1, "<doc>"},
        {"p", "a", "<doc>", 6, -1, "<doc>"},
        {"p", "a", "<doc>", -1, -1, "<doc>"},
    };
    for (const auto& c : cases) {
        const Inserted r = Insert(c.plain, c.auth, c.doc, c.start);
        EXPECT_EQ(r.result, c.result) << c.doc;
        EXPECT_EQ(r.text, c.text) << c.doc;
    }
    EXPECT_EQ(ZqXmlU_InsertAuthenticators("p", "a", nullptr, 0), -1);
    ZQ_XML_STRUCT_T toFile{};
    toFile.file = stdout;
    EXPECT_EQ(ZqXmlU_InsertAuthenticators("p", "a", &toFile, 0), -1);
}

// Test authenticators, made with the private half of the built-in key (raw private-key operation
// with PKCS#1 v1.5 type 1 padding).
class Authenticator : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        FILE* f = std::fopen(ZQ_TEST_DATA "/crypto/auth-test-private.pem", "r");
        ASSERT_NE(f, nullptr);
        key_ = PEM_read_PrivateKey(f, nullptr, nullptr, nullptr);
        std::fclose(f);
    }
    static void TearDownTestSuite() { EVP_PKEY_free(key_); }

    void SetUp() override {
        ASSERT_NE(key_, nullptr);
        BIGNUM* ours = nullptr;
        BIGNUM* built = nullptr;
        ASSERT_TRUE(EVP_PKEY_get_bn_param(key_, OSSL_PKEY_PARAM_RSA_N, &ours));
        ASSERT_TRUE(EVP_PKEY_get_bn_param(zq::AuthenticatorKey(), OSSL_PKEY_PARAM_RSA_N, &built));
        const bool same = BN_cmp(ours, built) == 0;
        BN_free(ours);
        BN_free(built);
        if (!same) GTEST_SKIP() << "another public key is built into this library";
    }

    static std::vector<unsigned char> Sign(const std::string& content) {
        EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_pkey(nullptr, key_, nullptr);
        std::vector<unsigned char> sig(128);
        size_t size = sig.size();
        EXPECT_GT(EVP_PKEY_sign_init(ctx), 0);
        EXPECT_GT(EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING), 0);
        EXPECT_GT(
            EVP_PKEY_sign(ctx, sig.data(), &size,
                          reinterpret_cast<const unsigned char*>(content.data()), content.size()),
            0);
        EVP_PKEY_CTX_free(ctx);
        sig.resize(size);
        return sig;
    }

    static inline EVP_PKEY* key_ = nullptr;
};

TEST_F(Authenticator, RecoversContentMadeWithThePrivateKey) {
    for (const std::string& content :
         {std::string("k"), std::string("photo-4711;2024-05-01"), std::string(117, '\x7F')}) {
        const auto sig = Sign(content);
        ASSERT_EQ(sig.size(), 128u);
        std::vector<unsigned char> out(128, 0);
        EXPECT_EQ(ZqXmlU_DeencryptAuthenticator(sig.data(), 128, out.data()), 1);
        EXPECT_EQ(std::string(out.begin(), out.begin() + static_cast<long>(content.size())),
                  content);
    }
}

TEST_F(Authenticator, FailedRecoveryGivesZeroAndLeavesOutAlone) {
    auto sig = Sign("content");
    std::vector<unsigned char> out(130, 0xAA);
    const std::vector<unsigned char> untouched = out;
    EXPECT_EQ(ZqXmlU_DeencryptAuthenticator(sig.data(), 0, out.data()), 0);
    EXPECT_EQ(ZqXmlU_DeencryptAuthenticator(sig.data(), -1, out.data()), 0);
    sig.push_back(0);
    EXPECT_EQ(ZqXmlU_DeencryptAuthenticator(sig.data(), 129, out.data()), 0);
    EXPECT_EQ(ZqXmlU_DeencryptAuthenticator(sig.data(), 127, out.data()), 0);
    sig[60] ^= 1;
    EXPECT_EQ(ZqXmlU_DeencryptAuthenticator(sig.data(), 128, out.data()), 0);
    EXPECT_EQ(ZqXmlU_DeencryptAuthenticator(nullptr, 128, out.data()), 0);
    EXPECT_EQ(ZqXmlU_DeencryptAuthenticator(sig.data(), 128, nullptr), 0);
    EXPECT_EQ(out, untouched);
    // An empty content recovers nothing, which counts as a failure too.
    const auto empty = Sign("");
    EXPECT_EQ(ZqXmlU_DeencryptAuthenticator(empty.data(), 128, out.data()), 0);
}

TEST_F(Authenticator, KeyIsMadeOnceAndSurvivesFreeSsl) {
    const auto sig = Sign("content");
    std::vector<EVP_PKEY*> seen(8);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&, i] {
            unsigned char out[128];
            EXPECT_EQ(ZqXmlU_DeencryptAuthenticator(sig.data(), 128, out), 1);
            seen[i] = zq::AuthenticatorKey();
            ZqXmlU_FreeSSL();
        });
    for (auto& t : threads)
        t.join();
    for (EVP_PKEY* k : seen)
        EXPECT_EQ(k, seen[0]);

    ZqXmlU_FreeSSL();
    ZqXmlU_FreeSSL();
    unsigned char out[128] = {};
    EXPECT_EQ(ZqXmlU_DeencryptAuthenticator(sig.data(), 128, out), 1);
    EXPECT_EQ(std::memcmp(out, "content", 7), 0);
    EXPECT_EQ(zq::AuthenticatorKey(), seen[0]);
}

}  // namespace
