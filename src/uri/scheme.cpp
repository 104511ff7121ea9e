// Vocabulary URIs: a user's base, the URI of a vocabulary, decoding a URI back into its parts and
// deciding whether one URI is a later compatible revision of another.
//
//   base  NamespaceBase "/" c0 "/" c1 "/" c2 c3 "/" user "/"       (user "zq": NamespaceBase
//   "/zq/") URI   NamespaceBase "/" c0 "/" c1 "/" c2 c3 "/" user "/" name "_" MM "_" mmm ".zqtv"
//   [variant]
//
// c0..c3 are the first four characters of the user name, '_' where it is shorter. The decoder
// finds the numbers by fixed distances from the last '.', so only two-digit majors and
// three-digit minors decode.
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <utility>

#include "frame/alloc.h"
#include "lists/sound.h"
#include "uri/namespace.h"
#include "zqxmlu.h"

namespace {

using zq::kNamespaceBase;
using zq::kNamespaceBaseLength;

// "/" c0 "/" c1 "/" c2 c3 "/"
constexpr size_t kHeadLength = 8;
constexpr char kOwnUser[] = "zq";
constexpr char kOwnBaseTail[] = "/zq/";
constexpr size_t kOwnBaseTailLength = sizeof(kOwnBaseTail) - 1;

void LetterHead(const char* user, char* head) {
    char c[4];
    size_t i = 0;
    for (; i < 4 && user[i] != '\0'; ++i)
        c[i] = user[i];
    for (; i < 4; ++i)
        c[i] = '_';
    const char h[kHeadLength] = {'/', c[0], '/', c[1], '/', c[2], c[3], '/'};
    std::memcpy(head, h, kHeadLength);
}

// The base of one user, compared with list keys and written without a temporary copy.
class UserBase {
  public:
    explicit UserBase(const char* user)
        : user_(user), userLength_(std::strlen(user)), own_(std::strcmp(user, kOwnUser) == 0) {
        if (!own_) LetterHead(user, head_);
    }

    size_t Length() const {
        return kNamespaceBaseLength + (own_ ? kOwnBaseTailLength : kHeadLength + userLength_ + 1);
    }

    bool Matches(const char* key) const {
        if (std::strlen(key) != Length() || !zq::InNamespace(key)) return false;
        const char* p = key + kNamespaceBaseLength;
        if (own_) return std::memcmp(p, kOwnBaseTail, kOwnBaseTailLength) == 0;
        return std::memcmp(p, head_, kHeadLength) == 0 &&
               std::memcmp(p + kHeadLength, user_, userLength_) == 0 &&
               p[kHeadLength + userLength_] == '/';
    }

    // dst holds Length() + 1 bytes.
    void WriteTo(char* dst) const {
        std::memcpy(dst, kNamespaceBase, kNamespaceBaseLength);
        char* p = dst + kNamespaceBaseLength;
        if (own_) {
            std::memcpy(p, kOwnBaseTail, kOwnBaseTailLength + 1);
            return;
        }
        std::memcpy(p, head_, kHeadLength);
        std::memcpy(p + kHeadLength, user_, userLength_);
        p[kHeadLength + userLength_] = '/';
        p[kHeadLength + userLength_ + 1] = '\0';
    }

  private:
    const char* user_;
    size_t userLength_;
    bool own_;
    char head_[kHeadLength] = {};
};

// How far a URI decodes: not at all, up to the '_' before the minor, or up to both numbers.
enum class Stage { kNone, kUnderscore, kNumbers };

struct Decoded {
    size_t length = 0;  // of the whole URI
    size_t dot = 0;     // the last '.'
    size_t k = 0;       // the '_' before the minor
    int32_t minor = 0;
};

int32_t Low32(int64_t v) {
    return static_cast<int32_t>(static_cast<uint32_t>(v));
}

Stage Decode(char* uri, Decoded& d) {
    if (!zq::InNamespace(uri)) return Stage::kNone;
    d.length = std::strlen(uri);
    if (d.length > INT_MAX) return Stage::kNone;  // positions are reported as int
    // The last '.' at index 1 or above; 4 or 5 characters follow it.
    const size_t found = std::string_view(uri + 1, d.length - 1).rfind('.');
    if (found == std::string_view::npos) return Stage::kNone;
    d.dot = found + 1;
    const size_t after = d.length - d.dot;
    if (after != 5 && after != 6) return Stage::kNone;
    if (d.dot < 7 || uri[d.dot - 4] != '_' || uri[d.dot - 7] != '_') return Stage::kNone;
    d.k = d.dot - 4;
    // The minor's digits must run exactly up to the dot, which ends the scan (the scan stops at
    // the dot at the latest, so it never reads past it).
    int64_t value = 0;
    const ZqULong advance = ZqXmlU_ParseInteger(uri + d.k + 1, &value, 0);
    if (advance + d.k != d.dot) return Stage::kUnderscore;
    d.minor = Low32(value);
    return Stage::kNumbers;
}

}  // namespace

