// Digests, encodings and credentials: SHA-1, Base64, zlib, password records, authenticators.
// OpenSSL's SHA-1 and Base64 and zlib's own decoder serve as oracles.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/sha.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "crypto/authkey.h"
#include "crypto/sha1.h"
#include "platform/cpu.h"
#include "support.h"
#include "zqxmlu.h"

namespace {

using Bytes = std::vector<unsigned char>;
const char kEmptyDigest[] = "da39a3ee5e6b4b0d3255bfef95601890afd80709";
const char kAbcDigest[] = "a9993e364706816aba3e25717850c26c9cd0d89d";

Bytes RandomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes v(n);
    for (auto& b : v)
        b = static_cast<unsigned char>(rng());
    return v;
}

std::string Hex(const void* p, size_t n) {
    static const char digits[] = "0123456789abcdef";
    const auto* b = static_cast<const unsigned char*>(p);
    std::string s;
    for (size_t i = 0; i < n; ++i)
        s += {digits[b[i] >> 4], digits[b[i] & 15]};
    return s;
}

std::string Interval(const std::string& s, uint32_t start, uint32_t end, uint32_t skip = 0) {
    uint32_t state[5];
    ZqXmlU_Sha1Interval(s.c_str(), start, end, state, skip);
    return Hex(state, 20);
}

std::string OpenSslSha1(const std::string& s) {
    unsigned char md[20];
    SHA1(reinterpret_cast<const unsigned char*>(s.data()), s.size(), md);
    return Hex(md, 20);
}

// OpenSSL's Base64 with the padding replaced by the library's single "=".
std::string OpenSslBase64(const unsigned char* p, size_t n) {
    std::string s(4 * (n / 3 + 1) + 1, '\0');
    s.resize(static_cast<size_t>(
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(s.data()), p, static_cast<int>(n))));
    while (!s.empty() && s.back() == '=')
        s.pop_back();
    return s + "=";
}

std::string ToBase64(const std::string& in, uint32_t groups = 0, uint32_t tabs = 0) {
    std::string out(4 * (in.size() / 3 + 1) + 2 + (in.size() / 3 + 1) * (1 + tabs), '\xAA');
    const int n =
        ZqXmlU_ToBase64(in.data(), static_cast<uint32_t>(in.size()), out.data(), groups, tabs);
    EXPECT_EQ(out[static_cast<size_t>(n)], '\0');
    return out.substr(0, static_cast<size_t>(n));
}

// Rows of a tab-separated file in tests/data/crypto ("#" lines are comments).
std::vector<std::vector<std::string>> ReadTable(const std::string& name) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(zqtest::ReadFile(std::string(ZQ_TEST_DATA) + "/crypto/" + name));
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        rows.emplace_back();
        for (std::string field; std::getline(fields, field, '\t');)
            rows.back().push_back(field);
    }
    return rows;
}

// --- SHA-1 (the suite runs once per vector tier: the scalar and sse2 runs take the portable
// compression function, the others the SHA instructions where the processor has them) ---------

// The two compression functions on the same random blocks, from the same random state, one to
// nine blocks per call.
TEST(Sha1, EnginesAgree) {
    if (!zq::cpu::Detect().sha) GTEST_SKIP() << "the processor has no SHA instructions";
    const Bytes data = RandomBytes(64 * 45, 3), start = RandomBytes(20, 4);
    uint32_t portable[5], instructions[5];
    std::memcpy(portable, start.data(), 20);
    std::memcpy(instructions, start.data(), 20);
    for (size_t at = 0, blocks = 1; at + blocks <= 45; at += blocks, ++blocks) {
        zq::Sha1BlocksOn(zq::Sha1Engine::kPortable, portable, data.data() + 64 * at, blocks);
        zq::Sha1BlocksOn(zq::Sha1Engine::kShaInstructions, instructions, data.data() + 64 * at,
                         blocks);
        ASSERT_EQ(Hex(portable, 20), Hex(instructions, 20)) << at;
    }
}

