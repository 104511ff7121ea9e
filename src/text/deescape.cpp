// De-escaping: the five predefined entities and numeric character references back to the bytes
// they stand for, as 8-bit text, as UTF-16, and from the L form (escaped UTF-16LE bytes).
//
// Decoding never makes a text longer (each output byte consumes at least one input byte), so the
// output may be the input buffer itself. Runs of bytes without "&" are moved at once.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#include "platform/cpu.h"
#include "platform/simd.h"
#include "platform/utf.h"
#include "text/charclass.h"
#include "zqxmlu.h"

namespace {

constexpr size_t kMarkBytes = 4;  // "..." and its NUL

char* EmptyText() {
    static char empty[1] = {'\0'};
    return empty;
}

inline int HexDigit(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Both readers take the position of the first digit and an accumulator set to 0 by the caller,
// and return the position after the character that ended the digits. The accumulator wraps; only
// its low 8 bits are used. The end of the text (index len, the NUL) ends the digits but is not
// passed. They read nothing at or past len, so that an output that overlaps the text ahead of it
// cannot lead them beyond the text.
size_t ParseHexReference(const char* text, size_t pos, size_t len, uint32_t* value) {
    int d;
    while (pos < len && (d = HexDigit(static_cast<unsigned char>(text[pos]))) >= 0) {
        *value = *value * 16 + static_cast<uint32_t>(d);
        ++pos;
    }
    return pos < len ? pos + 1 : pos;
}

size_t ParseDecimalReference(const char* text, size_t pos, size_t len, uint32_t* value) {
    while (pos < len && text[pos] >= '0' && text[pos] <= '9') {
        *value = *value * 10 + static_cast<uint32_t>(text[pos] - '0');
        ++pos;
    }
    return pos < len ? pos + 1 : pos;
}

// Decodes what starts at text[pos] == '&' (len: the text's length). Stores the byte it stands for
// and returns the position after what it consumed. Reads only text[pos, len): near the end the
// entity test looks at a copy padded with NULs, as the text itself would be.
inline size_t DecodeAmpersand(const char* text, size_t pos, size_t len, char* byte) {
    const char* at = text + pos;
    if (pos + 1 < len && at[1] == '#') {
        uint32_t value = 0;
        const size_t next = pos + 2 < len && at[2] == 'x'
                                ? ParseHexReference(text, pos + 3, len, &value)
                                : ParseDecimalReference(text, pos + 2, len, &value);
        *byte = static_cast<char>(value & 0xFF);
        return next;
    }
    char padded[8] = {};
    if (len - pos < sizeof padded) {
        std::memcpy(padded, at, len - pos);
        at = padded;
    }
    if (const size_t n = zq::MatchEntity(at, sizeof padded, byte)) return pos + n;
    *byte = '&';
    return pos + 1;
}

// Ends a text that ran out of room at out[w]: "..." and a NUL, cut to the capacity when the
// capacity is smaller than the mark (the NUL is kept). Returns the bytes written in all.
size_t WriteMark(char* out, size_t w, size_t cap) {
    const size_t n = std::min(kMarkBytes, cap - w);
    if (n == 0) return w;
    std::memset(out + w, '.', n - 1);
    out[w + n - 1] = '\0';
    return w + n;
}

#define ZQ_TIER_FILE "text/deescape_vector.inc"
#include "platform/each_tier.h"

// The block decoder of each tier (none without vectors).
using BlockDecoder = void (*)(const char*, size_t, char*, size_t, size_t*, size_t*);
constexpr BlockDecoder kBlockDecoders[] = {
    nullptr,
#if defined(ZQ_SIMD_X86)
    tier_sse2::DecodeBlocks,
    tier_avx2::DecodeBlocks,
    tier_avx512::DecodeBlocks,
#endif
};

}  // namespace

namespace zq {

size_t DecodeOn(cpu::Tier tier, const char* text, size_t len, char* out, size_t cap, size_t limit) {
    size_t r = 0;
    size_t w = 0;
    // An output apart from the input: a block at a time while a whole block fits before the
    // check. In place, the runs below.
    const auto o = reinterpret_cast<uintptr_t>(out);
    const auto t = reinterpret_cast<uintptr_t>(text);
    const BlockDecoder blocks = cpu::FormOf(kBlockDecoders, tier);
    if (blocks && (o + cap <= t || t + len + 1 <= o)) blocks(text, len, out, limit, &r, &w);
    for (;;) {
        if (w + 5 >= limit) return WriteMark(out, w, cap);
        if (r == len) {
            out[w] = '\0';
            return w + 1;
        }
        if (text[r] == '&') {
            r = DecodeAmpersand(text, r, len, out + w);
            ++w;
            continue;
        }
        const void* amp = std::memchr(text + r, '&', len - r);
        size_t run = (amp ? static_cast<const char*>(amp) - text : len) - r;
        run = std::min(run, limit - 5 - w);  // bytes that may be written before the next check
        if (out + w != text + r) std::memmove(out + w, text + r, run);
        r += run;
        w += run;
    }
}

}  // namespace zq

namespace {

// The common frame of ZqXmlU_DeEscapeTextA (extraRoom: the capacity exceeds the text) and
// ZqXmlU_DeEscapeText0 (no extra room): the output is allocated with `allocFactor` x length + 10
// bytes when size is 0. Returns the bytes written.
size_t DeEscapeBytes(char** out, char* text, ZqLong size, char* tag, uint64_t allocFactor,
                     bool extraRoom) {
    if (!out) return 0;
    if (!text) text = EmptyText();
    const size_t len = std::strlen(text);
    char* dst;
    size_t cap;
    if (size == 0) {
        const uint64_t bytes = allocFactor * len + 10;
        dst = static_cast<char*>(zq::AllocBlock(bytes, 1, tag));
        cap = static_cast<size_t>(bytes);
        *out = dst;
    } else {
        dst = *out;
        if (!dst || size < 0) return 0;
        cap = static_cast<size_t>(size);
    }
    const size_t limit = extraRoom && cap > len ? cap + 5 : cap;
    return zq::DecodeOn(zq::cpu::Active().tier, text, len, dst, cap, limit);
}

// A byte of the L form at byte index k of a UTF-16 buffer: even indexes are the low bytes of
// their units, odd ones the high bytes (little-endian order on every host).
inline void PutByte(ZqWChar* units, size_t k, unsigned char b) {
    ZqWChar& u = units[k >> 1];
    u = (k & 1) ? static_cast<ZqWChar>((u & 0x00FF) | (b << 8))
                : static_cast<ZqWChar>((u & 0xFF00) | b);
}

// Decodes the L form into `units` (cap units, decoding while bytes written + 10 < cap).
void DecodeUnits(const char* text, size_t len, ZqWChar* units, size_t cap) {
    size_t r = 0;
    size_t w = 0;
    for (;;) {
        if (w + 10 >= cap) {
            // Out of room: an odd last byte is dropped; then the wide "..." and a wide NUL, cut
            // to the capacity when it is smaller than the mark.
            const size_t u = w >> 1;
            const size_t n = std::min<size_t>(4, cap - u);
            if (n == 0) return;
            for (size_t k = 0; k + 1 < n; ++k)
                units[u + k] = u'.';
            units[u + n - 1] = 0;
            return;
        }
        if (r == len) {
            PutByte(units, w, 0);
            return;
        }
        char byte = text[r];
        if (byte == '&') {
            r = DecodeAmpersand(text, r, len, &byte);
        } else {
            ++r;
        }
        PutByte(units, w++, static_cast<unsigned char>(byte));
    }
}

// Units before the first NUL unit, at most cap.
size_t BoundedLength(const ZqWChar* s, size_t cap) {
    size_t n = 0;
    while (n < cap && s[n])
        ++n;
    return n;
}

}  // namespace

int ZQ_CALL ZqXmlU_DeEscapeTextA(int /*unused*/, char** out, char* text, ZqLong size, char* tag) {
    return static_cast<int>(DeEscapeBytes(out, text, size, tag, 2, true));
}

int ZQ_CALL ZqXmlU_DeEscapeText0(int /*unused*/, char** out, char* text, ZqLong size, char* tag) {
    DeEscapeBytes(out, text, size, tag, 8, false);
    return 0;
}

int ZQ_CALL ZqXmlU_DeEscapeTextW(int unused, ZqWChar** out, char* text, ZqLong size, char* tag) {
    if (!out) return 0;
    if (size < 0 || (size > 0 && !*out)) return 0;
    // The decoded bytes: allocated by ZqXmlU_DeEscapeTextA when size is 0, else a zeroed
    // temporary one byte longer than the caller's size, so that it always ends with a NUL.
    const uint64_t tempBytes = static_cast<uint64_t>(size) + 1;
    zq::Scratch<char, 4096> temp(size == 0 ? 0 : tempBytes, tempBytes <= 4096);
    char* bytes = nullptr;
    if (size == 0) {
        ZqXmlU_DeEscapeTextA(unused, &bytes, text, 0, tag);
    } else {
        bytes = temp.get();
        std::memset(bytes, 0, static_cast<size_t>(tempBytes));
        ZqXmlU_DeEscapeTextA(unused, &bytes, text, size, tag);
    }
    const size_t n = std::strlen(bytes);
    int count;
    if (size == 0) {
        // The wide result carries the caller's tag with "3" as its first character.
        char wideTag[5] = "null";
        if (tag) {
            size_t i = 0;
            for (; i < 4 && tag[i]; ++i)
                wideTag[i] = tag[i];
            for (; i < 4; ++i)
                wideTag[i] = '\0';
        }
        wideTag[0] = '3';
        auto* wide = static_cast<ZqWChar*>(zq::AllocBlock(n + 3, sizeof(ZqWChar), wideTag));
        *out = wide;
        count = zq::Utf8ToUtf16(bytes, static_cast<int>(n + 1), wide, static_cast<int>(n + 2));
        void* v = bytes;
        ZqXmlU_Free(&v);
    } else {
        count = zq::Utf8ToUtf16(bytes, static_cast<int>(n + 1), *out, size);
    }
    return count;
}

int ZQ_CALL ZqXmlU_DeEscapeTextLW(int /*unused*/, ZqWChar** out, char* text, ZqLong size,
                                  char* tag) {
    if (!out) return 0;
    if (!text) text = EmptyText();
    const size_t len = std::strlen(text);
    if (size != 0) {
        if (size < 0 || !*out) return 0;
        const auto cap = static_cast<size_t>(size);
        DecodeUnits(text, len, *out, cap);
        const size_t w = BoundedLength(*out, cap);
        if (cap <= w + 2) (*out)[cap - 1] = 0;
        return 0;
    }
    const uint64_t cap = static_cast<uint64_t>(len) + 10;
    auto* work = static_cast<ZqWChar*>(zq::AllocBlock(cap, sizeof(ZqWChar), tag));
    DecodeUnits(text, len, work, static_cast<size_t>(cap));
    const size_t w = BoundedLength(work, static_cast<size_t>(cap));
    auto* copy = static_cast<ZqWChar*>(zq::AllocBlock(w + 3, sizeof(ZqWChar), tag));
    std::memcpy(copy, work, w * sizeof(ZqWChar));
    void* v = work;
    ZqXmlU_Free(&v);
    *out = copy;
    return 0;
}

int ZQ_CALL ZqXmlU_DeEscapeTextLA(int unused, char** out, char* text, ZqLong size, char* tag) {
    if (!out) return 0;
    ZqWChar* wide = nullptr;
    ZqXmlU_DeEscapeTextLW(unused, &wide, text, 0, tag);
    if (!wide) return 0;
    const uint64_t units = zq::WStrLen(wide);
    const uint64_t convBytes = 4 * units + 1;
    zq::Scratch<char, 400> conv(convBytes, convBytes < 400);
    char* utf8 = conv.get();
    // A text too long for the converter's int counts comes out empty.
    const int cap = static_cast<int>(std::min<uint64_t>(convBytes, INT32_MAX));
    if (zq::Utf16ToUtf8(wide, -1, utf8, cap) == 0) utf8[0] = '\0';
    void* v = wide;
    ZqXmlU_Free(&v);

    const size_t n = std::strlen(utf8);
    char* dst;
    size_t outCap;
    if (size == 0) {
        dst = static_cast<char*>(zq::AllocBlock(n + 1, 1, tag));
        *out = dst;
        outCap = n + 1;
    } else {
        dst = *out;
        outCap = dst && size > 0 ? static_cast<size_t>(size) : 0;
    }
    if (n < outCap) {
        std::memcpy(dst, utf8, n + 1);
    } else if (outCap > 0) {
        std::memcpy(dst, utf8, outCap - 1);
        dst[outCap - 1] = '\0';
    }
    return static_cast<int>(n + 1);
}
