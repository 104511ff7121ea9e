// The four scanners: searches over NUL-terminated 8-bit text that know about quoted runs and
// comments. None allocates, writes or keeps state, and none reads past the terminating NUL: every
// skip over a quoted run or a comment is a strchr / strstr that stops there.
#include <bit>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/cpu.h"
#include "platform/simd.h"
#include "scan/scanners.h"
#include "zqxmlu.h"

namespace {

// Character classes of the scanners' byte loops.
enum : uint8_t {
    kNul = 1,    // the terminator
    kQuote = 2,  // apostrophe or double quote
    kLess = 4,   // "<"
    kGreater = 8,
    kSpace = 16,  // space, tab, carriage return, line feed
};

struct ClassTable {
    uint8_t c[256] = {};
    constexpr ClassTable() {
        c[0] = kNul;
        c[static_cast<unsigned char>('\'')] = kQuote;
        c[static_cast<unsigned char>('"')] = kQuote;
        c[static_cast<unsigned char>('<')] = kLess;
        c[static_cast<unsigned char>('>')] = kGreater;
        c[static_cast<unsigned char>(' ')] = kSpace;
        c[static_cast<unsigned char>('\t')] = kSpace;
        c[static_cast<unsigned char>('\r')] = kSpace;
        c[static_cast<unsigned char>('\n')] = kSpace;
    }
};

constexpr ClassTable kClass;

inline uint8_t ClassOf(char c) {
    return kClass.c[static_cast<unsigned char>(c)];
}

// Positions are 32-bit; a match beyond that range cannot be reported and counts as not found.
inline ZqLong ToPos(const char* base, const char* at) {
    const ptrdiff_t d = at - base;
    return d <= INT32_MAX ? static_cast<ZqLong>(d) : -1;
}

inline bool IsComment(const char* s) {
    return s[0] == '<' && s[1] == '!' && s[2] == '-' && s[3] == '-';
}

// The text is cut into pieces of at most this many bytes whose length strnlen measures without
// passing the NUL; inside a piece the search may then read whole vectors.
constexpr size_t kPiece = 16384;
constexpr size_t kNone = static_cast<size_t>(-1);

// A search inside one piece: the offset of the first occurrence of target (n >= 2 characters)
// that starts in s[0, len), or kNone. s[0, len] is readable (s[len] is the NUL or the first byte
// of the next piece); a candidate is confirmed with strncmp, which stops at the NUL.
using PieceSearch = size_t (*)(const char* s, size_t len, const char* target, size_t n);

inline bool Confirm(const char* at, const char* target, size_t n) {
    return std::strncmp(at + 1, target + 1, n - 1) == 0;
}

// The search a byte at a time from s[i]: the scalar form, and the end of each vector form. A
// candidate is a position whose character equals the target's first one and whose character
// n - 1 further on (when inside the piece) equals its last one.
size_t ScanFrom(const char* s, size_t len, size_t i, const char* target, size_t n) {
    const char first = target[0];
    const char last = target[n - 1];
    for (; i < len; ++i) {
        if (s[i] == first && (i + n - 1 > len || s[i + n - 1] == last) && Confirm(s + i, target, n))
            return i;
    }
    return kNone;
}

size_t SearchScalar(const char* s, size_t len, const char* target, size_t n) {
    return ScanFrom(s, len, 0, target, n);
}

#define ZQ_TIER_FILE "scan/search_vector.inc"
#include "platform/each_tier.h"

constexpr PieceSearch kSearches[] = {
    SearchScalar,
#if defined(ZQ_SIMD_X86)
    tier_sse2::Search,
    tier_avx2::Search,
    tier_avx512::Search,
#endif
};

}  // namespace

namespace zq {

const char* FindTextOn(cpu::Tier tier, const char* s, const char* target, size_t n) {
    if (n == 1) return std::strchr(s, target[0]);
    const PieceSearch search = cpu::FormOf(kSearches, tier);
    for (;;) {
        const size_t len = strnlen(s, kPiece);
        const size_t at = search(s, len, target, n);
        if (at != kNone) return s + at;
        if (len < kPiece) return nullptr;
        s += len;
    }
}

}  // namespace zq

