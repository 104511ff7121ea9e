// The processor's vector tiers, and the switch that caps them.
//
// Every routine with vector forms (the escaper's and the needs-escaping test's scanners, the block
// decoder of de-escaping, the substring search, SHA-1) runs the form of Active().tier. That is the
// widest tier the processor has, capped by the environment variable ZQXMLU_CPU, which is read
// once, at the first call that asks:
//
//   ZQXMLU_CPU=scalar | sse2 | avx2 | avx512   the widest tier any routine may use
//   ZQXMLU_CPU=<tier>,portable-sha1            the same, and SHA-1 without the SHA instructions
//
// scalar runs the plain byte loops. SHA-1 uses the processor's SHA instructions (which need more
// than SSE2) when the cap is avx2 or avx512 or there is none. Unset or empty: no cap. A value
// that is not understood caps everything at scalar and the portable SHA-1.
#ifndef ZQ_PLATFORM_CPU_H
#define ZQ_PLATFORM_CPU_H

#include <cstddef>
#include <cstdint>

// The vector tiers exist for x86 (32- and 64-bit) with GCC or Clang; elsewhere only scalar.
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#define ZQ_SIMD_X86 1
#endif

namespace zq::cpu {

enum class Tier : uint8_t { kScalar, kSse2, kAvx2, kAvx512 };
inline constexpr Tier kTiers[] = {Tier::kScalar, Tier::kSse2, Tier::kAvx2, Tier::kAvx512};

// What the processor offers: its widest tier and whether it has the SHA instructions.
struct Features {
    Tier widest = Tier::kScalar;
    bool sha = false;
};

// What the routines run.
struct Choice {
    Tier tier = Tier::kScalar;
    bool shaInstructions = false;
    bool understood = true;  // false: ZQXMLU_CPU held a value that is not one of the above
};

// The processor's features, asked of the processor itself.
Features Detect();

// The choice for a value of ZQXMLU_CPU (NULL: unset) on a processor with these features.
Choice Decide(const char* value, Features features);

// Decide(ZQXMLU_CPU, Detect()), worked out once; any number of threads may ask at once.
const Choice& Active();

// The name of a tier as the switch spells it.
const char* TierName(Tier tier);

// The entry of a table of a routine's forms (scalar first, then one for each vector tier, where
// there are any) that runs on `tier`.
template <class T, size_t N>
const T& FormOf(const T (&forms)[N], Tier tier) {
    const auto i = static_cast<size_t>(tier);
    return forms[i < N ? i : N - 1];
}

}  // namespace zq::cpu

#endif  // ZQ_PLATFORM_CPU_H
