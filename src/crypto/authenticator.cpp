// Authenticators: the two attributes put into the first start tag of a document, and the recovery
// of an authenticator's content with the built-in RSA public key (PKCS#1 v1.5, type 1 padding).
#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/rsa.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <mutex>

#include "crypto/authkey.h"
#include "frame/tag.h"
#include "frame/xmlstring.h"
#include "zqxmlu.h"

namespace {

constexpr int kKeyBytes = 128;  // the authenticator size, and the room at out

// Whether the three characters at p are "xml" in any letter case; stops at a NUL or at `room`.
bool NamedXml(const char* p, size_t room) {
    static const char kXml[] = "xml";
    for (size_t i = 0; i < 3; ++i) {
        if (i >= room) return false;
        const char c = p[i];
        if (c != kXml[i] && c != kXml[i] - ('a' - 'A')) return false;
    }
    return true;
}

// Offset of the ">" that ends the first start tag at or after `start`, or -1 when the text (up to
// its NUL or `length`) ends, or an end tag comes, first. A "<?" is passed over; a "<" followed by
// "xml" in any case is not counted as a start tag.
int64_t EndOfFirstStartTag(const char* text, size_t length, size_t start) {
    int opened = 0;
    for (size_t p = start; p < length; ++p) {
        const char c = text[p];
        if (c == '\0') return -1;
        if (c == '<') {
            const char next = p + 1 < length ? text[p + 1] : '\0';
            if (next == '?') continue;
            if (next == '/') return -1;
            if (!NamedXml(text + p + 1, length - p - 1)) ++opened;
        } else if (c == '>' && opened == 1) {
            return static_cast<int64_t>(p);
        }
    }
    return -1;
}

EVP_PKEY* BuildKey() {
    EVP_PKEY* key = nullptr;
    BIGNUM* n = BN_bin2bn(zq::kAuthModulus, sizeof zq::kAuthModulus, nullptr);
    BIGNUM* e = BN_bin2bn(zq::kAuthExponent, sizeof zq::kAuthExponent, nullptr);
    OSSL_PARAM_BLD* build = OSSL_PARAM_BLD_new();
    OSSL_PARAM* params = nullptr;
    EVP_PKEY_CTX* ctx = nullptr;
    if (n && e && build && OSSL_PARAM_BLD_push_BN(build, OSSL_PKEY_PARAM_RSA_N, n) &&
        OSSL_PARAM_BLD_push_BN(build, OSSL_PKEY_PARAM_RSA_E, e) &&
        (params = OSSL_PARAM_BLD_to_param(build)) != nullptr &&
        (ctx = EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr)) != nullptr &&
        EVP_PKEY_fromdata_init(ctx) > 0) {
        if (EVP_PKEY_fromdata(ctx, &key, EVP_PKEY_PUBLIC_KEY, params) <= 0) key = nullptr;
    }
    EVP_PKEY_CTX_free(ctx);
    OSSL_PARAM_free(params);
    OSSL_PARAM_BLD_free(build);
    BN_free(e);
    BN_free(n);
    return key;
}

}  // namespace

namespace zq {

EVP_PKEY* AuthenticatorKey() {
    static std::once_flag once;
    static EVP_PKEY* key = nullptr;
    std::call_once(once, [] { key = BuildKey(); });
    return key;
}

}  // namespace zq

extern "C" {

int ZQ_CALL ZqXmlU_InsertAuthenticators(const char* plain, const char* auth, ZQ_XML_STRUCT_T* sink,
                                        int start) {
    // A memory sink whose text (and its NUL) lies within its buffer, as the buffer records it.
    zq::SinkText held;
    if (!sink || sink->file || !zq::ReadSink(*sink, held) || !held.buffer ||
        held.length >= held.capacity || start < 0 || start > held.length) {
        return -1;
    }
    const char* text = held.buffer;
    const auto length = static_cast<size_t>(held.length);
    const int64_t end = EndOfFirstStartTag(text, length, static_cast<size_t>(start));
    if (end < 0) return -1;
    const int head = static_cast<int>(end);
    const int tail = static_cast<int>(length) - head - 1;

    ZQ_XML_STRUCT_T fresh{};
    fresh.tag = zq::kTagSink;
    bool built = ZqXmlU_xml_sprintf(&fresh, "%.*s", head, text) >= 0;
    int added = 0;
    if (plain) {
        const int n = ZqXmlU_xml_sprintf(&fresh, " zqncs:plain_authenticator='%s'", plain);
        built = built && n >= 0;
        added += n;
    }
    if (auth) {
        const int n = ZqXmlU_xml_sprintf(&fresh, " zqncs:authenticator='%s'", auth);
        built = built && n >= 0;
        added += n;
    }
    built = built && ZqXmlU_xml_sprintf(&fresh, ">%.*s", tail, text + head + 1) >= 0;
    if (!built) {
        // No heap for the new text: the document stays as it was.
        ZqXmlU_xml_free(fresh.buffer);
        return -1;
    }

    sink->length = 0;
    if (ZqXmlU_xml_sprintf(sink, "%s", fresh.buffer) < 0) {
        // No heap to grow the caller's buffer: the sink takes the new text's buffer instead.
        ZqXmlU_xml_free(sink->buffer);
        sink->buffer = fresh.buffer;
        sink->length = fresh.length;
        sink->capacity = fresh.capacity;
        return added;
    }
    ZqXmlU_xml_free(fresh.buffer);
    return added;
}

int ZQ_CALL ZqXmlU_DeencryptAuthenticator(const unsigned char* data, int length,
                                          unsigned char* out) {
    if (!data || !out || length <= 0 || length > kKeyBytes) return 0;
    EVP_PKEY* key = zq::AuthenticatorKey();
    if (!key || EVP_PKEY_get_size(key) > kKeyBytes) return 0;

    // OpenSSL's error queue belongs to the calling thread (and perhaps to the host): the errors of
    // a failed recovery are dropped, nothing older.
    ERR_set_mark();
    unsigned char recovered[kKeyBytes];
    size_t size = sizeof recovered;
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr);
    const bool done =
        ctx && EVP_PKEY_verify_recover_init(ctx) > 0 &&
        EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING) > 0 &&
        EVP_PKEY_verify_recover(ctx, recovered, &size, data, static_cast<size_t>(length)) > 0;
    EVP_PKEY_CTX_free(ctx);
    ERR_pop_to_mark();
    if (!done || size == 0 || size > sizeof recovered) return 0;
    std::memcpy(out, recovered, size);
    return 1;
}

}  // extern "C"

void ZQ_CALL ZqXmlU_FreeSSL(void) {
    // Releases the calling thread's OpenSSL state (its error queue among it). The process-wide
    // state stays: OpenSSL frees it at exit, and releasing it here would break every later call.
    OPENSSL_thread_stop();
}