TEST(Sha1, DigestsOfIntervalsAndOfTextsWithoutWhiteSpace) {
    const struct {
        std::string text;
        uint32_t start, end, skip;
        std::string digest;
    } cases[] = {
        {"abc", 0, 2, 0, kAbcDigest},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", 0, 55, 0,
         "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {std::string(1000000, 'a'), 0, 999999, 0, "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
        {"abc", 2, 1, 0, kEmptyDigest},  // an interval ending before it starts
        // Skipping white space: the text up to its NUL, the end is not used.
        {"a b\r\nc\t", 0, 0, 1, kAbcDigest},
        {"", 0, 0, 1, kEmptyDigest},
        {"zz ab\vc", 2, 0, 1, OpenSslSha1("ab\vc")},
        {std::string(70, ' ') + std::string(60, 'a') + "\n" + std::string(40, 'a'), 0, 0, 1,
         OpenSslSha1(std::string(100, 'a'))},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Interval(c.text, c.start, c.end, c.skip), c.digest) << c.text.substr(0, 60);
    uint32_t state[5];
    ZqXmlU_start_sha1(state);
    ZqXmlU_finish_sha1(nullptr, 0, 0, state);
    EXPECT_EQ(Hex(state, 20), kEmptyDigest);
}

// Every length up to 130 (all paddings, up to three blocks) and a few longer ones, from an offset.
TEST(Sha1, AgreesWithOpenSslInOneCallAndInPieces) {
    for (size_t n = 0; n <= 1000; n += n < 130 ? 1 : 290) {
        const Bytes bytes = RandomBytes(n, static_cast<uint32_t>(n));
        const std::string text(bytes.begin(), bytes.end()), expected = OpenSslSha1(text);
        ASSERT_EQ(Interval("x" + text, 1, static_cast<uint32_t>(n)), expected) << n;
        // Full blocks, then the last 0..63 bytes, or a last full block when there is one.
        for (size_t last : {n % 64, n % 64 == 0 && n > 0 ? size_t{64} : n % 64}) {
            const size_t blocks = (n - last) / 64;
            uint32_t state[5];
            ZqXmlU_start_sha1(state);
            for (size_t b = 0; b < blocks; ++b)
                ZqXmlU_compute_sha1(bytes.data() + 64 * b, state);
            ZqXmlU_finish_sha1(bytes.data() + 64 * blocks, static_cast<int>(last),
                               static_cast<uint32_t>(512 * blocks), state);
            ASSERT_EQ(Hex(state, 20), expected) << n << " last " << last;
        }
    }
}

// --- Base64 ----------------------------------------------------------------------------------

TEST(Base64, EncodesWithOneClosingMarkAndLineBreaksBetweenWholeGroups) {
    struct Case {
        std::string in;
        uint32_t groups, tabs;
        std::string out;
    } cases[] = {
        {"", 0, 0, "="},
        {"abc", 0, 0, "YWJj="},  // a full closing group is followed by the mark too
        // The closing group never breaks the line, even when it completes one.
        {"abcdefghi", 2, 1, "YWJjZGVm\n\tZ2hp="},
        {"abcdefg", 1, 0, "YWJj\nZGVm\nZw="},
        {"abcdefghijklm", 2, 3, "YWJjZGVm\n\t\t\tZ2hpamts\n\t\t\tbQ="},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ToBase64(c.in, c.groups, c.tabs), c.out) << c.in << " " << c.groups;

    for (size_t n = 0; n <= 100; ++n) {
        const Bytes bytes = RandomBytes(n, static_cast<uint32_t>(n));
        const std::string in(bytes.begin(), bytes.end());
        ASSERT_EQ(ToBase64(in), OpenSslBase64(bytes.data(), n)) << n;
        Bytes back(n + 4);
        ASSERT_EQ(ZqXmlU_FromBase64(ToBase64(in, 3, 2).c_str(), back.data(),
                                    static_cast<uint32_t>(n + 4)),
                  n);
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), back.begin())) << n;
    }
}

