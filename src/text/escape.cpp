// Escaping: plain text to XML character data (entities and decimal references), the byte
// escapers of the L form, and the test whether a text needs escaping.
//
// The string escaper and the test look for the bytes that need work a vector at a time and move
// the runs between them at once.
#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include "frame/alloc.h"
#include "frame/size.h"
#include "platform/utf.h"
#include "text/charclass.h"
#include "zqxmlu.h"

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

// The bytes the string escaper must work on: the five markup characters, the control bytes other
// than TAB, LF and CR, and 0x7F. The vector forms test the markup characters in three comparisons
// ("<" and ">" differ only in bit 1, "&" and the apostrophe only in bit 0) and the blanks in two
// (TAB and CR differ only in bit 2).
size_t PlainRunTail(const unsigned char* p, size_t n) {
    size_t i = 0;
    while (i < n && kPieces[p[i]] == kPlain)
        ++i;
    return i;
}

// Writes the piece of byte b (an entity or a decimal reference) at dst + w when it fits in cap,
// sets its result bit, and returns the new write position.
size_t PutPiece(unsigned char b, char* dst, size_t w, size_t cap, int* bits) {
    const uint8_t k = kPieces[b];
    if (k == kDecimal) {
        *bits |= 1;
        if (!dst || cap - w < 6) return w;
        char* o = dst + w;
        o[0] = '&';
        o[1] = '#';
        o[2] = static_cast<char>('0' + b / 100 % 10);
        o[3] = static_cast<char>('0' + b / 10 % 10);
        o[4] = static_cast<char>('0' + b % 10);
        o[5] = ';';
        return w + 6;
    }
    *bits |= k == kAmp ? 2 : 1;
    const Entity& e = kEntities[k];
    if (!dst || cap - w < e.length + 1) return w;
    std::memcpy(dst + w, e.text, e.length);
    return w + e.length;
}

// The position state of an escape: input read, output written, result bits.
struct EscapeState {
    size_t r = 0;
    size_t w = 0;
    int bits = 0;
};

#if defined(ZQ_TEXT_SSE2)
inline unsigned SpecialMask16(__m128i v) {
    const __m128i markup = _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi8(_mm_and_si128(v, _mm_set1_epi8(static_cast<char>(0xFD))),
                                    _mm_set1_epi8('<')),
                     _mm_cmpeq_epi8(_mm_and_si128(v, _mm_set1_epi8(static_cast<char>(0xFE))),
                                    _mm_set1_epi8('&'))),
        _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('"')),
                     _mm_cmpeq_epi8(v, _mm_set1_epi8(0x7F))));
    const __m128i low = _mm_cmpeq_epi8(_mm_min_epu8(v, _mm_set1_epi8(0x1F)), v);
    const __m128i blank =
        _mm_or_si128(_mm_cmpeq_epi8(_mm_or_si128(v, _mm_set1_epi8(4)), _mm_set1_epi8('\r')),
                     _mm_cmpeq_epi8(v, _mm_set1_epi8('\n')));
    return static_cast<unsigned>(
        _mm_movemask_epi8(_mm_or_si128(markup, _mm_andnot_si128(blank, low))));
}

// Leading bytes of p[0, n) that are copied unchanged.
size_t PlainRun(const unsigned char* p, size_t n) {
    size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        const unsigned m = SpecialMask16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)));
        if (m) return i + static_cast<size_t>(std::countr_zero(m));
    }
    return i + PlainRunTail(p + i, n - i);
}

// Into an output that has room for the worst case: each block is stored whole at the output; the
// bytes past its first special byte are overwritten by what follows, since every input byte yields
// at least one output byte.
void CopyAhead(const unsigned char* in, size_t len, char* dst, EscapeState* s) {
    while (s->r + 16 <= len) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + s->r));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + s->w), v);
        const unsigned m = SpecialMask16(v);
        if (m == 0) {
            s->r += 16;
            s->w += 16;
            continue;
        }
        const auto n = static_cast<size_t>(std::countr_zero(m));
        s->w = PutPiece(in[s->r + n], dst, s->w + n, SIZE_MAX, &s->bits);
        s->r += n + 1;
    }
}
#else
size_t PlainRun(const unsigned char* p, size_t n) {
    return PlainRunTail(p, n);
}
#endif

