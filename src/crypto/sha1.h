// SHA-1 compression for the crypto subsystem: one portable function and, on x86 processors that
// have them, the SHA instructions, chosen once with the other vector tiers (platform/cpu.h).
#ifndef ZQ_CRYPTO_SHA1_H
#define ZQ_CRYPTO_SHA1_H

#include <cstddef>
#include <cstdint>

namespace zq {

// The two compression functions: the portable one, and the processor's SHA instructions.
enum class Sha1Engine { kPortable, kShaInstructions };

// The engine every digest uses: the SHA instructions when the processor has them and the
// ZQXMLU_CPU switch allows them (platform/cpu.h), else the portable function.
Sha1Engine Sha1ActiveEngine();

// Compresses `blocks` consecutive 64-byte blocks at data into the five chaining words with the
// given engine; the SHA instructions only where the processor has them (cpu::Detect().sha).
void Sha1BlocksOn(Sha1Engine engine, uint32_t state[5], const unsigned char* data, size_t blocks);

}  // namespace zq

#endif  // ZQ_CRYPTO_SHA1_H
