// Reproducible input texts for the benchmarks.
#ifndef ZQ_BENCH_CORPUS_H
#define ZQ_BENCH_CORPUS_H

#include <cstdint>
#include <string>

namespace zqbench {

// Small deterministic generator (xorshift), so every run measures the same bytes.
struct Rng {
    uint64_t s = 0x9E3779B97F4A7C15ULL;
    uint32_t Next() {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return static_cast<uint32_t>(s >> 16);
    }
    uint32_t Below(uint32_t n) { return Next() % n; }
};

// About `bytes` of UTF-8 prose: mostly ASCII words, with about 5% 2-byte, 2% 3-byte and 0.5%
// 4-byte characters.
inline std::string MixedUtf8(size_t bytes) {
    static const char* const kWords[] = {"the",  "photo",   "album",  "summer", "of",
                                         "lake", "keyword", "people", "river",  "and"};
    static const char* const kTwo[] = {"\xC3\xA9", "\xC3\xB6", "\xC3\xA5", "\xC3\x9F", "\xD0\xB4"};
    static const char* const kThree[] = {"\xE2\x82\xAC", "\xE4\xB8\xAD", "\xE3\x81\x82"};
    static const char* const kFour[] = {"\xF0\x9F\x98\x80", "\xF0\x9F\x93\xB7"};
    Rng rng;
    std::string s;
    s.reserve(bytes + 16);
    while (s.size() < bytes) {
        const uint32_t r = rng.Below(1000);
        if (r < 50) {
            s += kTwo[rng.Below(5)];
        } else if (r < 70) {
            s += kThree[rng.Below(3)];
        } else if (r < 75) {
            s += kFour[rng.Below(2)];
        } else {
            s += kWords[rng.Below(10)];
            s += ' ';
        }
    }
    return s;
}

}  // namespace zqbench

#endif  // ZQ_BENCH_CORPUS_H
