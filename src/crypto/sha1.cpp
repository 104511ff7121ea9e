// SHA-1: the block primitives (start, compress, finish, byte swap) and digests of a buffer
// interval, optionally leaving out white space.
//
// The state is five 32-bit words. While hashing they hold the chaining values as numbers; the
// finish step byte-swaps them, so that the 20 bytes of the state in memory order are the digest.
// Message lengths are counted in bits in 32 bits; the high word of the length field is zero.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "crypto/sha1.h"
#include "platform/chars.h"
#include "platform/cpu.h"
#include "zqxmlu.h"

#if defined(ZQ_SIMD_X86)
#include <immintrin.h>
#endif

namespace {

constexpr uint32_t kInitial[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};

inline uint32_t LoadBig(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | p[3];
}

// The portable compression function, fully unrolled. The message schedule lives in a ring of
// sixteen words: W[t] replaces W[t - 16] in place.
void CompressPortable(uint32_t* state, const unsigned char* data, size_t blocks) {
    uint32_t h0 = state[0], h1 = state[1], h2 = state[2], h3 = state[3], h4 = state[4];
    for (; blocks > 0; --blocks, data += 64) {
        uint32_t w[16];
        for (int i = 0; i < 16; ++i)
            w[i] = LoadBig(data + 4 * i);
        uint32_t a = h0, b = h1, c = h2, d = h3, e = h4;

#define ZQ_SCHEDULE(t) \
    (w[(t)&15] =       \
         std::rotl(w[((t) + 13) & 15] ^ w[((t) + 8) & 15] ^ w[((t) + 2) & 15] ^ w[(t)&15], 1))
#define ZQ_ROUND(a, b, c, d, e, f, k, x)        \
    do {                                        \
        e += std::rotl(a, 5) + (f) + (k) + (x); \
        b = std::rotl(b, 30);                   \
    } while (0)
#define ZQ_CHOOSE(b, c, d) ((d) ^ ((b) & ((c) ^ (d))))
#define ZQ_PARITY(b, c, d) ((b) ^ (c) ^ (d))
#define ZQ_MAJORITY(b, c, d) (((b) & (c)) | ((d) & ((b) | (c))))
#define ZQ_FIVE(f, k, x0, x1, x2, x3, x4)       \
    ZQ_ROUND(a, b, c, d, e, f(b, c, d), k, x0); \
    ZQ_ROUND(e, a, b, c, d, f(a, b, c), k, x1); \
    ZQ_ROUND(d, e, a, b, c, f(e, a, b), k, x2); \
    ZQ_ROUND(c, d, e, a, b, f(d, e, a), k, x3); \
    ZQ_ROUND(b, c, d, e, a, f(c, d, e), k, x4)
#define ZQ_FIVE_S(f, k, t)                                                    \
    ZQ_FIVE(f, k, ZQ_SCHEDULE(t), ZQ_SCHEDULE((t) + 1), ZQ_SCHEDULE((t) + 2), \
            ZQ_SCHEDULE((t) + 3), ZQ_SCHEDULE((t) + 4))

        constexpr uint32_t k0 = 0x5A827999, k1 = 0x6ED9EBA1, k2 = 0x8F1BBCDC, k3 = 0xCA62C1D6;
        ZQ_FIVE(ZQ_CHOOSE, k0, w[0], w[1], w[2], w[3], w[4]);
        ZQ_FIVE(ZQ_CHOOSE, k0, w[5], w[6], w[7], w[8], w[9]);
        ZQ_FIVE(ZQ_CHOOSE, k0, w[10], w[11], w[12], w[13], w[14]);
        ZQ_FIVE(ZQ_CHOOSE, k0, w[15], ZQ_SCHEDULE(16), ZQ_SCHEDULE(17), ZQ_SCHEDULE(18),
                ZQ_SCHEDULE(19));
        ZQ_FIVE_S(ZQ_PARITY, k1, 20);
        ZQ_FIVE_S(ZQ_PARITY, k1, 25);
        ZQ_FIVE_S(ZQ_PARITY, k1, 30);
        ZQ_FIVE_S(ZQ_PARITY, k1, 35);
        ZQ_FIVE_S(ZQ_MAJORITY, k2, 40);
        ZQ_FIVE_S(ZQ_MAJORITY, k2, 45);
        ZQ_FIVE_S(ZQ_MAJORITY, k2, 50);
        ZQ_FIVE_S(ZQ_MAJORITY, k2, 55);
        ZQ_FIVE_S(ZQ_PARITY, k3, 60);
        ZQ_FIVE_S(ZQ_PARITY, k3, 65);
        ZQ_FIVE_S(ZQ_PARITY, k3, 70);
        ZQ_FIVE_S(ZQ_PARITY, k3, 75);

#undef ZQ_FIVE_S
#undef ZQ_FIVE
#undef ZQ_MAJORITY
#undef ZQ_PARITY
#undef ZQ_CHOOSE
#undef ZQ_ROUND
#undef ZQ_SCHEDULE

        h0 += a;
        h1 += b;
        h2 += c;
        h3 += d;
        h4 += e;
    }
    state[0] = h0;
    state[1] = h1;
    state[2] = h2;
    state[3] = h3;
    state[4] = h4;
}

#if defined(ZQ_SIMD_X86)

// The compression function on the SHA instructions. Each sha1rnds4 runs four rounds; the message
// words of four rounds travel in one register, W[t] built from W[t-16], W[t-14], W[t-8] and
// W[t-3] by sha1msg1, an xor and sha1msg2; sha1nexte derives the E input of the next four rounds.
__attribute__((target("sha,sse4.1"))) void CompressShaInstructions(uint32_t* state,
                                                                   const unsigned char* data,
                                                                   size_t blocks) {
    const __m128i byteFlip = _mm_set_epi64x(0x0001020304050607LL, 0x08090A0B0C0D0E0FLL);
    __m128i abcd =
        _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0x1B);
    __m128i e0 = _mm_set_epi32(static_cast<int>(state[4]), 0, 0, 0);
    for (; blocks > 0; --blocks, data += 64) {
        const __m128i abcdSaved = abcd;
        const __m128i eSaved = e0;
        __m128i w0 =
            _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data)), byteFlip);
        __m128i w1 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16)),
                                      byteFlip);
        __m128i w2 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 32)),
                                      byteFlip);
        __m128i w3 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 48)),
                                      byteFlip);
        __m128i e1;

