// The library's own vector forms beside Google Highway, the portable SIMD library a user would
// otherwise pick: the substring search over 1 MiB of prose with one rare needle at the end, the
// same algorithm in both (a block of candidates whose first and last characters match, each
// confirmed with strncmp, in pieces of 16 KiB). The library runs each tier it has through its own
// tier-explicit entry; Highway runs its best target, and AVX2 alone.
//
// Highway compiles this file once per target: it includes itself through foreach_target.h.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "bench_highway.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

HWY_BEFORE_NAMESPACE();
namespace zqbench {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// The offset of the first occurrence of target (n >= 2) that starts in s[0, len), or len + 1;
// s[0, len] is readable.
size_t SearchPiece(const char* s, size_t len, const char* target, size_t n) {
    const hn::ScalableTag<uint8_t> d;
    const size_t lanes = hn::Lanes(d);
    const auto* p = reinterpret_cast<const uint8_t*>(s);
    const auto first = hn::Set(d, static_cast<uint8_t>(target[0]));
    const auto last = hn::Set(d, static_cast<uint8_t>(target[n - 1]));
    size_t i = 0;
    for (; i + n - 1 + lanes <= len + 1; i += lanes) {
        const auto m =
            hn::And(hn::Eq(hn::LoadU(d, p + i), first), hn::Eq(hn::LoadU(d, p + i + n - 1), last));
        if (hn::AllFalse(d, m)) continue;
        uint8_t bytes[8] = {};
        hn::StoreMaskBits(d, m, bytes);
        uint64_t bits;
        std::memcpy(&bits, bytes, sizeof bits);
        for (; bits; bits &= bits - 1) {
            const size_t at = i + static_cast<size_t>(std::countr_zero(bits));
            if (std::strncmp(s + at + 1, target + 1, n - 1) == 0) return at;
        }
    }
    for (; i < len; ++i) {
        if (s[i] == target[0] && std::strncmp(s + i + 1, target + 1, n - 1) == 0) return i;
    }
    return len + 1;
}

}  // namespace HWY_NAMESPACE
}  // namespace zqbench
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include <benchmark/benchmark.h>

#include <string>

#include "corpus.h"
#include "platform/cpu.h"
#include "scan/scanners.h"

namespace zqbench {
HWY_EXPORT(SearchPiece);

const char* HighwayFind(const char* s, const char* target, size_t n) {
    for (;;) {
        const size_t len = strnlen(s, 16384);
        const size_t at = HWY_DYNAMIC_DISPATCH(SearchPiece)(s, len, target, n);
        if (at <= len) return s + at;
        if (len < 16384) return nullptr;
        s += len;
    }
}

}  // namespace zqbench

namespace {

constexpr char kNeedle[] = "riverbank";

const std::string& Haystack() {
    static const std::string text = zqbench::MixedUtf8(1 << 20) + kNeedle;
    return text;
}

// Argument: the tier (1 SSE2, 2 AVX2, 3 AVX-512BW).
void BM_Search_ZqXmlU(benchmark::State& state) {
    const auto tier = static_cast<zq::cpu::Tier>(state.range(0));
    if (tier > zq::cpu::Detect().widest) {
        state.SkipWithError("the processor lacks this tier");
        return;
    }
    const std::string& text = Haystack();
    for ([[maybe_unused]] auto _ : state)
        benchmark::DoNotOptimize(zq::FindTextOn(tier, text.c_str(), kNeedle, sizeof kNeedle - 1));
    state.SetLabel(zq::cpu::TierName(tier));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_Search_ZqXmlU)->Arg(1)->Arg(2)->Arg(3);

// Argument: 0 Highway's best target here, 1 AVX2 alone.
void BM_Search_Highway(benchmark::State& state) {
    if (state.range(0) == 1) hwy::SetSupportedTargetsForTest(HWY_AVX2);
    const std::string& text = Haystack();
    const char* expected = std::strstr(text.c_str(), kNeedle);
    if (zqbench::HighwayFind(text.c_str(), kNeedle, sizeof kNeedle - 1) != expected)
        state.SkipWithError("Highway's search disagrees with strstr");
    for ([[maybe_unused]] auto _ : state) {
        benchmark::DoNotOptimize(zqbench::HighwayFind(text.c_str(), kNeedle, sizeof kNeedle - 1));
    }
    const int64_t targets = hwy::SupportedTargets() & HWY_TARGETS;  // the best has the lowest bit
    state.SetLabel(hwy::TargetName(targets & -targets));
    hwy::SetSupportedTargetsForTest(0);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_Search_Highway)->Arg(0)->Arg(1);

}  // namespace
#endif  // HWY_ONCE