TEST(Base64, DecodesUpToTheMarkWithinTheCapacity) {
    struct Case {
        const char* in;
        uint32_t capacity;
        std::string out;
    } cases[] = {
        {"YWJj=", 16, "abc"},
        {"YQ==", 16, "a"},
        {" Y!W*J\r\nj\t?=trailing", 16, "abc"},
        {"=", 16, ""},
        {"YWJj", 16, ""},
        {"YWJjZGVm=", 6, "abc"},  // the second group needs 4 + 3 < 6
        {"YWJjZGVm=", 8, "abcdef"},
        {"YWJj=", 3, ""},
        {"YWI=", 3, ""},
        {"YWI=", 4, "ab"},
        // Exact edges of the group paths: a group needs k + written < capacity.
        {"YWJj=", 4, ""},
        {"YWJj=", 5, "abc"},
        {"YWJjZGVm=", 7, "abc"},
    };
    for (const auto& c : cases) {
        Bytes out(c.capacity);
        const uint32_t n = ZqXmlU_FromBase64(c.in, out.data(), c.capacity);
        EXPECT_EQ(std::string(out.begin(), out.begin() + n), c.out) << c.in;
    }
    // A one-character group still writes its three bytes, as far as they fit.
    unsigned char room[3] = {1, 2, 3};
    EXPECT_EQ(ZqXmlU_FromBase64("Y=", room, 2), 0u);
    EXPECT_EQ(room[2], 3);
}

// NULLs, inputs and outputs of exactly their size that end at an inaccessible page, and decoding
// in place.
TEST(Sha1AndBase64, HostileInputs) {
    uint32_t state[5];
    ZqXmlU_start_sha1(nullptr);
    ZqXmlU_compute_sha1(nullptr, state);
    ZqXmlU_finish_sha1(nullptr, 0, 0, nullptr);
    ZqXmlU_swap_sha1(nullptr);
    ZqXmlU_Sha1Interval(nullptr, 0, 10, state, 0);
    EXPECT_EQ(Hex(state, 20), kEmptyDigest);
    ZqXmlU_Sha1Interval("abc", 0, 2, nullptr, 0);
    char out[8] = "#######";
    EXPECT_EQ(ZqXmlU_ToBase64(nullptr, 5, out, 0, 0), 1);
    EXPECT_STREQ(out, "=");
    EXPECT_EQ(ZqXmlU_ToBase64("abc", 3, nullptr, 0, 0), 0);
    EXPECT_EQ(ZqXmlU_FromBase64(nullptr, reinterpret_cast<unsigned char*>(out), 8), 0u);
    EXPECT_EQ(ZqXmlU_FromBase64("YWJj=", nullptr, 8), 0u);

    for (size_t n = 0; n <= 70; ++n) {
        const Bytes bytes = RandomBytes(n, static_cast<uint32_t>(n) + 99);
        const std::string expected = OpenSslBase64(bytes.data(), n);
        zqtest::PageEnd in(n), text(expected.size() + 1), back(n + 2);
        std::copy(bytes.begin(), bytes.end(), in.data());
        EXPECT_EQ(ZqXmlU_ToBase64(in, static_cast<uint32_t>(n), text, 0, 0),
                  static_cast<int>(expected.size()));
        EXPECT_EQ(std::string(text), expected);
        // A group of k characters needs k + the bytes before it < capacity, so the bytes need two
        // more, and the closing group writes all three of its bytes that fit.
        EXPECT_EQ(ZqXmlU_FromBase64(text, reinterpret_cast<unsigned char*>(back.data()),
                                    static_cast<uint32_t>(n + 2)),
                  n);
        EXPECT_EQ(ZqXmlU_FromBase64(text, reinterpret_cast<unsigned char*>(back.data() + 1),
                                    static_cast<uint32_t>(n + 1)),
                  n == 0 ? 0 : (n - 1) / 3 * 3);
        ZqXmlU_FromBase64(text, reinterpret_cast<unsigned char*>(back.data()),
                          static_cast<uint32_t>(n + 2));
        EXPECT_EQ(std::string(back.data(), n), std::string(bytes.begin(), bytes.end()));
        if (n > 0) {  // up to the last byte, from the second
            ZqXmlU_Sha1Interval(in, 1, static_cast<uint32_t>(n) - 1, state, 0);
            EXPECT_EQ(Hex(state, 20), OpenSslSha1(std::string(bytes.begin() + 1, bytes.end())));
        }
        ZqXmlU_Sha1Interval(text, 0, 0, state, 1);  // skip mode reads up to the NUL at the page
        EXPECT_EQ(Hex(state, 20), OpenSslSha1(expected)) << n;
        // Decoding in place gives the bytes back.
        std::string inPlace = expected;
        EXPECT_EQ(
            ZqXmlU_FromBase64(inPlace.data(), reinterpret_cast<unsigned char*>(inPlace.data()),
                              static_cast<uint32_t>(inPlace.size() + 1)),
            n);
        EXPECT_EQ(inPlace.substr(0, n), std::string(bytes.begin(), bytes.end()));
    }
}