namespace {

// First occurrence of target (n >= 1 characters) at or after s, or NULL.
inline const char* FindPlain(const char* s, const char* target, size_t n) {
    return zq::FindTextOn(zq::cpu::Active().tier, s, target, n);
}

// What a "<" (not a comment) or ">" at s does to the element end's depth; true when s is the
// element's final ">". s > text for a ">": text[0] is "<".
inline bool EndsAt(const char* s, long long& depth) {
    if (*s == '<') {
        if (s[1] == '/') {
            --depth;
        } else {
            ++depth;
        }
        return false;
    }
    if (s[-1] == '/') return depth-- == 1;  // a self-closing tag ends
    return depth == 0;
}

// The element end a byte at a time from s, with the depth reached there: the scalar form, and
// the end of each vector form.
ZqLong XmlEndFrom(const char* text, const char* s, long long depth) {
    constexpr uint8_t kStop = kNul | kQuote | kLess | kGreater;
    for (;;) {
        while (!(ClassOf(*s) & kStop))
            ++s;
        const char c = *s;
        if (c == '\0') return -1;
        if (ClassOf(c) & kQuote) {  // a quoted run, in a tag or in content
            const char* close = std::strchr(s + 1, c);
            if (!close) return -1;
            s = close + 1;
            continue;
        }
        if (IsComment(s)) {
            const char* end = std::strstr(s + 4, "-->");
            if (!end) return -1;
            s = end + 3;
            continue;
        }
        if (EndsAt(s, depth)) return ToPos(text, s);
        ++s;
    }
}

ZqLong XmlEndScalar(const char* text) {
    return XmlEndFrom(text, text, 0);
}

#define ZQ_TIER_FILE "scan/xmlend_vector.inc"
#include "platform/each_tier.h"

using XmlEndForm = ZqLong (*)(const char* text);

constexpr XmlEndForm kXmlEnds[] = {
    XmlEndScalar,
#if defined(ZQ_SIMD_X86)
    tier_sse2::XmlEnd,
    tier_avx2::XmlEnd,
    tier_avx512::XmlEnd,
#endif
};

}  // namespace

namespace zq {

ZqLong XmlEndOn(cpu::Tier tier, const char* text) {
    return cpu::FormOf(kXmlEnds, tier)(text);
}

}  // namespace zq

extern "C" {

ZqLong ZQ_CALL ZqXmlU_FindXmlEnd(char* text) {
    if (!text || text[0] != '<') return -1;
    return zq::XmlEndOn(zq::cpu::Active().tier, text);
}

}  // extern "C"

ZqLong ZQ_CALL ZqXmlU_FindNextUnquoted(char* text, ZqLong start, char* target, int mode) {
    // A start beyond the NUL cannot be told from a valid one without reading the text before
    // it; callers pass positions inside the text.
    if (!text || !target || start < 0) return -1;
    const char* s = text + start;
    const size_t n = std::strlen(target);
    if (n == 0) return *s ? start : -1;
    if (mode == 2) {
        const char* at = FindPlain(s, target, n);
        return at ? ToPos(text, at) : -1;
    }

    const char t0 = target[0];
    const uint8_t stop = mode == 1 ? (kNul | kQuote | kLess) : (kNul | kQuote);
    for (;;) {
        while (!(ClassOf(*s) & stop) && *s != t0)
            ++s;
        const char c = *s;
        if (c == '\0') return -1;
        if (c == t0 && std::strncmp(s + 1, target + 1, n - 1) == 0) return ToPos(text, s);
        if (mode == 1) {
            if (IsComment(s)) {
                const char* end = std::strstr(s + 4, "-->");
                if (!end) return -1;
                s = end + 3;
                continue;
            }
            if (ClassOf(c) & kQuote) return -1;
        } else if (ClassOf(c) & kQuote) {
            const char* close = std::strchr(s + 1, c);
            if (!close) return -1;
            s = close + 1;
            continue;
        }
        ++s;
    }
}

ZqLong ZQ_CALL ZqXmlU_FindUnquotedWhitespace(char* text, int stopAtGreater) {
    if (!text) return 0;
    const uint8_t stop = kNul | kSpace | kQuote | (stopAtGreater ? kGreater : 0);
    const char* s = text;
    for (;;) {
        while (!(ClassOf(*s) & stop))
            ++s;
        const char c = *s;
        if (!(ClassOf(c) & kQuote)) return ToPos(text, s);
        const char* close = std::strchr(s + 1, c);
        if (!close) return ToPos(text, s + 1 + std::strlen(s + 1));
        s = close + 1;
    }
}

int ZQ_CALL ZqXmlU_FindSubstring(char* text, char* target) {
    // An empty target never matches: its first character, the NUL, equals no character of the
    // text.
    if (!text || !target || target[0] == '\0') return -1;
    const char* at = FindPlain(text, target, std::strlen(target));
    return at ? ToPos(text, at) : -1;
}