#if defined(ZQ_TEXT_DISPATCH)
__attribute__((target("avx2"))) inline unsigned SpecialMask32Avx2(__m256i v) {
    const __m256i markup = _mm256_or_si256(
        _mm256_or_si256(
            _mm256_cmpeq_epi8(_mm256_and_si256(v, _mm256_set1_epi8(static_cast<char>(0xFD))),
                              _mm256_set1_epi8('<')),
            _mm256_cmpeq_epi8(_mm256_and_si256(v, _mm256_set1_epi8(static_cast<char>(0xFE))),
                              _mm256_set1_epi8('&'))),
        _mm256_or_si256(_mm256_cmpeq_epi8(v, _mm256_set1_epi8('"')),
                        _mm256_cmpeq_epi8(v, _mm256_set1_epi8(0x7F))));
    const __m256i low = _mm256_cmpeq_epi8(_mm256_min_epu8(v, _mm256_set1_epi8(0x1F)), v);
    const __m256i blank = _mm256_or_si256(
        _mm256_cmpeq_epi8(_mm256_or_si256(v, _mm256_set1_epi8(4)), _mm256_set1_epi8('\r')),
        _mm256_cmpeq_epi8(v, _mm256_set1_epi8('\n')));
    return static_cast<unsigned>(
        _mm256_movemask_epi8(_mm256_or_si256(markup, _mm256_andnot_si256(blank, low))));
}

__attribute__((target("avx2"))) size_t PlainRunAvx2(const unsigned char* p, size_t n) {
    size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        const unsigned m =
            SpecialMask32Avx2(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i)));
        if (m) return i + static_cast<size_t>(std::countr_zero(m));
    }
    return i + PlainRun(p + i, n - i);
}

__attribute__((target("avx2"))) void CopyAheadAvx2(const unsigned char* in, size_t len, char* dst,
                                                   EscapeState* s) {
    while (s->r + 32 <= len) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + s->r));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + s->w), v);
        const unsigned m = SpecialMask32Avx2(v);
        if (m == 0) {
            s->r += 32;
            s->w += 32;
            continue;
        }
        const auto n = static_cast<size_t>(std::countr_zero(m));
        s->w = PutPiece(in[s->r + n], dst, s->w + n, SIZE_MAX, &s->bits);
        s->r += n + 1;
    }
}
#endif

// Escapes in[0, len) into dst (cap bytes; dst NULL: only the result bits). A piece that does not
// fit is dropped and the scan goes on: a byte needs 1 free byte, an entity its length plus 1, a
// decimal reference 6. A NUL ends the output when a byte is free. `fresh`: dst has room for the
// worst case (6 bytes per input byte and the NUL) and is filled a block at a time.
int Escape(const unsigned char* in, size_t len, char* dst, size_t cap,
           [[maybe_unused]] bool fresh) {
    size_t (*plainRun)(const unsigned char*, size_t) = PlainRun;
    EscapeState s;
#if defined(ZQ_TEXT_DISPATCH)
    const bool avx2 = zq::UseVectors(zq::ScanLevel::kAvx2);
    if (avx2) plainRun = PlainRunAvx2;
    if (fresh && avx2) CopyAheadAvx2(in, len, dst, &s);
#endif
#if defined(ZQ_TEXT_SSE2)
    if (fresh) CopyAhead(in, len, dst, &s);
#endif
    for (;;) {
        const size_t run = plainRun(in + s.r, len - s.r);
        if (dst && run) {
            const size_t n = std::min(run, cap - s.w);
            std::memcpy(dst + s.w, in + s.r, n);
            s.w += n;
        }
        s.r += run;
        if (s.r >= len) break;
        s.w = PutPiece(in[s.r++], dst, s.w, cap, &s.bits);
    }
    if (dst && cap - s.w >= 1) dst[s.w] = '\0';
    return s.bits;
}

inline bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

inline bool IsDecimal(char c) {
    return c >= '0' && c <= '9';
}

