// The vector operations of the x86 tiers, one struct per width, for routines written once over
// the width (platform/each_tier.h compiles such a routine for every tier). In each struct, V is a
// vector of kBytes bytes and M a mask with one lane per byte (a vector of 0x00 / 0xFF bytes up to
// AVX2, a mask register with AVX-512); Bits turns a mask into one bit per byte, byte 0 in bit 0.
#ifndef ZQ_PLATFORM_SIMD_H
#define ZQ_PLATFORM_SIMD_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/cpu.h"

namespace zq::simd {

// Copies n < 16 bytes between buffers that do not overlap, writing exactly those bytes: two
// words that may overlap, or single bytes below 4.
inline void CopyShort(void* dst, const void* src, size_t n) {
    auto* d = static_cast<unsigned char*>(dst);
    const auto* s = static_cast<const unsigned char*>(src);
    if (n >= 4) {
        const size_t w = n >= 8 ? 8 : 4;
        unsigned char head[8];
        unsigned char tail[8];
        std::memcpy(head, s, w);
        std::memcpy(tail, s + n - w, w);
        std::memcpy(d, head, w);
        std::memcpy(d + n - w, tail, w);
    } else {
        for (size_t i = 0; i < n; ++i)
            d[i] = s[i];
    }
}

}  // namespace zq::simd

#if defined(ZQ_SIMD_X86)
#include <immintrin.h>

// An operation of one tier: always inlined into the routines compiled for that tier.
#define ZQ_SIMD_OP(isa) __attribute__((target(isa), always_inline)) static inline

namespace zq::simd {

// For each 8-bit mask, the positions of its set bits in ascending order, one per byte from the
// lowest (the bytes past the last position are 0x80): the shuffle that gathers the bytes a mask
// keeps; and how many bits each mask has.
inline constexpr auto kGather = [] {
    struct Table {
        uint64_t shuffle[256];
        uint8_t count[256];
    } t{};
    for (unsigned m = 0; m < 256; ++m) {
        uint64_t word = 0x8080808080808080ULL;
        unsigned n = 0;
        for (unsigned i = 0; i < 8; ++i) {
            if (m & (1u << i)) {
                word &= ~(uint64_t{0xFF} << (8 * n));
                word |= uint64_t{i} << (8 * n);
                ++n;
            }
        }
        t.shuffle[m] = word;
        t.count[m] = static_cast<uint8_t>(n);
    }
    return t;
}();

// Writes the bytes of the 16-byte lane v whose bits are set in keep (16 bits), in order, at dst;
// returns how many. Up to 16 bytes at dst are written: the caller's dst must have that room.
__attribute__((target("ssse3"), always_inline)) static inline size_t GatherLane(char* dst,
                                                                                __m128i v,
                                                                                unsigned keep) {
    const unsigned lo = keep & 0xFF;
    const unsigned hi = (keep >> 8) & 0xFF;
    const __m128i shuffle =
        _mm_set_epi64x(static_cast<long long>(kGather.shuffle[hi] + 0x0808080808080808ULL),
                       static_cast<long long>(kGather.shuffle[lo]));
    const __m128i packed = _mm_shuffle_epi8(v, shuffle);
    const size_t low = kGather.count[lo];
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), packed);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + low), _mm_unpackhi_epi64(packed, packed));
    return low + kGather.count[hi];
}

struct Sse2 {
    static constexpr size_t kBytes = 16;
    using V = __m128i;
    using M = __m128i;

    ZQ_SIMD_OP("sse2") V Load(const void* p) {
        return _mm_loadu_si128(static_cast<const __m128i*>(p));
    }
    ZQ_SIMD_OP("sse2") void Store(void* p, V v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }
    ZQ_SIMD_OP("sse2") V Set(char c) { return _mm_set1_epi8(c); }
    ZQ_SIMD_OP("sse2") V And(V a, V b) { return _mm_and_si128(a, b); }
    ZQ_SIMD_OP("sse2") V Or(V a, V b) { return _mm_or_si128(a, b); }
    // b and not a (for vectors and masks alike).
    ZQ_SIMD_OP("sse2") V AndNot(V a, V b) { return _mm_andnot_si128(a, b); }
    ZQ_SIMD_OP("sse2") M Eq(V a, V b) { return _mm_cmpeq_epi8(a, b); }
    // a <= b, the bytes taken unsigned.
    ZQ_SIMD_OP("sse2") M AtMost(V a, V b) { return _mm_cmpeq_epi8(_mm_min_epu8(a, b), a); }
    ZQ_SIMD_OP("sse2") uint64_t Bits(M m) { return static_cast<uint16_t>(_mm_movemask_epi8(m)); }
    // Writes the first n < kBytes bytes of v, which was loaded from src, and nothing else.
    ZQ_SIMD_OP("sse2") void StoreFirst(void* dst, const void* src, V /*v*/, size_t n) {
        CopyShort(dst, src, n);
    }
    // Writes the bytes of v whose bits are set in keep, in order, at dst, and returns how many;
    // up to kBytes bytes at dst may be written. (SSE2 has no byte shuffle: one byte at a time.)
    ZQ_SIMD_OP("sse2") size_t Compact(char* dst, V v, uint64_t keep) {
        alignas(16) char bytes[16];
        Store(bytes, v);
        size_t n = 0;
        for (; keep != 0; keep &= keep - 1)
            dst[n++] = bytes[__builtin_ctzll(keep)];
        return n;
    }
};

