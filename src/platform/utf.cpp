#include "platform/utf.h"

#include <cstdint>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace zq {
namespace {

constexpr char16_t kReplacement = 0xFFFD;
constexpr uint64_t kHighBits = 0x8080808080808080ULL;

inline uint64_t Load8(const unsigned char* p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline bool IsCont(unsigned char b) {
    return (b & 0xC0) == 0x80;
}

// Decodes one sequence at s (s < end, *s >= 0x80). Stores the code point (or U+FFFD) and returns
// the bytes consumed: a whole valid sequence, or the maximal ill-formed subpart (at least 1).
inline size_t DecodeMulti(const unsigned char* s, const unsigned char* end, char32_t* cp) {
    const unsigned char b0 = s[0];
    size_t need;
    unsigned char lo = 0x80;
    unsigned char hi = 0xBF;
    char32_t value;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        need = 1;
        value = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        need = 2;
        value = b0 & 0x0F;
        if (b0 == 0xE0) lo = 0xA0;
        if (b0 == 0xED) hi = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        need = 3;
        value = b0 & 0x07;
        if (b0 == 0xF0) lo = 0x90;
        if (b0 == 0xF4) hi = 0x8F;
    } else {
        *cp = kReplacement;
        return 1;
    }
    size_t i = 1;
    for (; i <= need; ++i) {
        if (s + i >= end) break;
        const unsigned char b = s[i];
        if (i == 1 ? (b < lo || b > hi) : !IsCont(b)) break;
        value = (value << 6) | (b & 0x3F);
    }
    if (i <= need) {
        *cp = kReplacement;
        return i;
    }
    *cp = value;
    return need + 1;
}

// Converts [s, end) to UTF-16. With dst == nullptr only counts. Returns the units produced; sets
// *overflow (and stops) when the next character would not fit in dstCap.
size_t Utf8ToUtf16Impl(const unsigned char* s, const unsigned char* end, char16_t* dst,
                       size_t dstCap, bool* overflow) {
    size_t n = 0;
    while (s < end) {
        // Runs of ASCII, eight bytes at a time.
        while (end - s >= 8) {
            const uint64_t v = Load8(s);
            if (v & kHighBits) break;
            if (dst) {
                if (dstCap - n < 8) break;
                for (int k = 0; k < 8; ++k)
                    dst[n + k] = s[k];
            }
            n += 8;
            s += 8;
        }
        if (s >= end) break;
        const unsigned char b = *s;
        char32_t cp;
        size_t used;
        if (b < 0x80) {
            cp = b;
            used = 1;
        } else {
            used = DecodeMulti(s, end, &cp);
        }
        s += used;
        const size_t units = cp >= 0x10000 ? 2 : 1;
        if (dst) {
            if (dstCap - n < units) {
                *overflow = true;
                return n;
            }
            if (units == 2) {
                const char32_t v = cp - 0x10000;
                dst[n] = static_cast<char16_t>(0xD800 + (v >> 10));
                dst[n + 1] = static_cast<char16_t>(0xDC00 + (v & 0x3FF));
            } else {
                dst[n] = static_cast<char16_t>(cp);
            }
        }
        n += units;
    }
    return n;
}

size_t Utf16ToUtf8Impl(const char16_t* s, const char16_t* end, unsigned char* dst, size_t dstCap,
                       bool* overflow) {
    size_t n = 0;
    while (s < end) {
        // Runs of ASCII, four units at a time.
        while (end - s >= 4 && (s[0] | s[1] | s[2] | s[3]) < 0x80) {
            if (dst) {
                if (dstCap - n < 4) break;
                dst[n] = static_cast<unsigned char>(s[0]);
                dst[n + 1] = static_cast<unsigned char>(s[1]);
                dst[n + 2] = static_cast<unsigned char>(s[2]);
                dst[n + 3] = static_cast<unsigned char>(s[3]);
            }
            n += 4;
            s += 4;
        }
        if (s >= end) break;
        char32_t cp = *s++;
        if (cp >= 0xD800 && cp <= 0xDFFF) {
            if (cp <= 0xDBFF && s < end && *s >= 0xDC00 && *s <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (*s - 0xDC00);
                ++s;
            } else {
                cp = kReplacement;
            }
        }
        unsigned char buf[4];
        size_t len;
        if (cp < 0x80) {
            buf[0] = static_cast<unsigned char>(cp);
            len = 1;
        } else if (cp < 0x800) {
            buf[0] = static_cast<unsigned char>(0xC0 | (cp >> 6));
            buf[1] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
            len = 2;
        } else if (cp < 0x10000) {
            buf[0] = static_cast<unsigned char>(0xE0 | (cp >> 12));
            buf[1] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
            buf[2] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
            len = 3;
        } else {
            buf[0] = static_cast<unsigned char>(0xF0 | (cp >> 18));
            buf[1] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
            buf[2] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
            buf[3] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
            len = 4;
        }
        if (dst) {
            if (dstCap - n < len) {
                *overflow = true;
                return n;
            }
            std::memcpy(dst + n, buf, len);
        }
        n += len;
    }
    return n;
}

// Results are ints, as with the Windows converters; a count that does not fit fails.
inline int ToResult(size_t n) {
    return n > 0x7FFFFFFF ? 0 : static_cast<int>(n);
}

}  // namespace

int Utf8ToUtf16Portable(const char* src, int srcLen, ZqWChar* dst, int dstCap) {
    if (!src || srcLen == 0 || dstCap < 0 || (dstCap > 0 && !dst)) return 0;
    const auto* s = reinterpret_cast<const unsigned char*>(src);
    const size_t len = srcLen < 0 ? std::strlen(src) + 1 : static_cast<size_t>(srcLen);
    bool overflow = false;
    char16_t* out = dstCap > 0 ? reinterpret_cast<char16_t*>(dst) : nullptr;
    const size_t n = Utf8ToUtf16Impl(s, s + len, out, static_cast<size_t>(dstCap), &overflow);
    return overflow ? 0 : ToResult(n);
}

int Utf16ToUtf8Portable(const ZqWChar* src, int srcLen, char* dst, int dstCap) {
    if (!src || srcLen == 0 || dstCap < 0 || (dstCap > 0 && !dst)) return 0;
    const auto* s = reinterpret_cast<const char16_t*>(src);
    const size_t len = srcLen < 0 ? WStrLen(src) + 1 : static_cast<size_t>(srcLen);
    bool overflow = false;
    auto* out = dstCap > 0 ? reinterpret_cast<unsigned char*>(dst) : nullptr;
    const size_t n = Utf16ToUtf8Impl(s, s + len, out, static_cast<size_t>(dstCap), &overflow);
    return overflow ? 0 : ToResult(n);
}

#if defined(_WIN32)

// The system's own converters, code page 65001 and no flags.
int Utf8ToUtf16(const char* src, int srcLen, ZqWChar* dst, int dstCap) {
    return MultiByteToWideChar(CP_UTF8, 0, src, srcLen, dst, dstCap);
}

int Utf16ToUtf8(const ZqWChar* src, int srcLen, char* dst, int dstCap) {
    return WideCharToMultiByte(CP_UTF8, 0, src, srcLen, dst, dstCap, nullptr, nullptr);
}

#else

int Utf8ToUtf16(const char* src, int srcLen, ZqWChar* dst, int dstCap) {
    return Utf8ToUtf16Portable(src, srcLen, dst, dstCap);
}

int Utf16ToUtf8(const ZqWChar* src, int srcLen, char* dst, int dstCap) {
    return Utf16ToUtf8Portable(src, srcLen, dst, dstCap);
}

#endif

}  // namespace zq