// Reference digits at p, at least one, then ";".
template <bool (*kDigit)(char)>
bool WellFormedReference(const char* p) {
    const char* digits = p;
    while (kDigit(*p))
        ++p;
    return *p == ';' && p != digits;
}

// What the test finds at a markup character: 2 for "<", ">", the apostrophe and the quotation
// mark; at an "&", 0 when a predefined entity or a well-formed reference starts there, else 1 or 2.
// The bytes of a well-formed entity or reference after its "&" are never markup, so the scan goes
// on after it simply by going on.
int Finding(const char* at, size_t avail) {
    if (*at != '&') return 2;
    const char* p = at + 1;
    if (*p == '\0') return 1;
    if (*p == '#') {
        if (p[1] == 'x') return WellFormedReference<IsHex>(p + 2) ? 0 : 1;
        if (WellFormedReference<IsDecimal>(p + 1)) return 0;
        return p[1] == ';' ? 2 : 1;  // "&#;" is a stray ampersand
    }
    char value;
    return zq::MatchEntity(at, avail, &value) ? 0 : 2;
}

// The test over text[i, len), a byte at a time.
int NeedsTail(const char* text, size_t i, size_t len) {
    for (; i < len; ++i) {
        const uint8_t k = kPieces[static_cast<unsigned char>(text[i])];
        if (k == kPlain || k == kDecimal) continue;
        if (const int f = Finding(text + i, len - i)) return f;
    }
    return 0;
}

// The test, sixty-four bytes at a time: a bit for each markup character of the block, each looked
// at in order.
#define ZQ_NEEDS_BLOCKS(MASK64)                                             \
    size_t i = 0;                                                           \
    for (; i + 64 <= len; i += 64) {                                        \
        for (uint64_t m = MASK64(p + i); m != 0; m &= m - 1) {              \
            const size_t at = i + static_cast<size_t>(std::countr_zero(m)); \
            if (const int f = Finding(text + at, len - at)) return f;       \
        }                                                                   \
    }                                                                       \
    return NeedsTail(text, i, len)

#if defined(ZQ_TEXT_SSE2)
// "<" and ">" differ only in bit 1, "&" and the apostrophe only in bit 0.
inline uint64_t MarkupMask16(const unsigned char* p) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i m = _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi8(_mm_and_si128(v, _mm_set1_epi8(static_cast<char>(0xFD))),
                                    _mm_set1_epi8('<')),
                     _mm_cmpeq_epi8(_mm_and_si128(v, _mm_set1_epi8(static_cast<char>(0xFE))),
                                    _mm_set1_epi8('&'))),
        _mm_cmpeq_epi8(v, _mm_set1_epi8('"')));
    return static_cast<uint16_t>(_mm_movemask_epi8(m));
}

inline uint64_t MarkupMask64(const unsigned char* p) {
    return MarkupMask16(p) | MarkupMask16(p + 16) << 16 | MarkupMask16(p + 32) << 32 |
           MarkupMask16(p + 48) << 48;
}

int NeedsScan(const char* text, size_t len) {
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    ZQ_NEEDS_BLOCKS(MarkupMask64);
}
#else
int NeedsScan(const char* text, size_t len) {
    return NeedsTail(text, 0, len);
}
#endif

#if defined(ZQ_TEXT_DISPATCH)
// The same with 32-byte vectors, where the processor has them.

__attribute__((target("avx2"))) inline uint64_t MarkupMask32Avx2(const unsigned char* p) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i m = _mm256_or_si256(
        _mm256_or_si256(
            _mm256_cmpeq_epi8(_mm256_and_si256(v, _mm256_set1_epi8(static_cast<char>(0xFD))),
                              _mm256_set1_epi8('<')),
            _mm256_cmpeq_epi8(_mm256_and_si256(v, _mm256_set1_epi8(static_cast<char>(0xFE))),
                              _mm256_set1_epi8('&'))),
        _mm256_cmpeq_epi8(v, _mm256_set1_epi8('"')));
    return static_cast<uint32_t>(_mm256_movemask_epi8(m));
}

__attribute__((target("avx2"))) inline uint64_t MarkupMask64Avx2(const unsigned char* p) {
    return MarkupMask32Avx2(p) | MarkupMask32Avx2(p + 32) << 32;
}

