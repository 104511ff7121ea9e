// Tagged blocks: one heap allocation laid out as [8 zero bytes][tag 4][size 4][payload][tag 4].
// The caller holds the payload pointer; the trailing copy of the tag lets a release tell a sound
// block from an overrun or foreign one. The 8 front bytes are not part of the visible frame: they
// let the test for a shared XML string (its magic word lies 16 bytes before the text) read inside
// the block and find no magic there.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "frame/alloc.h"
#include "frame/size.h"
#include "frame/tag.h"
#include "zqxmlu.h"

namespace {

constexpr size_t kFront = 8;               // zero bytes before the visible frame
constexpr size_t kHeader = kFront + 8;     // allocation start to payload
constexpr size_t kOverhead = kHeader + 4;  // with the trailing tag
static_assert(zq::kMaxPayload + kOverhead <= UINT32_MAX, "an allocation fits any size_t");

// The visible frame: the tag word, then the size word, right before the payload.
inline unsigned char* Frame(void* payload) {
    return static_cast<unsigned char*>(payload) - 8;
}

inline void* Allocation(void* payload) {
    return static_cast<unsigned char*>(payload) - kHeader;
}

inline uint32_t LoadWord(const unsigned char* p) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void StoreWord(unsigned char* p, uint32_t v) {
    std::memcpy(p, &v, sizeof v);
}

// A tag byte is valid when, read as a signed byte, it lies in '0'..'z'.
inline bool ValidTag(const unsigned char* tag) {
    bool valid = true;
    for (int i = 0; i < 4; ++i) {
        const auto c = static_cast<signed char>(tag[i]);
        valid &= c >= '0' && c <= 'z';
    }
    return valid;
}

// The payload size: count * element size as an unsigned 32-bit product. A size that no block
// can hold ends the process, as heap exhaustion does.
inline uint32_t PayloadSize(int count, unsigned elementSize) {
    const uint32_t n = static_cast<uint32_t>(count) * static_cast<uint32_t>(elementSize);
    if (zq::PayloadBytes(n, 1) == zq::kTooLarge) zq::HeapExhausted(n);
    return n;
}

void* NewBlock(uint32_t n, const char* tag) {
    // malloc and an explicit clear of the payload: cheaper than calloc, since the frame is
    // written anyway.
    const size_t total = static_cast<size_t>(n) + kOverhead;
    auto* raw = static_cast<unsigned char*>(std::malloc(total));
    if (!raw) zq::HeapExhausted(total);
    std::memset(raw, 0, kFront);
    std::memset(raw + kHeader, 0, n);
    const uint32_t word = zq::TagWord(tag);
    StoreWord(raw + kFront, word);
    StoreWord(raw + kFront + 4, n);
    StoreWord(raw + kHeader + n, word);
    return raw + kHeader;
}

}  // namespace

namespace zq {

void HeapExhausted(uint64_t bytes) {
    if (bytes == kTooLarge || bytes > kMaxPayload) {
        std::fprintf(stderr, "zqxmlu: heap exhausted (more than %llu bytes requested)\n",
                     static_cast<unsigned long long>(kMaxPayload));
    } else {
        std::fprintf(stderr, "zqxmlu: heap exhausted (%llu bytes requested)\n",
                     static_cast<unsigned long long>(bytes));
    }
    std::exit(1);
}

}  // namespace zq

extern "C" {

void* ZQ_CALL ZqXmlU_Calloc(int count, int elementSize, const char* tag) {
    return NewBlock(PayloadSize(count, static_cast<unsigned>(elementSize)), tag);
}

void* ZQ_CALL ZqXmlU_Realloc(void* p, int count, unsigned elementSize, const char* tag) {
    const uint32_t n = PayloadSize(count, elementSize);
    if (!p) return NewBlock(n, tag);
    const uint32_t old = LoadWord(Frame(p) + 4);
    const uint32_t trailing = LoadWord(static_cast<unsigned char*>(p) + old);
    const size_t total = static_cast<size_t>(n) + kOverhead;
    auto* raw = static_cast<unsigned char*>(std::realloc(Allocation(p), total));
    if (!raw) zq::HeapExhausted(total);
    unsigned char* payload = raw + kHeader;
    StoreWord(payload - 4, n);
    StoreWord(payload + n, trailing);
    if (n > old) std::memset(payload + old, 0, n - old);
    return payload;
}

int ZQ_CALL ZqXmlU_Free(void** pp) {
    if (!pp || !*pp) return 0;
    const unsigned char* frame = Frame(*pp);
    const uint32_t size = LoadWord(frame + 4);
    if (ValidTag(frame) && LoadWord(frame) == LoadWord(frame + 8 + size)) {
        std::free(Allocation(*pp));
    }
    *pp = nullptr;
    return static_cast<int>(size);
}

unsigned ZQ_CALL ZqXmlU_FreeC(void** pp, unsigned keep) {
    if (!pp || !*pp) return 0;
    const unsigned char* frame = Frame(*pp);
    const uint32_t size = LoadWord(frame + 4);
    if (keep == 0) {
        if (ValidTag(frame)) std::free(Allocation(*pp));
        *pp = nullptr;
    }
    return size;
}

uint32_t ZQ_CALL ZqXmlU_GetUsedSpace(void* p) {
    return p ? LoadWord(Frame(p) + 4) : 0;
}

}  // extern "C"
