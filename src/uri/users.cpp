// Users in terms of the URI scheme: whose vocabulary a URI is, which entry of a list of user bases
// owns it, the user name of an entry, filling the list from a text of further user names, and
// the combined namespace prefix of two names and a number.
#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "frame/alloc.h"
#include "lists/sound.h"
#include "uri/namespace.h"
#include "zqxmlu.h"

namespace {

using zq::kSegmentBuffer;

// The longest user name that a value-list text may pass on; a longer one ends the text.
constexpr size_t kMaxListedName = 64;
// Value fields of this length or more are dropped.
constexpr size_t kValueFieldLimit = 256;
// Combined prefixes that would exceed 64 characters cut each name to this length.
constexpr size_t kPrefixFit = 64;
constexpr size_t kPrefixCut = 28;

const char* KeyAt(const ZQ_KWLIST_STRUCT_T* bases, int i) {
    return reinterpret_cast<const char*>(bases->keys[i]);
}

// Attaches the text of a value field, its first and last characters (the parentheses) taken
// off, to entry `at`. A lone "(" attaches an empty text. A slot outside the list's entries (a
// repeated name does not add an entry) gets nothing.
void AttachValue(ZQ_KWLIST_STRUCT_T* bases, int at, const char* field, size_t n) {
    if (at < 0 || at >= bases->count) return;
    const size_t inner = n >= 2 ? n - 2 : 0;
    auto* copy = static_cast<char*>(zq::AllocBlock(inner + 1, 1, zq::kTagUserValue));
    std::memcpy(copy, field + 1, inner);
    bases->values[at] = reinterpret_cast<uintptr_t>(copy);
}

// Bounded appends into dst (size bytes, one kept for the NUL).
class Writer {
  public:
    Writer(char* dst, size_t size) : dst_(dst), size_(size) {}
    void Add(const char* text, size_t n) {
        n = std::min(n, size_ - 1 - used_);
        std::memcpy(dst_ + used_, text, n);
        used_ += n;
    }
    void End() { dst_[used_] = '\0'; }

  private:
    char* dst_;
    size_t size_;
    size_t used_ = 0;
};

}  // namespace

extern "C" {

void ZQ_CALL ZqXmlU_GetUserName(char* uri, char* user) {
    if (!user) return;
    int underscore = 0;
    int minor = 0;
    if (ZqXmlU_GetURIInfo(uri, underscore, minor, nullptr, nullptr, nullptr, nullptr) == 0) {
        std::memcpy(user, "zq", 3);
        return;
    }
    // The segment between the last two slashes of the URI.
    const ptrdiff_t last = static_cast<ptrdiff_t>(std::strlen(uri)) - 1;
    const ptrdiff_t s1 = zq::LastSlash(uri, last);
    const ptrdiff_t s2 = s1 < 0 ? -1 : zq::LastSlash(uri, s1 - 1);
    const ptrdiff_t n = s1 - s2 - 1;
    if (s2 >= 0 && n < static_cast<ptrdiff_t>(kSegmentBuffer)) {
        zq::CopySegment(user, uri + s2 + 1, static_cast<size_t>(n));
    } else {
        user[0] = '\0';
    }
}

}  // extern "C"

int ZQ_CALL ZqXmlU_IsUserOwned(char* uri, ZQ_KWLIST_STRUCT_T* bases) {
    // A list that is NULL or unsound counts as empty.
    const int count = zq::SoundList(bases) ? bases->count : 0;
    if (!uri) return count;
    // Bases share long beginnings, so whole-word compares of known lengths beat a byte loop.
    const size_t length = std::strlen(uri);
    for (int i = 0; i < count; ++i) {
        const char* key = KeyAt(bases, i);
        if (!key) continue;
        const size_t n = std::strlen(key);
        if (n <= length && std::memcmp(uri, key, n) == 0) return i;
    }
    return zq::InNamespace(uri) ? -1 : count;
}

void ZQ_CALL ZqXmlU_GetUsernameI(ZQ_KWLIST_STRUCT_T* bases, int index, char* dst, int dstSize) {
    if (!dst || dstSize <= 0) return;
    dst[0] = '\0';
    if (!zq::SoundList(bases) || index < 0 || index >= bases->count) return;
    const char* key = KeyAt(bases, index);
    if (!key) return;
    // The base ends with the user name and a '/'; the slash before the name is searched from
    // the second-last character down.
    const auto n = static_cast<ptrdiff_t>(std::strlen(key));
    const ptrdiff_t slash = zq::LastSlash(key, n - 2);
    if (slash < 0) return;
    const auto tail = static_cast<size_t>(n - slash - 1);  // the name and the final '/'
    if (tail >= kSegmentBuffer) return;
    zq::CopySegment(dst, key + slash + 1, std::min(tail - 1, static_cast<size_t>(dstSize) - 1));
}

int ZQ_CALL ZqXmlU_GetMatchingUri(ZQ_KWLIST_STRUCT_T* bases, char* user) {
    if (!zq::SoundList(bases) || !user) return -1;
    char name[kSegmentBuffer];
    for (int i = 0; i < bases->count; ++i) {
        ZqXmlU_GetUsernameI(bases, i, name, sizeof name);
        if (std::strcmp(name, user) == 0) return i;
    }
    return -1;
}

// Fields separated by ',' alternate between a user name and, when it begins with '(', a value
// for the name before it: "alice,(Alice's tags),bob". An empty name drops the value field that
// follows; a name of 65 or more characters ends the text.
void ZQ_CALL ZqXmlU_GetAdditionalUsernames(ZQ_KWLIST_STRUCT_T* bases, char* text) {
    if (!zq::SoundList(bases) || !text || text[0] == '\0') return;
    size_t start = 0;
    bool expectValue = false;
    bool skipValue = false;
    int added = 0;
    for (size_t i = 0;; ++i) {
        const char c = text[i];
        if (c != ',' && c != '\0') continue;
        const char* field = text + start;
        const size_t n = i - start;
        if (expectValue && field[0] == '(') {
            if (n < kValueFieldLimit && !skipValue) AttachValue(bases, added - 1, field, n);
            skipValue = false;
        } else if (n == 0) {
            skipValue = true;
        } else if (n <= kMaxListedName) {
            char name[kMaxListedName + 1];
            zq::CopySegment(name, field, n);
            if (ZqXmlU_MakeUriBase(name, bases, 0) != 0) return;
            ++added;
        } else {
            return;
        }
        if (c == '\0') return;
        start = i + 1;
        expectValue = !expectValue;
    }
}

void ZQ_CALL ZqXmlU_MakeCombinedPrefix(char* first, char* second, char* dst, int dstSize,
                                       int number) {
    if (!dst || dstSize <= 0) return;
    static const char kEmpty[] = "";
    const char* a = first ? first : kEmpty;
    const char* b = second ? second : kEmpty;
    char digits[12];
    const size_t digitCount =
        static_cast<size_t>(std::to_chars(digits, digits + sizeof digits, number).ptr - digits);
    // Only whether the whole fits in 64 characters matters, so the names are measured no
    // further than that.
    size_t la = strnlen(a, kPrefixFit + 1);
    size_t lb = strnlen(b, kPrefixFit + 1);
    if (la + lb + digitCount + 1 > kPrefixFit) {
        la = std::min(la, kPrefixCut);
        lb = std::min(lb, kPrefixCut);
    }
    Writer out(dst, static_cast<size_t>(dstSize));
    out.Add(a, la);
    out.Add("_", 1);
    out.Add(b, lb);
    if (number != 0) out.Add(digits, digitCount);
    out.End();
}
