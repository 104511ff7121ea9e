// SHA-1 compression for the crypto subsystem: one portable function and, on x86 processors that
// have them, the SHA instructions. The choice is made once, at the first digest.
#ifndef ZQ_CRYPTO_SHA1_H
#define ZQ_CRYPTO_SHA1_H

#include <cstddef>
#include <cstdint>

namespace zq {

// Compresses `blocks` consecutive 64-byte blocks at data into the five chaining words.
void Sha1Blocks(uint32_t state[5], const unsigned char* data, size_t blocks);

// true: every later compression uses the portable function (tests compare both); false: the
// processor's SHA instructions again, when it has them. Safe to call from any thread.
void Sha1ForcePortable(bool portable);

// Whether compressions now run on the SHA instructions.
bool Sha1UsesShaInstructions();

}  // namespace zq

#endif  // ZQ_CRYPTO_SHA1_H