// --- zlib ------------------------------------------------------------------------------------

TEST(Zlib, RoundTripsInTheZlibFormatAndReportsTheRest) {
    const auto gzip = [](const Bytes& in) {
        Bytes out(in.size() + 8, 0xAA);
        const uint32_t n = ZqXmlU_gzip(in.data(), static_cast<uint32_t>(in.size()), out.data());
        EXPECT_NE(n, 0xFFFFFFFFu) << "the compressor refused version 1.2.3";
        EXPECT_EQ(Bytes(out.begin() + static_cast<long>(in.size()), out.end()), Bytes(8, 0xAA));
        out.resize(n == 0xFFFFFFFF ? 0 : n);
        return out;
    };
    Bytes text, out(100000);  // zlib's own decoder reads our stream, ours reads it back
    for (size_t i = 0; i < out.size(); ++i)
        text.push_back(static_cast<unsigned char>("label photo keyword "[i % 20]));
    const auto gunzip = [&](const Bytes& in, uint32_t capacity) {
        return ZqXmlU_gunzip(in.data(), static_cast<uint32_t>(in.size()), out.data(), capacity);
    };
    const Bytes z = gzip(text);
    ASSERT_GT(z.size(), 2u);
    EXPECT_LT(z.size(), 1000u);
    EXPECT_TRUE(z[0] == 0x78 && z[1] == 0x9C) << "the zlib header of the default settings";
    Bytes viaZlib(text.size());
    uLongf size = text.size();
    ASSERT_EQ(uncompress(viaZlib.data(), &size, z.data(), z.size()), Z_OK);
    EXPECT_EQ(viaZlib, text);
    EXPECT_EQ(gunzip(z, 10), 10u);  // what fits, without error
    EXPECT_EQ(gunzip(z, static_cast<uint32_t>(out.size())), text.size());
    EXPECT_EQ(out, text);

    EXPECT_TRUE(gzip(RandomBytes(16, 1)).empty());  // incompressible: no room in 16 bytes
    EXPECT_TRUE(gzip({}).empty());
    Bytes corrupt = z;
    corrupt.back() ^= 1;  // Adler-32 mismatch
    const char gzipAbc[] =
        "\x1F\x8B\x08\x00\x00\x00\x00\x00\x02\x03\x4B\x4C\x4A\x06\x00\xC2\x41"
        "\x24\x35\x03\x00\x00\x00";  // "abc" in the gzip format (RFC 1952)
    for (const Bytes& bad : {corrupt, RandomBytes(100, 2), Bytes{}, Bytes(gzipAbc, gzipAbc + 23)})
        EXPECT_EQ(gunzip(bad, 100000), 0u) << bad.size();
}

// --- Password records ----------------------------------------------------------------------------

// The record written out from its definition, bit by bit, with OpenSSL's SHA-1 and Base64.
std::string ExpectedRecord(const std::string& key1, const std::string& key2,
                           const std::string& password) {
    unsigned char digest[20];
    const std::string keyText = key1 + ";" + key2;
    SHA1(reinterpret_cast<const unsigned char*>(keyText.data()), keyText.size(), digest);
    const size_t n = password.size(), length = (n / 32 + 1) * 32 + 32;
    Bytes block(length);
    block[0] = static_cast<unsigned char>(n);
    for (size_t i = 1; i < length; ++i)
        block[i] = i <= n ? static_cast<unsigned char>(password[i - 1]) : i % 256;
    Bytes out(length);
    bool before = false;  // each bit is xored with the bit before it
    for (size_t k = 0; k < 8 * length; ++k) {
        const bool bit = (block[k / 8] >> (k % 8)) & 1;
        out[k / 8] |= static_cast<unsigned char>((bit != before) << (k % 8));
        before = bit;
    }
    for (size_t i = 0; i < length; ++i)
        out[i] ^= digest[i % 20];
    return OpenSslBase64(out.data(), length);
}

