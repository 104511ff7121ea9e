// The substring search in every vector tier the processor has against the scalar form and
// strstr, from every start of a short text (a spread of starts in a long one), the text in a
// block of exactly its size; and the element end of the text in every tier against the scalar
// form.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "platform/cpu.h"
#include "scan/scanners.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string target = in.ConsumeRandomLengthString(80);
    const std::string rest = in.ConsumeRemainingBytesAsString();
    const size_t n = std::strlen(target.c_str());
    const size_t length = std::strlen(rest.c_str());
    if (n == 0 || length > (1u << 18)) return 0;
    char* text = static_cast<char*>(std::malloc(length + 1));
    std::memcpy(text, rest.c_str(), length + 1);
    const size_t step = length < 64 ? 1 : length / 16 + 1;
    for (size_t start = 0; start <= length; start += step) {
        const char* expected = std::strstr(text + start, target.c_str());
        for (zq::cpu::Tier tier : zq::cpu::kTiers) {
            if (tier > zq::cpu::Detect().widest) break;
            zqfuzz::Check(zq::FindTextOn(tier, text + start, target.c_str(), n) == expected);
        }
    }
    if (text[0] == '<') {
        const ZqLong end = zq::XmlEndOn(zq::cpu::Tier::kScalar, text);
        for (zq::cpu::Tier tier : zq::cpu::kTiers) {
            if (tier > zq::cpu::Detect().widest) break;
            zqfuzz::Check(zq::XmlEndOn(tier, text) == end);
        }
    }
    std::free(text);
    return 0;
}
