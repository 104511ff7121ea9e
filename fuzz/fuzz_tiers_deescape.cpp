// The de-escaping decoder in every vector tier the processor has against the scalar form: into
// an output apart from the text of exactly the size given, with the limit of a buffer larger
// than the text or of one that is not, and in place.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "platform/cpu.h"
#include "text/charclass.h"

namespace {

std::string Run(zq::cpu::Tier tier, const char* text, size_t len, size_t cap) {
    char* out = static_cast<char*>(std::malloc(cap));
    const size_t n = zq::DecodeOn(tier, text, len, out, cap, cap > len ? cap + 5 : cap);
    zqfuzz::Check(n <= cap);
    std::string r(out, n);
    std::free(out);
    char* inPlace = static_cast<char*>(std::malloc(len + 1));
    std::memcpy(inPlace, text, len + 1);
    const size_t m = zq::DecodeOn(tier, inPlace, len, inPlace, len + 1, len + 6);
    r += '|' + std::string(inPlace, m);
    std::free(inPlace);
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2 || size > (1 << 16)) return 0;
    const size_t len = strnlen(reinterpret_cast<const char*>(data) + 2, size - 2);
    char* text = static_cast<char*>(std::malloc(len + 1));
    std::memcpy(text, data + 2, len);
    text[len] = '\0';
    const size_t cap = 1 + (data[0] | data[1] << 8) % (len + 80);
    const std::string scalar = Run(zq::cpu::Tier::kScalar, text, len, cap);
    for (zq::cpu::Tier tier : zq::cpu::kTiers) {
        if (tier == zq::cpu::Tier::kScalar) continue;
        if (tier > zq::cpu::Detect().widest) break;
        zqfuzz::Check(Run(tier, text, len, cap) == scalar);
    }
    std::free(text);
    return 0;
}
