// Escaping: plain text to XML character data (entities and decimal references), the byte
// escapers of the L form, and the test whether a text needs escaping.
//
// The string escaper and the test look for the bytes that need work sixteen at a time and move
// the runs between them at once.
#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include "platform/utf.h"
#include "text/charclass.h"
#include "zqxmlu.h"

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define ZQ_TEXT_SSE2 1
#endif

namespace {

// What a byte becomes in the string escaper.
enum Piece : uint8_t { kPlain, kAmp, kLt, kGt, kApos, kQuot, kDecimal };

constexpr std::array<uint8_t, 256> kPieces = [] {
    std::array<uint8_t, 256> t{};
    for (int b = 0; b < 0x20; ++b)
        t[b] = kDecimal;
    t['\t'] = t['\n'] = t['\r'] = kPlain;
    t[0x7F] = kDecimal;
    t['&'] = kAmp;
    t['<'] = kLt;
    t['>'] = kGt;
    t['\''] = kApos;
    t['"'] = kQuot;
    return t;
}();

struct Entity {
    const char* text;
    size_t length;
};

constexpr Entity kEntities[] = {
    {"", 0}, {"&amp;", 5}, {"&lt;", 4}, {"&gt;", 4}, {"&apos;", 6}, {"&quot;", 6},
};

char* EmptyText() {
    static char empty[1] = {'\0'};
    return empty;
}

ZqWChar* EmptyWide() {
    static ZqWChar empty[1] = {0};
    return empty;
}

// Leading bytes of p[0, n) that pass unchanged: everything but the five markup characters and,
// with kControls, the control bytes other than TAB, LF and CR, and 0x7F.
template <bool kControls>
size_t PlainRun(const unsigned char* p, size_t n) {
    size_t i = 0;
#if defined(ZQ_TEXT_SSE2)
    const __m128i amp = _mm_set1_epi8('&');
    const __m128i lt = _mm_set1_epi8('<');
    const __m128i gt = _mm_set1_epi8('>');
    const __m128i apos = _mm_set1_epi8('\'');
    const __m128i quot = _mm_set1_epi8('"');
    const __m128i ctl = _mm_set1_epi8(0x1F);
    const __m128i tab = _mm_set1_epi8('\t');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i del = _mm_set1_epi8(0x7F);
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        __m128i m = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, amp), _mm_cmpeq_epi8(v, lt)),
                                 _mm_or_si128(_mm_cmpeq_epi8(v, gt), _mm_cmpeq_epi8(v, apos)));
        m = _mm_or_si128(m, _mm_cmpeq_epi8(v, quot));
        if constexpr (kControls) {
            const __m128i low = _mm_cmpeq_epi8(_mm_min_epu8(v, ctl), v);
            const __m128i blank = _mm_or_si128(
                _mm_or_si128(_mm_cmpeq_epi8(v, tab), _mm_cmpeq_epi8(v, lf)), _mm_cmpeq_epi8(v, cr));
            m = _mm_or_si128(m, _mm_or_si128(_mm_andnot_si128(blank, low), _mm_cmpeq_epi8(v, del)));
        }
        const auto mask = static_cast<unsigned>(_mm_movemask_epi8(m));
        if (mask) return i + static_cast<size_t>(std::countr_zero(mask));
    }
#endif
    for (; i < n; ++i) {
        const uint8_t k = kPieces[p[i]];
        if (k != kPlain && (kControls || k != kDecimal)) break;
    }
    return i;
}

