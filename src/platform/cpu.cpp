// The processor's vector tiers and the ZQXMLU_CPU switch (see cpu.h).
#include "platform/cpu.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>

#if defined(ZQ_SIMD_X86)
#include <cpuid.h>
#endif

namespace zq::cpu {

Features Detect() {
    Features f;
#if defined(ZQ_SIMD_X86)
    // The compiler's feature test also asks the operating system whether it saves the wide
    // registers (XGETBV), so a tier reported here can run.
    __builtin_cpu_init();
    if (__builtin_cpu_supports("sse2")) {
        f.widest = Tier::kSse2;
        if (__builtin_cpu_supports("avx2")) {
            f.widest = Tier::kAvx2;
            if (__builtin_cpu_supports("avx512bw")) f.widest = Tier::kAvx512;
        }
    }
    // The SHA-1 instructions and the SSSE3 and SSE4.1 shuffles that go with them.
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (__get_cpuid(1, &a, &b, &c, &d)) {
        const bool ssse3 = (c & (1u << 9)) != 0;
        const bool sse41 = (c & (1u << 19)) != 0;
        f.sha = ssse3 && sse41 && __get_cpuid_count(7, 0, &a, &b, &c, &d) && (b & (1u << 29)) != 0;
    }
#endif
    return f;
}

Choice Decide(const char* value, Features features) {
    Tier cap = Tier::kAvx512;
    bool portableSha1 = false;
    bool understood = true;
    const std::string_view words = value ? value : "";
    for (size_t at = 0; !words.empty() && at <= words.size();) {
        const size_t end = std::min(words.find(',', at), words.size());
        const std::string_view word = words.substr(at, end - at);
        at = end + 1;
        const auto* tier = std::find_if(std::begin(kTiers), std::end(kTiers),
                                        [word](Tier t) { return word == TierName(t); });
        if (word == "portable-sha1") {
            portableSha1 = true;
        } else if (tier != std::end(kTiers)) {
            cap = *tier;
        } else {
            understood = false;
        }
    }
    if (!understood) return Choice{Tier::kScalar, false, false};
    return Choice{std::min(cap, features.widest),
                  features.sha && cap >= Tier::kAvx2 && !portableSha1, true};
}

const Choice& Active() {
    static const Choice choice = Decide(std::getenv("ZQXMLU_CPU"), Detect());
    return choice;
}

const char* TierName(Tier tier) {
    switch (tier) {
        case Tier::kSse2:
            return "sse2";
        case Tier::kAvx2:
            return "avx2";
        case Tier::kAvx512:
            return "avx512";
        default:
            return "scalar";
    }
}

}  // namespace zq::cpu
