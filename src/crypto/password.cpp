// Password records, the PIN check and the masked 20-byte value.
//
// A record is the Base64 text of a scrambled block bound to two key texts. The block holds the
// password's length byte, the password and a filler (byte i holds i mod 256) up to L bytes, L the
// smallest multiple of 32 above the length, plus 32. Scrambling diffuses every bit into the next
// one (the block read as a little-endian number X becomes X xor (X << 1)) and then xors byte i
// with byte i mod 20 of the SHA-1 digest of "key1;key2". Stored records depend on these bytes:
// nothing here may change them.
#include <openssl/crypto.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "frame/alloc.h"
#include "frame/tag.h"
#include "platform/fmt.h"
#include "zqxmlu.h"

namespace {

constexpr size_t kKeyTextRoom = 128;   // the joined key text with its NUL
constexpr size_t kMaxPassword = 255;   // the length must fit the length byte
constexpr size_t kMaxBlock = 288;      // L for a password of 255 bytes
constexpr size_t kRecordBuffer = 256;  // decoded record bytes
constexpr size_t kMinRecord = 32;      // record lengths accepted by the decrypter
constexpr size_t kMaxRecord = 255;
constexpr size_t kPinTextLimit = 65;  // each PIN text must be shorter

// SHA-1 digest of key1 ";" key2. false when a key text is missing or the joined text does not fit
// in 128 bytes with its NUL.
bool KeyDigest(const char* key1, const char* key2, unsigned char digest[20]) {
    if (!key1 || !key2) return false;
    const size_t n1 = strnlen(key1, kKeyTextRoom);
    const size_t n2 = strnlen(key2, kKeyTextRoom);
    if (n1 + 1 + n2 >= kKeyTextRoom) return false;
    char joined[kKeyTextRoom];
    std::memcpy(joined, key1, n1);
    joined[n1] = ';';
    std::memcpy(joined + n1 + 1, key2, n2);
    uint32_t state[5];
    ZqXmlU_Sha1Interval(joined, 0, static_cast<uint32_t>(n1 + n2), state, 0);
    std::memcpy(digest, state, 20);
    return true;
}

// Every bit becomes itself xor the bit before it (bit k is bit k mod 8 of byte k / 8).
void Diffuse(unsigned char* b, size_t n) {
    unsigned carry = 0;
    for (size_t i = 0; i < n; ++i) {
        const unsigned x = b[i];
        b[i] = static_cast<unsigned char>(x ^ (x << 1) ^ carry);
        carry = x >> 7;
    }
}

// The inverse: every bit becomes the xor of itself and all bits before it.
void Undiffuse(unsigned char* b, size_t n) {
    unsigned carry = 0;
    for (size_t i = 0; i < n; ++i) {
        unsigned x = b[i];
        x ^= x << 1;
        x ^= x << 2;
        x ^= x << 4;
        x = (x ^ (0u - carry)) & 0xFF;
        b[i] = static_cast<unsigned char>(x);
        carry = x >> 7;
    }
}

void Mask(unsigned char* b, size_t n, const unsigned char digest[20]) {
    for (size_t i = 0; i < n; ++i)
        b[i] ^= digest[i % 20];
}

}  // namespace

extern "C" {

void ZQ_CALL ZqXmlU_EncryptPassword(const char* key1, const char* key2, const char* password,
                                    char** record) {
    if (!record) return;
    *record = nullptr;
    if (!password) return;
    const size_t n = strnlen(password, kMaxPassword + 1);
    if (n > kMaxPassword) return;
    unsigned char digest[20];
    if (!KeyDigest(key1, key2, digest)) return;

    const size_t length = (n | 31) + 33;
    unsigned char block[kMaxBlock];
    block[0] = static_cast<unsigned char>(n);
    std::memcpy(block + 1, password, n);
    for (size_t i = n + 1; i < length; ++i)
        block[i] = static_cast<unsigned char>(i);
    Diffuse(block, length);
    Mask(block, length, digest);

    auto* text = static_cast<char*>(zq::AllocBlock(length * 15 / 10, 1, zq::kTagWork));
    ZqXmlU_ToBase64(block, static_cast<uint32_t>(length), text, 0, 0);
    *record = text;
    OPENSSL_cleanse(block, sizeof block);
    OPENSSL_cleanse(digest, sizeof digest);
}

void ZQ_CALL ZqXmlU_DecryptPassword(const char* key1, const char* key2, char** password,
                                    const char* record) {
    if (!password || !key2 || key2[0] == '\0' || !record) return;
    unsigned char digest[20];
    if (!KeyDigest(key1, key2, digest)) return;
    const size_t chars = strnlen(record, kMaxRecord + 1);
    if (chars < kMinRecord || chars > kMaxRecord) return;

    unsigned char block[kRecordBuffer] = {};
    const uint32_t k = ZqXmlU_FromBase64(record, block, sizeof block);
    Mask(block, k, digest);
    Undiffuse(block, k);
    const unsigned n = block[0];
    if (n < k) {
        auto* text = static_cast<char*>(zq::AllocBlock(n + 1, 1, zq::kTagWork));
        std::memcpy(text, block + 1, n);
        *password = text;
    } else {
        *password = nullptr;
    }
    OPENSSL_cleanse(block, sizeof block);
    OPENSSL_cleanse(digest, sizeof digest);
}

}  // extern "C"

int ZQ_CALL ZqXmlU_CheckPasswordPIN(const char* first, const char* second, const char* expected) {
    if (!expected) return 0;
    // The code is the last four digest bytes of first and second joined; it stays 00000000 when
    // either text is 65 bytes or longer, or both are empty. A NULL text counts as empty.
    unsigned char digest[20] = {};
    const size_t n1 = first ? strnlen(first, kPinTextLimit) : 0;
    const size_t n2 = second ? strnlen(second, kPinTextLimit) : 0;
    if (n1 < kPinTextLimit && n2 < kPinTextLimit && n1 + n2 > 0) {
        char joined[2 * kPinTextLimit];
        if (n1 > 0) std::memcpy(joined, first, n1);
        if (n2 > 0) std::memcpy(joined + n1, second, n2);
        uint32_t state[5];
        ZqXmlU_Sha1Interval(joined, 0, static_cast<uint32_t>(n1 + n2 - 1), state, 0);
        std::memcpy(digest, state, 20);
    }
    char code[9];
    zq::FormatTo(code, sizeof code, "%02x%02x%02x%02x", digest[16], digest[17], digest[18],
                 digest[19]);
    return std::strncmp(code, expected, sizeof code) == 0 ? 1 : 0;
}

void ZQ_CALL ZqXmlU_Obfuscate(const char* value, const uint32_t mask[5], char* out) {
    if (!out) return;
    if (!value || !mask) {
        out[0] = '\0';
        return;
    }
    unsigned char bytes[20];
    std::memcpy(bytes, mask, sizeof bytes);
    for (size_t i = 0; i < sizeof bytes; ++i)
        bytes[i] ^= static_cast<unsigned char>(value[i]);
    ZqXmlU_ToBase64(bytes, sizeof bytes, out, 0, 0);
}