// Next message words in `a` (holding W[t-16..t-13]) from the three registers after it.
#define ZQ_NEXT_WORDS(a, b, c, d) \
    a = _mm_sha1msg2_epu32(_mm_xor_si128(_mm_sha1msg1_epu32(a, b), c), d)
// Four rounds: `in` holds the state before the previous four rounds, `out` receives this one.
#define ZQ_FOUR(in, out, w, f)       \
    in = _mm_sha1nexte_epu32(in, w); \
    out = abcd;                      \
    abcd = _mm_sha1rnds4_epu32(abcd, in, f)

        e0 = _mm_add_epi32(e0, w0);
        e1 = abcd;
        abcd = _mm_sha1rnds4_epu32(abcd, e0, 0);
        ZQ_FOUR(e1, e0, w1, 0);
        ZQ_FOUR(e0, e1, w2, 0);
        ZQ_FOUR(e1, e0, w3, 0);
        ZQ_NEXT_WORDS(w0, w1, w2, w3);
        ZQ_FOUR(e0, e1, w0, 0);
        ZQ_NEXT_WORDS(w1, w2, w3, w0);
        ZQ_FOUR(e1, e0, w1, 1);
        ZQ_NEXT_WORDS(w2, w3, w0, w1);
        ZQ_FOUR(e0, e1, w2, 1);
        ZQ_NEXT_WORDS(w3, w0, w1, w2);
        ZQ_FOUR(e1, e0, w3, 1);
        ZQ_NEXT_WORDS(w0, w1, w2, w3);
        ZQ_FOUR(e0, e1, w0, 1);
        ZQ_NEXT_WORDS(w1, w2, w3, w0);
        ZQ_FOUR(e1, e0, w1, 1);
        ZQ_NEXT_WORDS(w2, w3, w0, w1);
        ZQ_FOUR(e0, e1, w2, 2);
        ZQ_NEXT_WORDS(w3, w0, w1, w2);
        ZQ_FOUR(e1, e0, w3, 2);
        ZQ_NEXT_WORDS(w0, w1, w2, w3);
        ZQ_FOUR(e0, e1, w0, 2);
        ZQ_NEXT_WORDS(w1, w2, w3, w0);
        ZQ_FOUR(e1, e0, w1, 2);
        ZQ_NEXT_WORDS(w2, w3, w0, w1);
        ZQ_FOUR(e0, e1, w2, 2);
        ZQ_NEXT_WORDS(w3, w0, w1, w2);
        ZQ_FOUR(e1, e0, w3, 3);
        ZQ_NEXT_WORDS(w0, w1, w2, w3);
        ZQ_FOUR(e0, e1, w0, 3);
        ZQ_NEXT_WORDS(w1, w2, w3, w0);
        ZQ_FOUR(e1, e0, w1, 3);
        ZQ_NEXT_WORDS(w2, w3, w0, w1);
        ZQ_FOUR(e0, e1, w2, 3);
        ZQ_NEXT_WORDS(w3, w0, w1, w2);
        ZQ_FOUR(e1, e0, w3, 3);

