// Sizes of tagged blocks and shared XML strings: one checked computation for every request.
#ifndef ZQ_FRAME_SIZE_H
#define ZQ_FRAME_SIZE_H

#include <cstdint>

namespace zq {

// The largest payload of a tagged block and the largest text area of a shared XML string. Both
// record their size in 32 bits, and one heap allocation holds the payload and its frame (20
// bytes for a block, 19 for a string), which must stay representable in a 32-bit size_t.
inline constexpr uint64_t kMaxPayload = UINT32_MAX - 20;

// What PayloadBytes gives for a request that no block or string can hold.
inline constexpr uint64_t kTooLarge = UINT64_MAX;

// count * elementSize + extra bytes, or kTooLarge when that exceeds kMaxPayload (no arithmetic
// here can wrap, whatever the arguments).
constexpr uint64_t PayloadBytes(uint64_t count, uint64_t elementSize, uint64_t extra = 0) {
    if (elementSize != 0 && count > kMaxPayload / elementSize) return kTooLarge;
    const uint64_t bytes = count * elementSize;
    return extra > kMaxPayload - bytes ? kTooLarge : bytes + extra;
}

}  // namespace zq

#endif  // ZQ_FRAME_SIZE_H
