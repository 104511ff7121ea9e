// Base64 in the library's own variant, and one-shot zlib compression of memory buffers.
//
// Base64: the standard alphabet, three bytes to four characters, most significant bits first. The
// text always ends with exactly one "=" (also after a full last group), which the decoder needs:
// a text without it decodes to nothing. Optional line breaks (a line feed and some tabs) follow
// whole groups, never the last one.
//
// zlib: one deflate or inflate call over whole memory buffers, in the zlib format (RFC 1950) with
// the default level, window and memory settings. The streams are set up through the versioned
// initialisers with the version "1.2.3": zlib checks only its first digit, so every 1.x release
// accepts it.
#include <zlib.h>

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "zqxmlu.h"

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Two output characters for every 12-bit value, in memory order: one load per half group.
constexpr std::array<uint16_t, 4096> kPairs = [] {
    std::array<uint16_t, 4096> t{};
    for (unsigned v = 0; v < 4096; ++v) {
        const unsigned char hi = static_cast<unsigned char>(kAlphabet[v >> 6]);
        const unsigned char lo = static_cast<unsigned char>(kAlphabet[v & 63]);
        t[v] = std::endian::native == std::endian::little ? static_cast<uint16_t>(hi | lo << 8)
                                                          : static_cast<uint16_t>(hi << 8 | lo);
    }
    return t;
}();

// Decoder classes: 0..63 alphabet values, then the three characters that steer the decoder.
constexpr uint8_t kSkip = 64;
constexpr uint8_t kEnd = 65;  // "="
constexpr uint8_t kNul = 66;

constexpr std::array<uint8_t, 256> kValues = [] {
    std::array<uint8_t, 256> t{};
    t.fill(kSkip);
    for (unsigned i = 0; i < 64; ++i)
        t[static_cast<unsigned char>(kAlphabet[i])] = static_cast<uint8_t>(i);
    t['='] = kEnd;
    t[0] = kNul;
    return t;
}();

inline void PutPair(char* dst, uint32_t twelveBits) {
    std::memcpy(dst, &kPairs[twelveBits], 2);
}

// Encodes `groups` full groups (3 * groups bytes of src, 4 * groups characters). `readable` is the
// number of bytes that may be read from src, at least 3 * groups; where 8 bytes may be read, two
// groups are taken from one 64-bit load.
void EncodeGroups(const unsigned char* src, size_t groups, size_t readable, char* dst) {
    while (groups >= 2 && readable >= 8) {
        uint64_t w;
        std::memcpy(&w, src, 8);
        if constexpr (std::endian::native == std::endian::little) w = __builtin_bswap64(w);
        PutPair(dst, static_cast<uint32_t>(w >> 52));
        PutPair(dst + 2, static_cast<uint32_t>(w >> 40) & 0xFFF);
        PutPair(dst + 4, static_cast<uint32_t>(w >> 28) & 0xFFF);
        PutPair(dst + 6, static_cast<uint32_t>(w >> 16) & 0xFFF);
        src += 6;
        readable -= 6;
        dst += 8;
        groups -= 2;
    }
    while (groups > 0) {
        const uint32_t v = static_cast<uint32_t>(src[0]) << 16 | src[1] << 8 | src[2];
        PutPair(dst, v >> 12);
        PutPair(dst + 2, v & 0xFFF);
        src += 3;
        dst += 4;
        --groups;
    }
}

// Writes the three bytes of a decoded group, as far as they fit (only a one-character group can
// reach past the room), and counts k - 1 of them. false: the group does not fit, decoding stops.
inline bool Flush(uint32_t acc, uint32_t k, unsigned char* dst, uint32_t capacity,
                  uint32_t& total) {
    if (static_cast<uint64_t>(k) + total >= capacity) return false;
    const unsigned char bytes[3] = {static_cast<unsigned char>(acc >> 16),
                                    static_cast<unsigned char>(acc >> 8),
                                    static_cast<unsigned char>(acc)};
    const uint32_t room = capacity - total;
    std::memcpy(dst + total, bytes, room < 3 ? room : 3);
    total += k - 1;
    return true;
}

}  // namespace