#undef ZQ_FOUR
#undef ZQ_NEXT_WORDS

        e0 = _mm_sha1nexte_epu32(e0, eSaved);
        abcd = _mm_add_epi32(abcd, abcdSaved);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_shuffle_epi32(abcd, 0x1B));
    state[4] = static_cast<uint32_t>(_mm_extract_epi32(e0, 3));
}

#endif  // ZQ_SIMD_X86

using CompressFn = void (*)(uint32_t*, const unsigned char*, size_t);

CompressFn CompressOf([[maybe_unused]] zq::Sha1Engine engine) {
#if defined(ZQ_SIMD_X86)
    if (engine == zq::Sha1Engine::kShaInstructions) return &CompressShaInstructions;
#endif
    return &CompressPortable;
}

// The compression function that the processor and the ZQXMLU_CPU switch allow.
inline CompressFn Active() {
    return CompressOf(zq::Sha1ActiveEngine());
}

// Pads the last 0..64 bytes after `bits` bits, compresses and byte-swaps the state.
void Finish(const unsigned char* block, uint32_t n, uint32_t bits, uint32_t* state) {
    const CompressFn compress = Active();
    if (n == 64) {
        compress(state, block, 1);
        n = 0;
        bits += 512;
    }
    const uint32_t length = bits + 8 * n;
    unsigned char pad[128] = {};
    if (n > 0) std::memcpy(pad, block, n);
    pad[n] = 0x80;
    const size_t blocks = n <= 55 ? 1 : 2;
    unsigned char* tail = pad + 64 * blocks - 4;
    tail[0] = static_cast<unsigned char>(length >> 24);
    tail[1] = static_cast<unsigned char>(length >> 16);
    tail[2] = static_cast<unsigned char>(length >> 8);
    tail[3] = static_cast<unsigned char>(length);
    compress(state, pad, blocks);
    ZqXmlU_swap_sha1(state);
}

}  // namespace

namespace zq {

Sha1Engine Sha1ActiveEngine() {
    return cpu::Active().shaInstructions ? Sha1Engine::kShaInstructions : Sha1Engine::kPortable;
}

void Sha1BlocksOn(Sha1Engine engine, uint32_t state[5], const unsigned char* data, size_t blocks) {
    if (blocks > 0) CompressOf(engine)(state, data, blocks);
}

}  // namespace zq

void ZQ_CALL ZqXmlU_swap_sha1(uint32_t state[5]) {
    if (!state) return;
    for (int i = 0; i < 5; ++i)
        state[i] = __builtin_bswap32(state[i]);
}

extern "C" {

void ZQ_CALL ZqXmlU_start_sha1(uint32_t state[5]) {
    if (state) std::memcpy(state, kInitial, sizeof kInitial);
}

void ZQ_CALL ZqXmlU_compute_sha1(const unsigned char* block, uint32_t state[5]) {
    if (block && state) Active()(state, block, 1);
}

void ZQ_CALL ZqXmlU_finish_sha1(const unsigned char* block, int length, uint32_t bits,
                                uint32_t state[5]) {
    if (!state) return;
    // A length outside 0..64 is held to that range: at most one block is ever read.
    uint32_t n = length < 0 ? 0 : length > 64 ? 64 : static_cast<uint32_t>(length);
    if (!block) n = 0;
    Finish(block, n, bits, state);
}

void ZQ_CALL ZqXmlU_Sha1Interval(const char* buffer, uint32_t start, uint32_t end,
                                 uint32_t state[5], uint32_t skip) {
    if (!state) return;
    ZqXmlU_start_sha1(state);
    if (!buffer) {
        Finish(nullptr, 0, 0, state);
        return;
    }
    const auto* p = reinterpret_cast<const unsigned char*>(buffer) + start;
    if (skip == 0) {
        // An interval that ends before it starts is empty.
        const uint64_t count = end < start ? 0 : static_cast<uint64_t>(end) - start + 1;
        const uint64_t blocks = count == 0 ? 0 : (count - 1) / 64;
        Active()(state, p, static_cast<size_t>(blocks));
        Finish(p + 64 * blocks, static_cast<uint32_t>(count - 64 * blocks),
               static_cast<uint32_t>(blocks * 512), state);
        return;
    }
    // Skip mode: the text up to its NUL without space, tab, carriage return and line feed,
    // gathered into one block at a time.
    const CompressFn compress = Active();
    unsigned char block[64];
    uint32_t fill = 0;
    uint32_t bits = 0;
    for (;;) {
        const unsigned char c = *p++;
        if (c <= ' ') {
            if (c == '\0') break;
            if (zq::IsXmlSpace(static_cast<char>(c))) continue;
        }
        block[fill++] = c;
        if (fill == 64) {
            compress(state, block, 1);
            bits += 512;
            fill = 0;
        }
    }
    Finish(block, fill, bits, state);
}

}  // extern "C"
