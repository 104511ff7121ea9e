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
};

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
};

}  // namespace zq::simd

#undef ZQ_SIMD_OP

#endif  // ZQ_SIMD_X86

#endif  // ZQ_PLATFORM_SIMD_H
