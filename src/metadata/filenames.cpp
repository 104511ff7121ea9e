// Sidecar and shrunk-copy names beside an image file. Paths are Windows paths ("\" separates
// folders); the A form works on bytes exactly as the W forms work on UTF-16 units.
//
// A path splits into folder (up to and including its last "\"), file name (after it) and
// extension: the characters after the first "." met looking at the positions L - 2 down to
// L - 10, so an extension has 1 to 9 characters and the last character is never the dot. A file
// name without such an extension, or whose nearest such "." lies in the folder, has no sidecar or
// shrunk name: the result is NULL.
#include <cstddef>
#include <cstring>

#include "frame/alloc.h"
#include "platform/file.h"
#include "platform/utf.h"
#include "zqxmlu.h"

namespace {

// Tag of the names handed to the caller.
constexpr char kTagFileName[] = "zqFN";

// The working buffer: a local one for paths of up to 249 units (L + 11 <= 260), the heap beyond.
constexpr size_t kLocalUnits = 260;
// Room beyond the path: "\s_" adds 2 units, "_" and a counter of at most 7 digits 8 more, and the
// NUL 1.
constexpr size_t kSlack = 11;
constexpr unsigned kMaxCounter = 9999999;

inline size_t Length(const char* s) {
    return std::strlen(s);
}
inline size_t Length(const ZqWChar* s) {
    return zq::WStrLen(s);
}

template <typename Ch>
struct Split {
    size_t length;  // L
    size_t slash;   // index of the last "\"
    size_t dot;     // index of the extension's "."
};

// Index of the last "\" at or after `from`, or npos.
template <typename Ch>
size_t LastSlash(const Ch* p, size_t length, size_t from) {
    for (size_t i = length; i > from; --i) {
        if (p[i - 1] == Ch('\\')) return i - 1;
    }
    return static_cast<size_t>(-1);
}

// Index of the extension's "." (looking at L - 2 down to L - 10, never before index 0), or npos.
template <typename Ch>
size_t ExtensionDot(const Ch* p, size_t length) {
    if (length < 2) return static_cast<size_t>(-1);
    const size_t lowest = length > 10 ? length - 10 : 0;
    for (size_t i = length - 1; i > lowest; --i) {
        if (p[i - 1] == Ch('.')) return i - 1;
    }
    return static_cast<size_t>(-1);
}

// Splits `p` with its last "\" at `minSlash` or later and an extension inside the file name.
template <typename Ch>
bool SplitPath(const Ch* p, size_t minSlash, Split<Ch>& s) {
    s.length = Length(p);
    s.slash = LastSlash(p, s.length, minSlash);
    if (s.slash == static_cast<size_t>(-1)) return false;
    s.dot = ExtensionDot(p, s.length);
    return s.dot != static_cast<size_t>(-1) && s.dot > s.slash;
}

template <typename Ch>
Ch* Put(Ch* dst, const Ch* src, size_t n) {
    std::memcpy(dst, src, n * sizeof(Ch));
    return dst + n;
}

template <typename Ch>
Ch* PutAscii(Ch* dst, const char* text) {
    while (*text)
        *dst++ = static_cast<Ch>(*text++);
    return dst;
}

template <typename Ch>
Ch* PutDecimal(Ch* dst, unsigned n) {
    char digits[12];
    int k = 0;
    do {
        digits[k++] = static_cast<char>('0' + n % 10);
        n /= 10;
    } while (n != 0);
    while (k > 0)
        *dst++ = static_cast<Ch>(digits[--k]);
    return dst;
}

// A tagged copy of the `n` units at `text`, NUL-terminated.
template <typename Ch>
Ch* TaggedCopy(const Ch* text, size_t n) {
    auto* out = static_cast<Ch*>(zq::AllocBlock(n + 1, sizeof(Ch), kTagFileName));
    std::memcpy(out, text, n * sizeof(Ch));
    return out;
}

// folder + "." + base name + ".zq" + extension.
template <typename Ch>
Ch* SidecarName(const Ch* path) {
    Split<Ch> s;
    if (!path || !SplitPath(path, 1, s)) return nullptr;
    zq::Scratch<Ch, kLocalUnits> work(s.length + kSlack, true);
    Ch* w = Put(work.get(), path, s.slash + 1);
    *w++ = Ch('.');
    w = Put(w, path + s.slash + 1, s.dot - s.slash - 1);
    w = PutAscii(w, ".zq");
    w = Put(w, path + s.dot + 1, s.length - s.dot - 1);
    return TaggedCopy(work.get(), static_cast<size_t>(w - work.get()));
}

}  // namespace

void ZQ_CALL ZqXmlU_GetSidecarNameW(ZqWChar* path, ZqWChar*& out) {
    out = SidecarName<ZqWChar>(path);
}

void ZQ_CALL ZqXmlU_GetSidecarNameA(char* path, char*& out) {
    out = SidecarName<char>(path);
}

void ZQ_CALL ZqXmlU_GetShrunkNameW(ZqWChar* path, ZqWChar*& out) {
    out = nullptr;
    Split<ZqWChar> s;
    if (!path || !SplitPath(path, 0, s)) return;
    // folder + "s_" + base name, then "_" + counter from 1 on, then "." + extension: the first
    // candidate that cannot be opened for reading is the name. Nothing is created or reserved.
    zq::Scratch<ZqWChar, kLocalUnits> work(s.length + kSlack, true);
    ZqWChar* w = Put(work.get(), path, s.slash + 1);
    w = PutAscii(w, "s_");
    ZqWChar* const counterAt = Put(w, path + s.slash + 1, s.dot - s.slash - 1);
    for (unsigned n = 0; n <= kMaxCounter; ++n) {
        w = counterAt;
        if (n > 0) {
            *w++ = u'_';
            w = PutDecimal(w, n);
        }
        w = Put(w, path + s.dot, s.length - s.dot);
        *w = 0;
        if (!zq::CanOpenForReading(work.get())) {
            out = TaggedCopy(work.get(), static_cast<size_t>(w - work.get()));
            return;
        }
    }
}
