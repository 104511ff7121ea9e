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
#include "platform/cpu.h"
#include "platform/simd.h"
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

int NeedsScalar(const char* text, size_t len) {
    return NeedsTail(text, 0, len);
}

#define ZQ_TIER_FILE "text/escape_vector.inc"
#include "platform/each_tier.h"

// The forms of each tier: the plain-run scanner, the block copier into a new output (none
// without vectors) and the needs-escaping scan.
struct EscapeForms {
    size_t (*plainRun)(const unsigned char*, size_t);
    void (*copyAhead)(const unsigned char*, size_t, char*, EscapeState*);
    int (*needs)(const char*, size_t);
};

constexpr EscapeForms kForms[] = {
    {PlainRunTail, nullptr, NeedsScalar},
#if defined(ZQ_SIMD_X86)
    {tier_sse2::PlainRun, tier_sse2::CopyAhead, tier_sse2::NeedsScan},
    {tier_avx2::PlainRun, tier_avx2::CopyAhead, tier_avx2::NeedsScan},
    {tier_avx512::PlainRun, tier_avx512::CopyAhead, tier_avx512::NeedsScan},
#endif
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

namespace zq {

int EscapeOn(cpu::Tier tier, const unsigned char* in, size_t len, char* dst, size_t cap,
             bool fresh) {
    const EscapeForms& forms = cpu::FormOf(kForms, tier);
    EscapeState s;
    if (fresh && forms.copyAhead) forms.copyAhead(in, len, dst, &s);
    for (;;) {
        const size_t run = forms.plainRun(in + s.r, len - s.r);
        if (dst && run) {
            // memmove: a caller's output may overlap the text.
            const size_t n = std::min(run, cap - s.w);
            std::memmove(dst + s.w, in + s.r, n);
            s.w += n;
        }
        s.r += run;
        if (s.r >= len) break;
        s.w = PutPiece(in[s.r++], dst, s.w, cap, &s.bits);
    }
    if (dst && cap - s.w >= 1) dst[s.w] = '\0';
    return s.bits;
}

int NeedsEscapingOn(cpu::Tier tier, const char* text) {
    const auto needs = cpu::FormOf(kForms, tier).needs;
    // The text is measured and scanned 4 KiB at a time, so that the scan reads what the
    // measuring has just brought into the cache. A reference that crosses into the next piece is
    // read byte by byte up to its end.
    constexpr size_t kPiece = 4096;
    for (;; text += kPiece) {
        const size_t n = strnlen(text, kPiece);
        if (const int f = needs(text, n)) return f;
        if (n < kPiece) return 0;
    }
}

}  // namespace zq

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
    return text ? zq::NeedsEscapingOn(zq::cpu::Active().tier, text) : 0;
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
    return zq::EscapeOn(zq::cpu::Active().tier, reinterpret_cast<const unsigned char*>(text), len,
                        dst, cap, fresh);
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
