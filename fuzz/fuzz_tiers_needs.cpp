// The needs-escaping test in every vector tier the processor has against the scalar form, on a
// text in a block of exactly its size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fuzz_support.h"
#include "platform/cpu.h"
#include "text/charclass.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1 << 16)) return 0;
    char* text = static_cast<char*>(std::malloc(size + 1));
    std::memcpy(text, data, size);
    text[size] = '\0';
    const int scalar = zq::NeedsEscapingOn(zq::cpu::Tier::kScalar, text);
    for (zq::cpu::Tier tier : zq::cpu::kTiers) {
        if (tier > zq::cpu::Detect().widest) break;
        zqfuzz::Check(zq::NeedsEscapingOn(tier, text) == scalar);
    }
    std::free(text);
    return 0;
}
