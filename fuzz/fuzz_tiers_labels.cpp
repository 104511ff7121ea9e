// The clean-up of label documents (line ends dropped, stray quotes marked) in every vector tier the
// processor has against the scalar form: the same text and length, each text in a block of
// exactly its size. The first byte repeats the rest up to 64 times, so that texts also span
// several of the 16 KiB stretches the clean-up takes at a time.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "metadata/labels.h"
#include "platform/cpu.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t copies = data[0] % 64 + 1;
    const std::string piece(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string text;
    for (size_t i = 0; i < copies; ++i)
        text += piece;
    text.resize(std::strlen(text.c_str()));
    if (text.size() > (1u << 18)) return 0;
    std::string expected;
    for (zq::cpu::Tier tier : zq::cpu::kTiers) {
        if (tier > zq::cpu::Detect().widest) break;
        char* block = static_cast<char*>(std::malloc(text.size() + 1));
        std::memcpy(block, text.c_str(), text.size() + 1);
        const size_t length = zq::CleanUpLabelsOn(tier, block);
        zqfuzz::Check(length == std::strlen(block));
        if (tier == zq::cpu::Tier::kScalar) {
            expected.assign(block, length);
        } else {
            zqfuzz::Check(expected == std::string(block, length));
        }
        std::free(block);
    }
    return 0;
}