// Escapes in[0, len) into dst (cap bytes; dst NULL: only the result bits). A piece that does not
// fit is dropped and the scan goes on: a byte needs 1 free byte, an entity its length plus 1, a
// decimal reference 6. A NUL ends the output when a byte is free.
int Escape(const unsigned char* in, size_t len, char* dst, size_t cap) {
    int bits = 0;
    size_t r = 0;
    size_t w = 0;
    for (;;) {
        const size_t run = PlainRun<true>(in + r, len - r);
        if (dst && run) {
            const size_t n = std::min(run, cap - w);
            std::memcpy(dst + w, in + r, n);
            w += n;
        }
        r += run;
        if (r >= len) break;
        const unsigned char b = in[r++];
        const uint8_t k = kPieces[b];
        if (k == kDecimal) {
            bits |= 1;
            if (dst && cap - w >= 6) {
                char* o = dst + w;
                o[0] = '&';
                o[1] = '#';
                o[2] = static_cast<char>('0' + b / 100 % 10);
                o[3] = static_cast<char>('0' + b / 10 % 10);
                o[4] = static_cast<char>('0' + b % 10);
                o[5] = ';';
                w += 6;
            }
        } else {
            bits |= k == kAmp ? 2 : 1;
            const Entity& e = kEntities[k];
            if (dst && cap - w >= e.length + 1) {
                std::memcpy(dst + w, e.text, e.length);
                w += e.length;
            }
        }
    }
    if (dst && cap - w >= 1) dst[w] = '\0';
    return bits;
}

inline bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

inline bool IsDecimal(char c) {
    return c >= '0' && c <= '9';
}

// Reference digits at p, at least one, then ";". Returns the position after the ";", or NULL when
// the reference is not well formed.
template <bool (*kDigit)(char)>
const char* Reference(const char* p) {
    const char* digits = p;
    while (kDigit(*p))
        ++p;
    return *p == ';' && p != digits ? p + 1 : nullptr;
}

constexpr Entity kNamed[] = {
    {"amp;", 4}, {"lt;", 3}, {"gt;", 3}, {"quot;", 5}, {"apos;", 5},
};

// Where escaping a wide text goes through UTF-8: the text and its terminator into a temporary of
// 4 x units + 1 bytes, local while that stays below kLocal.
template <size_t kLocal>
struct Utf8Copy {
    explicit Utf8Copy(const ZqWChar* text)
        : bytes(4 * static_cast<uint64_t>(zq::WStrLen(text)) + 1), buf(bytes, bytes < kLocal) {
        const int cap = static_cast<int>(std::min<uint64_t>(bytes, INT32_MAX));
        if (zq::Utf16ToUtf8(text, -1, buf.get(), cap) == 0) buf.get()[0] = '\0';
    }
    char* get() const { return buf.get(); }

    uint64_t bytes;
    zq::Scratch<char, kLocal> buf;
};

}  // namespace

extern "C" {

void ZQ_CALL ZqXmlU_EscapeXmlCharA(unsigned char byte, int room, char** cursor) {
    if (!cursor || !*cursor) return;
    char* p = *cursor;
    const uint8_t k = kPieces[byte];
    if (k != kPlain && k != kDecimal) {
        const Entity& e = kEntities[k];
        if (room < static_cast<int>(e.length) + 1) return;
        std::memcpy(p, e.text, e.length + 1);
        *cursor = p + e.length;
    } else if (byte < 0x20 || byte == 0x7F) {
        // "&#x%02x;": two lower-case hexadecimal digits; TAB, LF and CR included.
        if (room < 7) return;
        static constexpr char kHex[] = "0123456789abcdef";
        std::memcpy(p, "&#x", 3);
        p[3] = kHex[byte >> 4];
        p[4] = kHex[byte & 15];
        p[5] = ';';
        p[6] = '\0';
        *cursor = p + 6;
    } else {
        if (room < 2) return;
        *p = static_cast<char>(byte);
        *cursor = p + 1;
    }
}

void ZQ_CALL ZqXmlU_EscapeXmlCharL(ZqWChar unit, int room, char** cursor) {
    if (!cursor || !*cursor) return;
    const char* start = *cursor;
    ZqXmlU_EscapeXmlCharA(static_cast<unsigned char>(unit & 0xFF), room, cursor);
    ZqXmlU_EscapeXmlCharA(static_cast<unsigned char>(unit >> 8),
                          room - static_cast<int>(*cursor - start), cursor);
}

int ZQ_CALL ZqXmlU_NeedsEscapingA(char* text) {
    if (!text) return 0;
    const size_t len = std::strlen(text);
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    size_t r = 0;
    for (;;) {
        r += PlainRun<false>(bytes + r, len - r);
        if (r >= len) return 0;
        if (text[r] != '&') return 2;
        const char* p = text + r + 1;
        if (*p == '\0') return 1;
        if (*p == '#') {
            const char* next = p[1] == 'x' ? Reference<IsHex>(p + 2) : Reference<IsDecimal>(p + 1);
            if (!next) return p[1] == ';' ? 2 : 1;  // "&#;" is a stray ampersand
            r = static_cast<size_t>(next - text);
            continue;
        }
        const Entity* named =
            std::find_if(std::begin(kNamed), std::end(kNamed),
                         [p](const Entity& e) { return std::strncmp(p, e.text, e.length) == 0; });
        if (named == std::end(kNamed)) return 2;
        r = static_cast<size_t>(p + named->length - text);
    }
}

}  // extern "C"

