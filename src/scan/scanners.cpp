// The four scanners: searches over NUL-terminated 8-bit text that know about quoted runs and
// comments. None allocates, writes or keeps state, and none reads past the terminating NUL: every
// skip over a quoted run or a comment is a strchr / strstr that stops there.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "zqxmlu.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// First occurrence of target (n >= 2 characters) at or after s, or NULL at the NUL.
const char* FindPair(const char* s, const char* target, size_t n) {
    const char t0 = target[0];
    const char t1 = target[1];
    for (;;) {
        const size_t len = strnlen(s, kPiece);
        // s[len] is readable: the NUL, or the first byte of the next piece. A candidate at i
        // needs s[i + 1], so candidates run up to len - 1 with the pair read across the edge.
        size_t i = 0;
#if defined(__SSE2__)
        const __m128i first = _mm_set1_epi8(t0);
        const __m128i second = _mm_set1_epi8(t1);
        for (; i + 16 <= len; i += 16) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 1));
            unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(
                _mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, second))));
            while (mask) {
                const unsigned bit = static_cast<unsigned>(__builtin_ctz(mask));
                const char* at = s + i + bit;
                if (n == 2 || std::strncmp(at + 2, target + 2, n - 2) == 0) return at;
                mask &= mask - 1;
            }
        }
#endif
        for (; i < len; ++i) {
            if (s[i] == t0 && s[i + 1] == t1 &&
                (n == 2 || std::strncmp(s + i + 2, target + 2, n - 2) == 0)) {
                return s + i;
            }
        }
        if (len < kPiece) return nullptr;
        s += len;
    }
}

// First occurrence of target (n >= 1 characters) at or after s, or NULL.
inline const char* FindPlain(const char* s, const char* target, size_t n) {
    if (n == 1) return std::strchr(s, target[0]);
    return FindPair(s, target, n);
}

}  // namespace

extern "C" {

ZqLong ZQ_CALL ZqXmlU_FindXmlEnd(char* text) {
    if (!text || text[0] != '<') return -1;
    constexpr uint8_t kStop = kNul | kQuote | kLess | kGreater;
    long long depth = 0;
    const char* s = text;
    for (;;) {
        while (!(ClassOf(*s) & kStop))
            ++s;
        const char c = *s;
        if (c == '\0') return -1;
        if (c == '<') {
            if (s[1] == '/') {
                --depth;
            } else if (IsComment(s)) {
                const char* end = std::strstr(s + 4, "-->");
                if (!end) return -1;
                s = end + 3;
                continue;
            } else {
                ++depth;
            }
        } else if (c == '>') {
            if (s[-1] == '/') {  // s > text: text[0] is "<"
                if (depth-- == 1) return ToPos(text, s);
            } else if (depth == 0) {
                return ToPos(text, s);
            }
        } else {  // a quoted run, in a tag or in content
            const char* close = std::strchr(s + 1, c);
            if (!close) return -1;
            s = close + 1;
            continue;
        }
        ++s;
    }
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
