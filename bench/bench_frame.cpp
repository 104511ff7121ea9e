// Frame and platform layer: UTF-8 <-> UTF-16 beside glibc iconv; tagged blocks beside malloc.
#include <benchmark/benchmark.h>
#include <iconv.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "corpus.h"
#include "platform/utf.h"
#include "zqxmlu.h"

namespace {

const std::string& Text() {
    static const std::string text = zqbench::MixedUtf8(1 << 20);
    return text;
}

const std::u16string& Wide() {
    static const std::u16string wide = [] {
        const std::string& t = Text();
        const int n = zq::Utf8ToUtf16(t.data(), static_cast<int>(t.size()), nullptr, 0);
        std::u16string w(static_cast<size_t>(n), u'\0');
        zq::Utf8ToUtf16(t.data(), static_cast<int>(t.size()), w.data(), n);
        return w;
    }();
    return wide;
}

void BM_Utf8ToUtf16_ZqXmlU(benchmark::State& state) {
    const std::string& t = Text();
    std::vector<ZqWChar> out(t.size());
    for ([[maybe_unused]] auto _ : state) {
        const int n = zq::Utf8ToUtf16(t.data(), static_cast<int>(t.size()), out.data(),
                                      static_cast<int>(out.size()));
        benchmark::DoNotOptimize(n);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * t.size()));
}

void BM_Utf8ToUtf16_iconv(benchmark::State& state) {
    const std::string& t = Text();
    std::vector<char> out(t.size() * 2 + 16);
    iconv_t cd = iconv_open("UTF-16LE", "UTF-8");
    for ([[maybe_unused]] auto _ : state) {
        char* in = const_cast<char*>(t.data());
        size_t inLeft = t.size();
        char* o = out.data();
        size_t outLeft = out.size();
        iconv(cd, &in, &inLeft, &o, &outLeft);
        benchmark::DoNotOptimize(o);
    }
    iconv_close(cd);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * t.size()));
}

void BM_Utf16ToUtf8_ZqXmlU(benchmark::State& state) {
    const std::u16string& w = Wide();
    std::vector<char> out(w.size() * 3);
    for ([[maybe_unused]] auto _ : state) {
        const int n = zq::Utf16ToUtf8(w.data(), static_cast<int>(w.size()), out.data(),
                                      static_cast<int>(out.size()));
        benchmark::DoNotOptimize(n);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Text().size()));
}

void BM_Utf16ToUtf8_iconv(benchmark::State& state) {
    const std::u16string& w = Wide();
    std::vector<char> out(w.size() * 3 + 16);
    iconv_t cd = iconv_open("UTF-8", "UTF-16LE");
    for ([[maybe_unused]] auto _ : state) {
        char* in = reinterpret_cast<char*>(const_cast<char16_t*>(w.data()));
        size_t inLeft = w.size() * 2;
        char* o = out.data();
        size_t outLeft = out.size();
        iconv(cd, &in, &inLeft, &o, &outLeft);
        benchmark::DoNotOptimize(o);
    }
    iconv_close(cd);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Text().size()));
}

// Allocate and release 64-byte blocks, 64 live at a time.
void BM_TaggedBlock64_ZqXmlU(benchmark::State& state) {
    void* blocks[64];
    for ([[maybe_unused]] auto _ : state) {
        for (auto& b : blocks)
            b = ZqXmlU_Calloc(64, 1, "bnch");
        benchmark::DoNotOptimize(blocks);
        for (auto& b : blocks)
            ZqXmlU_Free(&b);
    }
    state.SetItemsProcessed(state.iterations() * 64);
}

void BM_TaggedBlock64_malloc(benchmark::State& state) {
    void* blocks[64];
    for ([[maybe_unused]] auto _ : state) {
        for (auto& b : blocks)
            b = std::malloc(64);
        benchmark::DoNotOptimize(blocks);
        for (auto& b : blocks)
            std::free(b);
    }
    state.SetItemsProcessed(state.iterations() * 64);
}

// calloc + free: the same work including the clearing that tagged blocks guarantee.
void BM_TaggedBlock64_calloc(benchmark::State& state) {
    void* blocks[64];
    for ([[maybe_unused]] auto _ : state) {
        for (auto& b : blocks)
            b = std::calloc(1, 64);
        benchmark::DoNotOptimize(blocks);
        for (auto& b : blocks)
            std::free(b);
    }
    state.SetItemsProcessed(state.iterations() * 64);
}

// calloc + free of the whole 76-byte allocation a 64-byte tagged block is: the heap's share of
// the tagged figure, which the 12-byte frame and the clearing fix.
void BM_TaggedBlock64_calloc76(benchmark::State& state) {
    void* blocks[64];
    for ([[maybe_unused]] auto _ : state) {
        for (auto& b : blocks)
            b = std::calloc(1, 64 + 12);
        benchmark::DoNotOptimize(blocks);
        for (auto& b : blocks)
            std::free(b);
    }
    state.SetItemsProcessed(state.iterations() * 64);
}

BENCHMARK(BM_Utf8ToUtf16_ZqXmlU);
BENCHMARK(BM_Utf8ToUtf16_iconv);
BENCHMARK(BM_Utf16ToUtf8_ZqXmlU);
BENCHMARK(BM_Utf16ToUtf8_iconv);
BENCHMARK(BM_TaggedBlock64_ZqXmlU);
BENCHMARK(BM_TaggedBlock64_malloc);
BENCHMARK(BM_TaggedBlock64_calloc);
BENCHMARK(BM_TaggedBlock64_calloc76);

}  // namespace