std::string Encrypt(const char* key1, const char* key2, const char* password) {
    zqtest::Block<char> record;
    ZqXmlU_EncryptPassword(key1, key2, password, &record.p);
    return record.p ? record.p : "(null)";
}

// The password, "(null)", or "(unchanged)".
std::string Decrypt(const char* key1, const char* key2, const char* record) {
    char sentinel = 0;
    zqtest::Block<char> password{&sentinel};
    ZqXmlU_DecryptPassword(key1, key2, &password.p, record);
    if (password.p == &sentinel) {
        password.p = nullptr;
        return "(unchanged)";
    }
    return password.p ? password.p : "(null)";
}

TEST(Password, RecordsOfEveryLengthUpTo127AreTheDefinedBytesAndRoundTrip) {
    const std::string key1 = "C:\\Users\\host", key2 = "account@example.net";
    for (size_t n = 0; n <= 127; ++n) {
        std::string password;
        for (size_t i = 0; i < n; ++i)
            password += static_cast<char>(0x20 + (i * 7 + n) % 0xDF);
        const std::string record = Encrypt(key1.c_str(), key2.c_str(), password.c_str());
        ASSERT_EQ(record, ExpectedRecord(key1, key2, password)) << n;
        EXPECT_EQ(Decrypt(key1.c_str(), key2.c_str(), record.c_str()), password) << n;
        EXPECT_NE(Decrypt(key1.c_str(), "account@example.com", record.c_str()), password) << n;
    }
    EXPECT_EQ(Encrypt("a", "b", "").size(), 87u);
    EXPECT_EQ(Encrypt("a", "b", std::string(31, 'x').c_str()).size(), 87u);
    EXPECT_EQ(Encrypt("a", "b", std::string(32, 'x').c_str()).size(), 129u);
}

// Records kept since they were first made: hosts stored them, so their bytes may never change.
TEST(Password, StoredRecordsDecryptAndEncryptToTheSameBytes) {
    const auto rows = ReadTable("password-records.tsv");
    ASSERT_EQ(rows.size(), 6u);
    for (const auto& r : rows) {
        ASSERT_EQ(r.size(), 4u);
        EXPECT_EQ(Decrypt(r[0].c_str(), r[1].c_str(), r[3].c_str()), r[2]) << r[3];
        EXPECT_EQ(Encrypt(r[0].c_str(), r[1].c_str(), r[2].c_str()), r[3]) << r[2];
    }
}

TEST(Password, RefusedAndUnchangedCases) {
    const std::string p255(255, 'p'), k63(63, 'k'), k64(64, 'k');
    EXPECT_EQ(Encrypt("a", "b", p255.c_str()), ExpectedRecord("a", "b", p255));
    EXPECT_EQ(Encrypt("a", "b", (p255 + "p").c_str()), "(null)");
    EXPECT_EQ(Encrypt("a", "b", nullptr), "(null)");
    EXPECT_EQ(Encrypt(nullptr, "b", "pw"), "(null)");
    EXPECT_EQ(Encrypt("a", nullptr, "pw"), "(null)");
    // The joined key text must fit in 128 bytes with its NUL.
    EXPECT_EQ(Encrypt(k63.c_str(), k63.c_str(), "pw"), ExpectedRecord(k63, k63, "pw"));
    EXPECT_EQ(Encrypt(k64.c_str(), k63.c_str(), "pw"), "(null)");

    const std::string record = Encrypt("a", "b", "pw"), cut = record.substr(0, 31),
                      long128 = Encrypt("a", "b", std::string(128, 'x').c_str());
    EXPECT_EQ(long128.size(), 257u);
    const char* r = record.c_str();
    const char* const unchanged[][3] = {
        {"a", "", r},
        {"a", nullptr, r},
        {nullptr, "b", r},
        {k64.c_str(), k63.c_str(), r},
        {"a", "b", cut.c_str()},
        {"a", "b", long128.c_str()},
        {"a", "b", nullptr},
    };
    for (const auto& [key1, key2, text] : unchanged)
        EXPECT_EQ(Decrypt(key1, key2, text), "(unchanged)") << (text ? text : "NULL");
    // Without its end mark a record decodes to nothing: the length byte cannot fit. Records of
    // exactly 32 and 255 characters are read; 31 and 256 are not.
    EXPECT_EQ(Decrypt("a", "b", record.substr(0, 40).c_str()), "(null)");
    EXPECT_EQ(Decrypt("a", "b", record.substr(0, 32).c_str()), "(null)");
    const std::string a254 = std::string(254, 'A') + "=";
    EXPECT_NE(Decrypt("a", "b", a254.c_str()), "(unchanged)");
    EXPECT_EQ(Decrypt("a", "b", ("A" + a254).c_str()), "(unchanged)");
}