extern "C" {

int ZQ_CALL ZqXmlU_ToBase64(const void* src, uint32_t n, char* dst, uint32_t groupsPerLine,
                            uint32_t tabs) {
    if (!dst) return 0;
    if (!src) n = 0;
    const auto* in = static_cast<const unsigned char*>(src);
    char* out = dst;
    // Full groups while more than three bytes remain; the last 1..3 bytes make the closing group.
    const size_t groups = n == 0 ? 0 : (static_cast<size_t>(n) - 1) / 3;
    if (groupsPerLine == 0) {
        EncodeGroups(in, groups, n, out);
        out += 4 * groups;
    } else {
        size_t done = 0;
        while (done < groups) {
            const size_t line = groups - done < groupsPerLine ? groups - done : groupsPerLine;
            EncodeGroups(in + 3 * done, line, n - 3 * done, out);
            out += 4 * line;
            done += line;
            if (line == groupsPerLine) {
                *out++ = '\n';
                std::memset(out, '\t', tabs);
                out += tabs;
            }
        }
    }
    const size_t rest = n - 3 * groups;
    if (rest > 0) {
        const unsigned char* p = in + 3 * groups;
        const uint32_t v =
            static_cast<uint32_t>(p[0]) << 16 | (rest > 1 ? p[1] << 8 : 0) | (rest > 2 ? p[2] : 0);
        char four[4];
        PutPair(four, v >> 12);
        PutPair(four + 2, v & 0xFFF);
        std::memcpy(out, four, rest + 1);
        out += rest + 1;
    }
    *out++ = '=';
    *out = '\0';
    return static_cast<int>(out - dst);
}

uint32_t ZQ_CALL ZqXmlU_FromBase64(const char* src, unsigned char* dst, uint32_t capacity) {
    if (!src || !dst) return 0;
    const auto* s = reinterpret_cast<const unsigned char*>(src);
    uint32_t total = 0;
    uint32_t acc = 0;
    uint32_t k = 0;
    for (;;) {
        // Whole groups of four alphabet characters, while a full group still fits. Each
        // character is looked at only after the one before it proved not to be the NUL.
        while (k == 0 && capacity - total > 4) {
            const uint32_t a = kValues[s[0]];
            if (a > 63) break;
            const uint32_t b = kValues[s[1]];
            if (b > 63) break;
            const uint32_t c = kValues[s[2]];
            if (c > 63) break;
            const uint32_t d = kValues[s[3]];
            if (d > 63) break;
            const uint32_t v = a << 18 | b << 12 | c << 6 | d;
            dst[total] = static_cast<unsigned char>(v >> 16);
            dst[total + 1] = static_cast<unsigned char>(v >> 8);
            dst[total + 2] = static_cast<unsigned char>(v);
            total += 3;
            s += 4;
        }
        const uint32_t v = kValues[*s++];
        if (v < 64) {
            acc |= v << (18 - 6 * k);
            if (++k == 4) {
                if (!Flush(acc, k, dst, capacity, total)) return total;
                acc = 0;
                k = 0;
            }
        } else if (v == kEnd) {
            if (k != 0) Flush(acc, k, dst, capacity, total);
            return total;
        } else if (v == kNul) {
            return 0;
        }
    }
}

}  // extern "C"

namespace {

constexpr char kZlibVersion[] = "1.2.3";

}  // namespace

uint32_t ZQ_CALL ZqXmlU_gzip(const unsigned char* src, uint32_t n, unsigned char* dst) {
    if ((!src && n > 0) || !dst) return 0;
    z_stream z{};
    if (deflateInit_(&z, Z_DEFAULT_COMPRESSION, kZlibVersion, static_cast<int>(sizeof z)) != Z_OK) {
        return 0xFFFFFFFF;
    }
    z.next_in = const_cast<Bytef*>(src);
    z.avail_in = n;
    z.next_out = dst;
    z.avail_out = n;
    const int rc = deflate(&z, Z_FINISH);
    const uint32_t size = rc == Z_STREAM_END ? static_cast<uint32_t>(z.total_out) : 0;
    deflateEnd(&z);
    return size;
}

uint32_t ZQ_CALL ZqXmlU_gunzip(const unsigned char* src, uint32_t n, unsigned char* dst,
                               uint32_t capacity) {
    if (!src || (!dst && capacity > 0)) return 0;
    z_stream z{};
    if (inflateInit_(&z, kZlibVersion, static_cast<int>(sizeof z)) != Z_OK) return 0;
    z.next_in = const_cast<Bytef*>(src);
    z.avail_in = n;
    z.next_out = dst;
    z.avail_out = capacity;
    // A stream that does not fit gives the bytes that did; only errors give 0.
    const int rc = inflate(&z, Z_NO_FLUSH);
    const uint32_t size = rc >= 0 ? static_cast<uint32_t>(z.total_out) : 0;
    inflateEnd(&z);
    return size;
}