extern "C" {

int ZQ_CALL ZqXmlU_MakeUriBase(char* user, ZQ_KWLIST_STRUCT_T* bases, int moveToFront) {
    if (!user || !zq::SoundList(bases)) return -1;
    const UserBase base(user);
    int at = -1;
    for (int i = 0; i < bases->count; ++i) {
        const auto* key = reinterpret_cast<const char*>(bases->keys[i]);
        if (key && base.Matches(key)) {
            at = i;
            break;
        }
    }
    if (at < 0) {
        auto* copy = static_cast<char*>(zq::AllocBlock(base.Length() + 1, 1, zq::kTagUserBase));
        base.WriteTo(copy);
        at = bases->count;
        // A fresh block is never a key yet, so it is appended without a search. A list that did
        // not take it keeps nothing of this call.
        ZqXmlU_ModifyKwList(bases, reinterpret_cast<uintptr_t>(copy), 0, 5, zq::kTagUserBase);
        if (bases->count != at + 1 || bases->keys[at] != reinterpret_cast<uintptr_t>(copy)) {
            void* unused = copy;
            ZqXmlU_Free(&unused);
            return -1;
        }
    }
    if (at != 0 && moveToFront != 0) {
        std::swap(bases->keys[0], bases->keys[at]);
        std::swap(bases->values[0], bases->values[at]);
    }
    return 0;
}

int ZQ_CALL ZqXmlU_MakeUri(char* user, const char* name, int major, int minor, char* dst,
                           int dstSize, char variant) {
    if (!user || !name || !dst || dstSize <= 0) return 1;
    const size_t userLength = std::strlen(user);
    const size_t nameLength = std::strlen(name);
    // The room a URI may take: the decision rests on this bound, not on the text's length.
    const size_t bound = userLength + kNamespaceBaseLength + 4 + nameLength + 32;
    if (bound >= static_cast<size_t>(dstSize)) return 1;

    char tail[40];  // "_" major "_" minor ".zqtv" variant: at most 11 + 11 + 8 characters
    int tailLength = std::snprintf(tail, sizeof tail, "_%02d_%03d.zqtv", major, minor);
    if (tailLength < 0) return 1;
    if (variant != '\0') tail[tailLength++] = variant;
    const size_t length =
        kNamespaceBaseLength + kHeadLength + userLength + 1 + nameLength + tailLength;
    // Numbers too long for the bound (only very large or negative ones) are refused as well.
    if (length + 1 > bound) return 1;

    char* p = dst;
    std::memcpy(p, kNamespaceBase, kNamespaceBaseLength);
    p += kNamespaceBaseLength;
    LetterHead(user, p);
    p += kHeadLength;
    std::memcpy(p, user, userLength);
    p += userLength;
    *p++ = '/';
    std::memcpy(p, name, nameLength);
    p += nameLength;
    std::memcpy(p, tail, static_cast<size_t>(tailLength));
    p[tailLength] = '\0';
    return 0;
}

int ZQ_CALL ZqXmlU_CompatibleURI(char* older, char* newer) {
    if (!older || !newer) return 0;
    if (std::strcmp(older, newer) == 0) return 1;
    Decoded a, b;
    if (Decode(older, a) != Stage::kNumbers || Decode(newer, b) != Stage::kNumbers) return 0;
    // Same base, user, name and major, then the same last character (variant or 'v').
    if (std::strncmp(older, newer, a.k) != 0) return 0;
    if (older[a.length - 1] != newer[b.length - 1]) return 0;
    return a.minor < b.minor ? 1 : 0;
}

}  // extern "C"

int ZQ_CALL ZqXmlU_GetURIInfo(char* uri, int& underscoreIndex, int& minor, ZqLong* major,
                              char* name, char* user, int* variant) {
    if (!uri) return 0;
    if (name) name[0] = '\0';
    if (user) std::memcpy(user, kOwnUser, sizeof kOwnUser);

    Decoded d;
    const Stage stage = Decode(uri, d);
    if (stage == Stage::kNone) return 0;
    underscoreIndex = static_cast<int>(d.k);
    if (stage != Stage::kNumbers) return 0;
    minor = d.minor;
    const auto k = static_cast<ptrdiff_t>(d.k);

    if (major) {
        // Two characters before the '_' that precedes the minor; that '_' ends the scan.
        int64_t value = 0;
        ZqXmlU_ParseInteger(uri + k - 2, &value, 0);
        *major = static_cast<ZqLong>(Low32(value));
    }
    if (variant) {
        const char c = uri[d.dot + 5];  // the NUL when there is no variant
        *variant = c == 'm' ? 1 : c == 'q' ? 2 : 0;
    }
    if (!name && !user) return 1;

    // The name runs from the '/' before it to the '_' before the major; the user segment lies
    // between that '/' and the one before it. Segments too long for 65 bytes come back empty.
    const ptrdiff_t s1 = zq::LastSlash(uri, k - 1);
    if (s1 < 0) {
        if (user) user[0] = '\0';
        return 1;
    }
    if (name) {
        const ptrdiff_t n = k - s1 - 4;
        if (n >= 0 && n + 2 <= 64) zq::CopySegment(name, uri + s1 + 1, static_cast<size_t>(n));
    }
    if (user) {
        const ptrdiff_t s2 = zq::LastSlash(uri, s1 - 1);
        const ptrdiff_t span = s1 - s2;
        if (s2 >= 0 && span > 1 && span <= 64) {
            zq::CopySegment(user, uri + s2 + 1, static_cast<size_t>(span - 1));
        } else {
            user[0] = '\0';
        }
    }
    return 1;
}