TEST(Password, PinCodeAndObfuscatedValue) {
    unsigned char digest[20];
    SHA1(reinterpret_cast<const unsigned char*>("1234device"), 10, digest);
    const std::string code = Hex(digest + 16, 4), t64(64, 'x'), t65(65, 'x');
    SHA1(reinterpret_cast<const unsigned char*>((t64 + t64).data()), 128, digest);
    const std::string code128 = Hex(digest + 16, 4);
    struct Case {
        const char *a, *b;
        std::string expected;
        int result;
    } cases[] = {
        {"1234", "device", code, 1},
        {"1234device", "", code, 1},
        {"", "1234device", code, 1},
        {"1234", "device", code + "0", 0},
        {"1234", "device", code.substr(0, 7), 0},
        {"", "", "00000000", 1},
        {t65.c_str(), "b", "00000000", 1},
        {"a", t65.c_str(), "00000000", 1},
        {t64.c_str(), t64.c_str(), code128, 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ZqXmlU_CheckPasswordPIN(c.a, c.b, c.expected.c_str()), c.result) << c.expected;
    EXPECT_EQ(ZqXmlU_CheckPasswordPIN("a", "b", nullptr), 0);

    const char value[21] = "0123456789abcdefghij";
    uint32_t mask[5];
    std::memcpy(mask, value, 20);
    char out[29];
    ZqXmlU_Obfuscate(value, mask, out);
    EXPECT_EQ(std::string(out, 29), std::string(27, 'A') + "=" + std::string(1, '\0'));
    std::memset(mask, 0, sizeof mask);
    ZqXmlU_Obfuscate(value, mask, out);
    EXPECT_EQ(std::string(out), OpenSslBase64(reinterpret_cast<const unsigned char*>(value), 20));
}

// --- Authenticators ----------------------------------------------------------------------------

TEST(AuthenticatorInsert, GoesIntoTheFirstStartTag) {
    const std::string decl = "<?xml version='1.0'?>";
    const std::string both = " zqncs:plain_authenticator='p' zqncs:authenticator='a'";
    struct Case {
        const char *plain, *auth;
        std::string doc;
        int start, result;
        std::string text;
    } cases[] = {
        {"p", "a", decl + "<doc><a/></doc>", 0, 54, decl + "<doc" + both + "><a/></doc>"},
        {"p", "a", decl + "<doc><a/></doc>", 21, 54, decl + "<doc" + both + "><a/></doc>"},
        {nullptr, "a", "<doc>x</doc>", 0, 24, "<doc zqncs:authenticator='a'>x</doc>"},
        {"p", nullptr, "<doc k='v'>", 0, 30, "<doc k='v' zqncs:plain_authenticator='p'>"},
        {nullptr, nullptr, "<doc>x</doc>", 0, 0, "<doc>x</doc>"},
        {"p", "a", "<xmlStuff/><XMLb/><d>", 0, 54, "<xmlStuff/><XMLb/><d" + both + ">"},
        {"p", "a", "<doc/>", 0, 54, "<doc/" + both + ">"},  // an empty-element tag
        {"p", "a", "</doc><doc>", 0, -1, "</doc><doc>"},
        {"p", "a", "", 0, -1, ""},
        {"p", "a", decl, 0, -1, decl},
        {"p", "a", "<doc", 0, -1, "<doc"},
        {"p", "a", "<doc>", 6, -1, "<doc>"},
        {"p", "a", "<doc>", -1, -1, "<doc>"},
    };
    for (const auto& c : cases) {
        ZQ_XML_STRUCT_T sink{};
        sink.tag = zqtest::Tag();
        ZqXmlU_sprintf(&sink, "%s", c.doc.c_str());  // exact size: inserting has to grow it
        EXPECT_EQ(ZqXmlU_InsertAuthenticators(c.plain, c.auth, &sink, c.start), c.result) << c.doc;
        EXPECT_EQ(std::string(sink.buffer), c.text) << c.doc;
        EXPECT_EQ(static_cast<size_t>(sink.length), c.text.size());
        ZqXmlU_xml_free(sink.buffer);
    }
}

// Hostile callers of the credential exports. Stale sinks: the capacity counts as far as the
// buffer records it (13 bytes here), and the text with its NUL must lie within; a buffer that is
// no shared XML string is refused. Records and keys ending at an inaccessible page are read no
// further than their NUL.
TEST(Hostile, StaleAuthenticatorSinksAndTextsAtAPage) {
    void* block = ZqXmlU_Calloc(64, 1, zqtest::Tag());
    std::memcpy(block, "<doc>x</doc>", 13);
    for (const auto& [length, capacity, result] :
         std::vector<std::tuple<int, int, int>>{{12, 5000, 24},
                                                {13, 5000, -1},
                                                {500, 13, -1},
                                                {12, 12, -1},
                                                {-1, 13, -1},
                                                {12, -64, -1}}) {
        for (char* foreign : {static_cast<char*>(nullptr), static_cast<char*>(block)}) {
            ZQ_XML_STRUCT_T sink{};
            ZqXmlU_sprintf(&sink, "%s", "<doc>x</doc>");
            char* own = sink.buffer;
            if (foreign) sink.buffer = foreign;
            sink.length = length;
            sink.capacity = capacity;
            EXPECT_EQ(ZqXmlU_InsertAuthenticators(nullptr, "a", &sink, 0), foreign ? -1 : result)
                << length << "/" << capacity;
            EXPECT_EQ(std::string(sink.buffer), result < 0 || foreign
                                                    ? "<doc>x</doc>"
                                                    : "<doc zqncs:authenticator='a'>x</doc>");
            ZqXmlU_xml_free(foreign ? own : sink.buffer);
        }
    }
    ZqXmlU_Free(&block);
    const std::string record = Encrypt("a", "b", "pw");
    zqtest::PageEnd whole(record), shortest(record.substr(0, 32)), key("b");
    EXPECT_EQ(Decrypt("a", key, whole), "pw");
    EXPECT_EQ(Decrypt("a", "b", shortest), "(null)");
    EXPECT_EQ(ZqXmlU_InsertAuthenticators("p", "a", nullptr, 0), -1);
}

// Authenticators made with the private half of the built-in key (the raw private-key operation
// with PKCS#1 v1.5 type 1 padding), or kept in tests/data since they were made.
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
        if (EVP_PKEY_eq(key_, zq::AuthenticatorKey()) != 1) {
            GTEST_SKIP() << "another public key is built into this library";
        }
    }

    static Bytes Sign(const std::string& content) {
        EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_pkey(nullptr, key_, nullptr);
        Bytes sig(128);
        size_t size = sig.size();
        EXPECT_TRUE(EVP_PKEY_sign_init(ctx) > 0 &&
                    EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING) > 0 &&
                    EVP_PKEY_sign(ctx, sig.data(), &size,
                                  reinterpret_cast<const unsigned char*>(content.data()),
                                  content.size()) > 0);
        EVP_PKEY_CTX_free(ctx);
        sig.resize(size);
        return sig;
    }

    static std::string Recover(const Bytes& sig) {
        unsigned char out[129] = {};
        const int r = ZqXmlU_DeencryptAuthenticator(sig.data(), static_cast<int>(sig.size()), out);
        return r == 1 ? std::string(reinterpret_cast<char*>(out)) : "(failed)";
    }

    static inline EVP_PKEY* key_ = nullptr;
};

