// Compiles a file of vector routines once for every x86 tier, so that one text serves every width.
//
// Include platform/simd.h with the other headers; define ZQ_TIER_FILE as the file's quoted path,
// then include this header at namespace scope (inside an unnamed namespace, so that nothing
// leaves the source file). The file is included in
// namespace tier_sse2, then tier_avx2, then tier_avx512; each time `S` names that tier's
// operations (platform/simd.h) and every function the file defines is compiled for that tier's
// instructions alone. The file includes no headers of its own. Where there are no x86 tiers,
// nothing is included and only the scalar forms exist.
//
// No include guard, and no headers of its own: included once for each file of vector routines.
#if defined(ZQ_SIMD_X86)

#define ZQ_TIER_PRAGMA(text) _Pragma(#text)
#if defined(__clang__)
#define ZQ_TIER_BEGIN(isa) \
    ZQ_TIER_PRAGMA(clang attribute push(__attribute__((target(isa))), apply_to = function))
#define ZQ_TIER_END ZQ_TIER_PRAGMA(clang attribute pop)
#else
#define ZQ_TIER_BEGIN(isa) ZQ_TIER_PRAGMA(GCC push_options) ZQ_TIER_PRAGMA(GCC target(isa))
#define ZQ_TIER_END ZQ_TIER_PRAGMA(GCC pop_options)
#endif

ZQ_TIER_BEGIN("sse2")
namespace tier_sse2 {
using S = ::zq::simd::Sse2;
#include ZQ_TIER_FILE
}  // namespace tier_sse2
ZQ_TIER_END

ZQ_TIER_BEGIN("avx2")
namespace tier_avx2 {
using S = ::zq::simd::Avx2;
#include ZQ_TIER_FILE
}  // namespace tier_avx2
ZQ_TIER_END

ZQ_TIER_BEGIN("avx512bw")
namespace tier_avx512 {
using S = ::zq::simd::Avx512;
#include ZQ_TIER_FILE
}  // namespace tier_avx512
ZQ_TIER_END

#undef ZQ_TIER_BEGIN
#undef ZQ_TIER_END
#undef ZQ_TIER_PRAGMA

#endif  // ZQ_SIMD_X86

#undef ZQ_TIER_FILE
