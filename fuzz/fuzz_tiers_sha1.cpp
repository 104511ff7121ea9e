// SHA-1 compression on the processor's SHA instructions against the portable function: the same
// state after any number of blocks from any starting state.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "crypto/sha1.h"
#include "fuzz_support.h"
#include "platform/cpu.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 20 || !zq::cpu::Detect().sha) return 0;
    uint32_t portable[5], instructions[5];
    std::memcpy(portable, data, 20);
    std::memcpy(instructions, data, 20);
    const size_t blocks = (size - 20) / 64;
    zq::Sha1BlocksOn(zq::Sha1Engine::kPortable, portable, data + 20, blocks);
    zq::Sha1BlocksOn(zq::Sha1Engine::kShaInstructions, instructions, data + 20, blocks);
    zqfuzz::Check(std::memcmp(portable, instructions, 20) == 0);
    return 0;
}
