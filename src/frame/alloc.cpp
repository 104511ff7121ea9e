// Tagged blocks: one heap allocation laid out as [tag 4][size 4][payload][tag 4]. The caller holds
// the payload pointer; the trailing copy of the tag lets a release tell a sound block from an
// overrun or foreign one.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "frame/alloc.h"
#include "frame/tag.h"
#include "zqxmlu.h"

namespace {

constexpr size_t kHeader = 8;
constexpr size_t kOverhead = 12;

inline unsigned char* Base(void* payload) {
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

inline uint32_t PayloadSize(int count, unsigned elementSize) {
    return static_cast<uint32_t>(count) * static_cast<uint32_t>(elementSize);
}

void* NewBlock(uint32_t n, const char* tag) {
    // malloc and an explicit clear of the payload: cheaper than calloc, since the header and
    // the trailing tag are written anyway.
    const size_t total = static_cast<size_t>(n) + kOverhead;
    auto* raw = static_cast<unsigned char*>(std::malloc(total));
    if (!raw) zq::HeapExhausted(total);
    std::memset(raw + kHeader, 0, n);
    const uint32_t word = zq::TagWord(tag);
    StoreWord(raw, word);
    StoreWord(raw + 4, n);
    StoreWord(raw + kHeader + n, word);
    return raw + kHeader;
}

}  // namespace

namespace zq {

void HeapExhausted(uint64_t bytes) {
    std::fprintf(stderr, "zqxmlu: heap exhausted (%llu bytes requested)\n",
                 static_cast<unsigned long long>(bytes));
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
    unsigned char* base = Base(p);
    const uint32_t old = LoadWord(base + 4);
    const uint32_t trailing = LoadWord(base + kHeader + old);
    const size_t total = static_cast<size_t>(n) + kOverhead;
    auto* raw = static_cast<unsigned char*>(std::realloc(base, total));
    if (!raw) zq::HeapExhausted(total);
    unsigned char* payload = raw + kHeader;
    StoreWord(raw + 4, n);
    StoreWord(payload + n, trailing);
    if (n > old) std::memset(payload + old, 0, n - old);
    return payload;
}

int ZQ_CALL ZqXmlU_Free(void** pp) {
    if (!pp || !*pp) return 0;
    unsigned char* base = Base(*pp);
    const uint32_t size = LoadWord(base + 4);
    if (ValidTag(base) && LoadWord(base) == LoadWord(base + kHeader + size)) std::free(base);
    *pp = nullptr;
    return static_cast<int>(size);
}

unsigned ZQ_CALL ZqXmlU_FreeC(void** pp, unsigned keep) {
    if (!pp || !*pp) return 0;
    unsigned char* base = Base(*pp);
    const uint32_t size = LoadWord(base + 4);
    if (keep == 0) {
        if (ValidTag(base)) std::free(base);
        *pp = nullptr;
    }
    return size;
}

uint32_t ZQ_CALL ZqXmlU_GetUsedSpace(void* p) {
    return p ? LoadWord(Base(p) + 4) : 0;
}

}  // extern "C"