TEST_F(Authenticator, RecoversContentMadeWithThePrivateKey) {
    const auto rows = ReadTable("authenticators.tsv");
    ASSERT_EQ(rows.size(), 3u);
    for (const auto& r : rows) {
        Bytes sig;
        for (size_t i = 0; i + 1 < r.at(1).size(); i += 2)
            sig.push_back(static_cast<unsigned char>(std::stoi(r[1].substr(i, 2), nullptr, 16)));
        EXPECT_EQ(Recover(sig), r[0]);
    }
}

TEST_F(Authenticator, FailedRecoveryGivesZeroAndLeavesOutAlone) {
    Bytes sig = Sign("content"), out(130, 0xAA);
    for (int length : {0, -1, 127, 129})
        EXPECT_EQ(ZqXmlU_DeencryptAuthenticator(sig.data(), length, out.data()), 0);
    sig[60] ^= 1;
    EXPECT_EQ(ZqXmlU_DeencryptAuthenticator(sig.data(), 128, out.data()), 0);
    EXPECT_EQ(ZqXmlU_DeencryptAuthenticator(nullptr, 128, out.data()), 0);
    EXPECT_EQ(ZqXmlU_DeencryptAuthenticator(sig.data(), 128, nullptr), 0);
    EXPECT_EQ(out, Bytes(130, 0xAA));
    EXPECT_EQ(Recover(Sign("")), "(failed)");  // nothing recovered counts as a failure too
}

