// Internal pieces of the XML text operations: scratch buffers for their temporaries.
#ifndef ZQ_TEXT_CHARCLASS_H
#define ZQ_TEXT_CHARCLASS_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "frame/tag.h"
#include "zqxmlu.h"

namespace zq {

// A zeroed tagged block of count * elemSize bytes. A request that a block cannot record (its size
// field is 32 bits) can never be met and ends the process as heap exhaustion does.
inline void* AllocBlock(uint64_t count, uint32_t elemSize, const char* tag) {
    const uint64_t bytes = count * elemSize;
    if (elemSize != 0 && (count > UINT32_MAX / elemSize || bytes > UINT32_MAX - 12)) {
        std::fprintf(stderr, "zqxmlu: heap exhausted (%llu bytes requested)\n",
                     static_cast<unsigned long long>(bytes));
        std::exit(1);
    }
    return ZqXmlU_Calloc(static_cast<int>(static_cast<uint32_t>(bytes)), 1, tag);
}

// Room for a temporary of `count` elements: a local array of N elements when the caller's
// threshold allows it, else a zeroed tagged block that is released with the object. The local
// array is not zeroed.
template <typename T, size_t N>
class Scratch {
  public:
    Scratch(uint64_t count, bool local, const char* tag = kTagWork) {
        if (local && count <= N) {
            p_ = local_;
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

#endif  // ZQ_TEXT_CHARCLASS_H