struct Avx2 {
    static constexpr size_t kBytes = 32;
    using V = __m256i;
    using M = __m256i;

    ZQ_SIMD_OP("avx2") V Load(const void* p) {
        return _mm256_loadu_si256(static_cast<const __m256i*>(p));
    }
    ZQ_SIMD_OP("avx2") void Store(void* p, V v) {
        _mm256_storeu_si256(static_cast<__m256i*>(p), v);
    }
    ZQ_SIMD_OP("avx2") V Set(char c) { return _mm256_set1_epi8(c); }
    ZQ_SIMD_OP("avx2") V And(V a, V b) { return _mm256_and_si256(a, b); }
    ZQ_SIMD_OP("avx2") V Or(V a, V b) { return _mm256_or_si256(a, b); }
    ZQ_SIMD_OP("avx2") V AndNot(V a, V b) { return _mm256_andnot_si256(a, b); }
    ZQ_SIMD_OP("avx2") M Eq(V a, V b) { return _mm256_cmpeq_epi8(a, b); }
    ZQ_SIMD_OP("avx2") M AtMost(V a, V b) { return _mm256_cmpeq_epi8(_mm256_min_epu8(a, b), a); }
    ZQ_SIMD_OP("avx2") uint64_t Bits(M m) { return static_cast<uint32_t>(_mm256_movemask_epi8(m)); }
    ZQ_SIMD_OP("avx2") void StoreFirst(void* dst, const void* src, V /*v*/, size_t n) {
        if (n < 16) {
            CopyShort(dst, src, n);
            return;
        }
        // Two halves of 16 bytes that overlap unless n is 32.
        const auto* s = static_cast<const unsigned char*>(src);
        auto* d = static_cast<unsigned char*>(dst);
        const __m128i head = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
        const __m128i tail = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + n - 16));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), head);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + n - 16), tail);
    }
    ZQ_SIMD_OP("avx2") size_t Compact(char* dst, V v, uint64_t keep) {
        const size_t n = GatherLane(dst, _mm256_castsi256_si128(v), keep & 0xFFFF);
        return n + GatherLane(dst + n, _mm256_extracti128_si256(v, 1), (keep >> 16) & 0xFFFF);
    }
};

// GCC 12 warns that its own lane extract reads an uninitialised operand (the undefined vector its
// header passes as the unused merge source).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
struct Avx512 {
    static constexpr size_t kBytes = 64;
    using V = __m512i;
    using M = __mmask64;

    ZQ_SIMD_OP("avx512bw") V Load(const void* p) { return _mm512_loadu_si512(p); }
    ZQ_SIMD_OP("avx512bw") void Store(void* p, V v) { _mm512_storeu_si512(p, v); }
    ZQ_SIMD_OP("avx512bw") V Set(char c) { return _mm512_set1_epi8(c); }
    ZQ_SIMD_OP("avx512bw") V And(V a, V b) { return _mm512_and_si512(a, b); }
    ZQ_SIMD_OP("avx512bw") V Or(V a, V b) { return _mm512_or_si512(a, b); }
    ZQ_SIMD_OP("avx512bw") V AndNot(V a, V b) { return _mm512_andnot_si512(a, b); }
    ZQ_SIMD_OP("avx512bw") M And(M a, M b) { return a & b; }
    ZQ_SIMD_OP("avx512bw") M Or(M a, M b) { return a | b; }
    ZQ_SIMD_OP("avx512bw") M AndNot(M a, M b) { return b & ~a; }
    ZQ_SIMD_OP("avx512bw") M Eq(V a, V b) { return _mm512_cmpeq_epi8_mask(a, b); }
    ZQ_SIMD_OP("avx512bw") M AtMost(V a, V b) { return _mm512_cmple_epu8_mask(a, b); }
    ZQ_SIMD_OP("avx512bw") uint64_t Bits(M m) { return m; }
    ZQ_SIMD_OP("avx512bw") void StoreFirst(void* dst, const void* /*src*/, V v, size_t n) {
        _mm512_mask_storeu_epi8(dst, (uint64_t{1} << n) - 1, v);
    }
    ZQ_SIMD_OP("avx512bw") size_t Compact(char* dst, V v, uint64_t keep) {
        size_t n = GatherLane(dst, _mm512_castsi512_si128(v), keep & 0xFFFF);
        n += GatherLane(dst + n, _mm512_extracti32x4_epi32(v, 1), (keep >> 16) & 0xFFFF);
        n += GatherLane(dst + n, _mm512_extracti32x4_epi32(v, 2), (keep >> 32) & 0xFFFF);
        return n + GatherLane(dst + n, _mm512_extracti32x4_epi32(v, 3), (keep >> 48) & 0xFFFF);
    }
};
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

}  // namespace zq::simd

#undef ZQ_SIMD_OP

#endif  // ZQ_SIMD_X86

#endif  // ZQ_PLATFORM_SIMD_H
