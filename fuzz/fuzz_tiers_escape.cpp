// The string escaper in every vector tier the processor has against the scalar form: into a new
// output of exactly the worst case (filled a block at a time) and into a cut buffer of exactly
// its size, the same bytes and result bits.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_support.h"
#include "platform/cpu.h"
#include "text/charclass.h"

namespace {

// The bytes written and the result bits, in exact-size heap blocks (a store past them is found).
std::vector<char> Run(zq::cpu::Tier tier, const unsigned char* in, size_t len, size_t cut) {
    char* fresh = static_cast<char*>(std::calloc(6 * len + 1, 1));
    char* bounded = static_cast<char*>(std::malloc(cut));
    const int bits = zq::EscapeOn(tier, in, len, fresh, 6 * len + 1, true);
    zqfuzz::Check(zq::EscapeOn(tier, in, len, bounded, cut, false) == bits);
    std::vector<char> out(fresh, fresh + 6 * len + 1);
    out.insert(out.end(), bounded, bounded + strnlen(bounded, cut));
    out.push_back(static_cast<char>(bits));
    std::free(fresh);
    std::free(bounded);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2 || size > (1 << 14)) return 0;
    const size_t cut = 1 + (data[0] | data[1] << 8) % (6 * size);
    const std::vector<char> scalar = Run(zq::cpu::Tier::kScalar, data + 2, size - 2, cut);
    for (zq::cpu::Tier tier : zq::cpu::kTiers) {
        if (tier == zq::cpu::Tier::kScalar) continue;
        if (tier > zq::cpu::Detect().widest) break;
        zqfuzz::Check(Run(tier, data + 2, size - 2, cut) == scalar);
    }
    return 0;
}