// FreeSSL releases the calling thread's state only: the key object and later recoveries stay.
TEST_F(Authenticator, KeySurvivesFreeSsl) {
    const Bytes sig = Sign("content");
    EVP_PKEY* const key = zq::AuthenticatorKey();
    std::thread([&] {
        EXPECT_EQ(Recover(sig), "content");
        ZqXmlU_FreeSSL();
    }).join();
    ZqXmlU_FreeSSL();
    ZqXmlU_FreeSSL();
    EXPECT_EQ(Recover(sig), "content");
    EXPECT_EQ(zq::AuthenticatorKey(), key);
}

// --- Command-line tool ---------------------------------------------------------------------------

#ifdef ZQ_TOOL
TEST(CryptoTool, Subcommands) {
    const std::string tool = ZQ_TOOL;
    const auto pw = ReadTable("password-records.tsv")[0];
    const auto auth = ReadTable("authenticators.tsv")[1];
    const std::string keys = " '" + pw[0] + "' '" + pw[1] + "' ";
    struct Case {
        std::string args, in;
        int status;
        std::string out;
    } cases[] = {
        {"sha1 --skip-space", "a b\r\nc\t", 0, std::string(kAbcDigest) + "\n"},
        {"base64 --groups 2 --tabs 1", "abcdefghi", 0, "YWJjZGVm\n\tZ2hp=\n"},
        {"base64 -d", "YW\nJj\t=", 0, "abc"},
        {"password encrypt" + keys, pw[2] + "\n", 0, pw[3] + "\n"},
        {"password decrypt" + keys + "'" + pw[3] + "'", "", 0, pw[2] + "\n"},
        {"password decrypt host other '" + pw[3] + "'", "", 1, ""},
        {"pin '' '' 00000000", "", 0, "match\n"},
        {"auth insert --auth a", "<doc>", 0, "<doc zqncs:authenticator='a'>"},
        {"auth insert --plain p", "</doc>", 1, ""},
        {"auth recover " + auth[1], "", 0, auth[0] + "\n"},
        {"auth recover 0g", "", 2, ""},
    };
    for (const auto& c : cases) {
        const auto r = zqtest::Run(tool + " " + c.args, c.in);
        EXPECT_EQ(r.status, c.status) << c.args << ": " << r.err;
        EXPECT_EQ(r.out, c.out) << c.args;
    }
    const std::string text(5000, 'z');
    const auto packed = zqtest::Run(tool + " zlib", text);
    EXPECT_EQ(packed.out.substr(0, 2), "\x78\x9C");
    EXPECT_EQ(zqtest::Run(tool + " zlib -d", packed.out).out, text);
}
#endif

}  // namespace
