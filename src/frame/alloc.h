// Tagged blocks seen from inside the library: checked requests and scratch space for temporaries.
#ifndef ZQ_FRAME_ALLOC_H
#define ZQ_FRAME_ALLOC_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "frame/size.h"
#include "frame/tag.h"
#include "zqxmlu.h"

namespace zq {

// Ends the process with exit status 1 after one line on standard error: what the library does
// when the heap cannot give it a tagged block.
[[noreturn]] void HeapExhausted(uint64_t bytes);

// A zeroed tagged block of count * elemSize bytes. A request beyond kMaxPayload can never be met
// and ends the process as heap exhaustion does.
inline void* AllocBlock(uint64_t count, uint32_t elemSize, const char* tag) {
    const uint64_t bytes = PayloadBytes(count, elemSize);
    if (bytes == kTooLarge) HeapExhausted(kTooLarge);
    return ZqXmlU_Calloc(static_cast<int>(static_cast<uint32_t>(bytes)), 1, tag);
}

// Room for a temporary of `count` elements: a local array of N elements when the caller's
// threshold allows it, else a zeroed tagged block that is released with the object. The local
// array is cleared only when asked (`zero`).
template <typename T, size_t N>
class Scratch {
  public:
    Scratch(uint64_t count, bool local, const char* tag = kTagWork, bool zero = false) {
        if (local && count <= N) {
            p_ = local_;
            if (zero) std::memset(local_, 0, static_cast<size_t>(count) * sizeof(T));
        } else {
            p_ = static_cast<T*>(AllocBlock(count, sizeof(T), tag));
        }
    }
    ~Scratch() {
        if (p_ != local_) {
            void* v = p_;
            ZqXmlU_Free(&v);
        }
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    T* get() const { return p_; }

  private:
    T local_[N];
    T* p_;
};

}  // namespace zq

#endif  // ZQ_FRAME_ALLOC_H