__attribute__((target("avx2"))) int NeedsScanAvx2(const char* text, size_t len) {
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    ZQ_NEEDS_BLOCKS(MarkupMask64Avx2);
}

// And with 64-byte vectors, each byte classified by its two halves through two 16-entry tables
// (one copy per 16-byte lane): bit 0 for the characters 0x22, 0x26 and 0x27, bit 1 for 0x3C and
// 0x3E.
template <int k0, int k2, int k3, int k6, int k7, int k12, int k14>
constexpr std::array<uint8_t, 64> NibbleTable() {
    std::array<uint8_t, 64> t{};
    for (size_t lane = 0; lane < 64; lane += 16) {
        t[lane + 0] = k0;
        t[lane + 2] = k2;
        t[lane + 3] = k3;
        t[lane + 6] = k6;
        t[lane + 7] = k7;
        t[lane + 12] = k12;
        t[lane + 14] = k14;
    }
    return t;
}

alignas(64) constexpr std::array<uint8_t, 64> kLowNibbles = NibbleTable<0, 1, 0, 1, 1, 2, 2>();
alignas(64) constexpr std::array<uint8_t, 64> kHighNibbles = NibbleTable<0, 1, 2, 0, 0, 0, 0>();

__attribute__((target("avx512bw"))) inline uint64_t MarkupMask64Avx512(const unsigned char* p) {
    const __m512i nibble = _mm512_set1_epi8(0x0F);
    const __m512i v = _mm512_loadu_si512(p);
    const __m512i low =
        _mm512_shuffle_epi8(_mm512_load_si512(kLowNibbles.data()), _mm512_and_si512(v, nibble));
    const __m512i high = _mm512_shuffle_epi8(_mm512_load_si512(kHighNibbles.data()),
                                             _mm512_and_si512(_mm512_srli_epi16(v, 4), nibble));
    return _mm512_test_epi8_mask(low, high);
}

__attribute__((target("avx512bw"))) int NeedsScanAvx512(const char* text, size_t len) {
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    ZQ_NEEDS_BLOCKS(MarkupMask64Avx512);
}

#endif

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
    int (*scan)(const char*, size_t) = NeedsScan;
#if defined(ZQ_TEXT_DISPATCH)
    if (zq::UseVectors(zq::ScanLevel::kAvx512)) {
        scan = NeedsScanAvx512;
    } else if (zq::UseVectors(zq::ScanLevel::kAvx2)) {
        scan = NeedsScanAvx2;
    }
#endif
    // The text is measured and scanned 4 KiB at a time, so that the scan reads what the
    // measuring has just brought into the cache. A reference that crosses into the next piece is
    // read byte by byte up to its end.
    constexpr size_t kPiece = 4096;
    for (;; text += kPiece) {
        const size_t n = strnlen(text, kPiece);
        if (const int f = scan(text, n)) return f;
        if (n < kPiece) return 0;
    }
}

}  // extern "C"

int ZQ_CALL ZqXmlU_DoEscaping(int /*mode*/, char** out, char* text, int /*spaceFlag*/, ZqULong size,
                              int reportOnly, char* tag) {
    if (!text) text = EmptyText();
    const size_t len = size ? strnlen(text, size) : std::strlen(text);
    char* dst = nullptr;
    size_t cap = 0;
    bool fresh = false;
    if (!reportOnly && out) {
        if (!*out) {
            fresh = true;
            // 8 x length + 2 bytes, the length being what is read: the text up to its NUL, at
            // most `size` bytes. That holds the worst case (6 bytes a byte), and a size beyond
            // the text never asks for more.
            const uint64_t bytes = zq::PayloadBytes(len, 8, 2);
            if (bytes == zq::kTooLarge) zq::HeapExhausted(bytes);
            cap = static_cast<size_t>(bytes);
            dst = static_cast<char*>(zq::AllocBlock(cap, 1, tag));
            *out = dst;
        } else {
            dst = *out;
            cap = size;
        }
    }
    return Escape(reinterpret_cast<const unsigned char*>(text), len, dst, cap, fresh);
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