int ZQ_CALL ZqXmlU_DoEscaping(int /*mode*/, char** out, char* text, int /*spaceFlag*/, ZqULong size,
                              int reportOnly, char* tag) {
    if (!text) text = EmptyText();
    const size_t len = size ? strnlen(text, size) : std::strlen(text);
    char* dst = nullptr;
    size_t cap = 0;
    if (!reportOnly && out) {
        if (!*out) {
            const uint64_t length = size ? size : len;
            cap = static_cast<size_t>(8 * length + 2);
            dst = static_cast<char*>(zq::AllocBlock(8 * length + 2, 1, tag));
            *out = dst;
        } else {
            dst = *out;
            cap = size;
        }
    }
    return Escape(reinterpret_cast<const unsigned char*>(text), len, dst, cap);
}

void ZQ_CALL ZqXmlU_EscapeXMLStringA(char** out, char* text, int spaceFlag, ZqULong size,
                                     char* tag) {
    ZqXmlU_DoEscaping(0, out, text, spaceFlag, size, 0, tag);
}

void ZQ_CALL ZqXmlU_EscapeXMLStringEA(char** out, char* text, int spaceFlag, ZqULong size,
                                      char* tag) {
    ZqXmlU_DoEscaping(1, out, text, spaceFlag, size, 0, tag);
}

void ZQ_CALL ZqXmlU_EscapeXMLStringW(char** out, ZqWChar* text, int spaceFlag, ZqULong size,
                                     char* tag) {
    const Utf8Copy<1040> utf8(text ? text : EmptyWide());
    ZqXmlU_EscapeXMLStringA(out, utf8.get(), spaceFlag, size, tag);
}

void ZQ_CALL ZqXmlU_EscapeXmlStringLW(char* out, int room, ZqWChar* text, char* /*unused*/) {
    if (!out) return;
    if (!text) text = EmptyWide();
    char* cursor = out;
    for (size_t i = 0;; ++i) {
        ZqXmlU_EscapeXmlCharL(text[i], room - static_cast<int>(cursor - out), &cursor);
        if (text[i] == 0) break;  // the terminator unit is escaped too
    }
    if (room >= 1) *cursor = '\0';
}

void ZQ_CALL ZqXmlU_EscapeXmlStringLA(char* out, int room, char* text, char* /*unused*/) {
    if (!out) return;
    if (!text) text = EmptyText();
    const uint64_t units = static_cast<uint64_t>(std::strlen(text)) + 1;
    zq::Scratch<ZqWChar, 256> wide(units, units <= 256);
    const int cap = static_cast<int>(std::min<uint64_t>(units, INT32_MAX));
    if (zq::Utf8ToUtf16(text, -1, wide.get(), cap) == 0) wide.get()[0] = 0;
    char* cursor = out;
    for (const ZqWChar* u = wide.get(); *u; ++u)
        ZqXmlU_EscapeXmlCharL(*u, room - static_cast<int>(cursor - out), &cursor);
    if (room >= 1) *cursor = '\0';
}

int ZQ_CALL ZqXmlU_NeedsEscapingW(ZqWChar* text) {
    const Utf8Copy<1024> utf8(text ? text : EmptyWide());
    return ZqXmlU_NeedsEscapingA(utf8.get());
}
