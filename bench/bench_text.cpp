// XML text encoding on 1 MiB of prose with about 1% markup characters: escaping beside libxml2's
// xmlEncodeSpecialChars; de-escaping text with an entity or reference about every 64 bytes beside
// memcpy of the same buffer; the needs-escaping test, which must read the whole text (the prose
// without markup, and the prose escaped), beside memchr over the same buffer.
#include <benchmark/benchmark.h>
#include <libxml/entities.h>
#include <libxml/xmlmemory.h>

#include <cstring>
#include <string>
#include <vector>

#include "corpus.h"
#include "zqxmlu.h"

namespace {

char kTag[] = "bnch";
constexpr size_t kSize = 1 << 20;

// Prose with about 1% markup characters in place of ASCII bytes.
const std::string& Prose() {
    static const std::string text = [] {
        std::string s = zqbench::MixedUtf8(kSize);
        zqbench::Rng rng;
        static const char kMarkup[] = "&<>\"'";
        for (char& c : s) {
            if (static_cast<unsigned char>(c) < 0x80 && rng.Below(100) == 0) {
                c = kMarkup[rng.Below(5)];
            }
        }
        return s;
    }();
    return text;
}

// Escaped prose with an entity or reference about every 64 bytes: the five entities that the
// escaper writes for markup, and one numeric reference in ten.
const std::string& Escaped() {
    static const std::string text = [] {
        static const char* const kEntities[] = {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;"};
        static const char* const kReferences[] = {"&#x41;", "&#233;", "&#xE9;", "&#010;"};
        const std::string plain = zqbench::MixedUtf8(kSize);
        zqbench::Rng rng;
        std::string s;
        s.reserve(kSize + kSize / 8);
        size_t next = 32 + rng.Below(64);
        for (size_t i = 0; i < plain.size(); ++i) {
            if (i == next) {
                s += rng.Below(10) ? kEntities[rng.Below(5)] : kReferences[rng.Below(4)];
                next += 32 + rng.Below(64);
            }
            s += plain[i];
        }
        return s;
    }();
    return text;
}

void BM_Escape_ZqXmlU(benchmark::State& state) {
    std::string text = Prose();
    for (auto _ : state) {
        char* out = nullptr;
        ZqXmlU_EscapeXMLStringA(&out, text.data(), 0, 0, kTag);
        benchmark::DoNotOptimize(out);
        void* v = out;
        ZqXmlU_Free(&v);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_Escape_libxml2(benchmark::State& state) {
    const std::string& text = Prose();
    for (auto _ : state) {
        xmlChar* out =
            xmlEncodeSpecialChars(nullptr, reinterpret_cast<const xmlChar*>(text.c_str()));
        benchmark::DoNotOptimize(out);
        xmlFree(out);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_DeEscape_ZqXmlU(benchmark::State& state) {
    std::string text = Escaped();
    std::vector<char> out(text.size() + 1);
    for (auto _ : state) {
        char* p = out.data();
        const int n =
            ZqXmlU_DeEscapeTextA(0, &p, text.data(), static_cast<ZqLong>(out.size()), kTag);
        benchmark::DoNotOptimize(n);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_DeEscape_memcpy(benchmark::State& state) {
    const std::string& text = Escaped();
    std::vector<char> out(text.size() + 1);
    for (auto _ : state) {
        std::memcpy(out.data(), text.data(), text.size() + 1);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// The prose with its markup characters escaped: the test reads all of it, entities included,
// and finds nothing to escape.
const std::string& EscapedProse() {
    static const std::string text = [] {
        std::string s = Prose();
        char* out = nullptr;
        ZqXmlU_EscapeXMLStringA(&out, s.data(), 0, 0, kTag);
        std::string escaped = out;
        void* v = out;
        ZqXmlU_Free(&v);
        return escaped;
    }();
    return text;
}

// The prose without markup characters.
const std::string& PlainProse() {
    static const std::string text = [] {
        std::string s = Prose();
        for (char& c : s) {
            if (std::strchr("&<>\"'", c)) c = 'a';
        }
        return s;
    }();
    return text;
}

void NeedsEscaping(benchmark::State& state, const std::string& source) {
    std::string text = source;
    for (auto _ : state) {
        const int r = ZqXmlU_NeedsEscapingA(text.data());
        benchmark::DoNotOptimize(r);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void Memchr(benchmark::State& state, const std::string& text) {
    for (auto _ : state) {
        const void* hit = std::memchr(text.data(), '\x01', text.size());
        benchmark::DoNotOptimize(hit);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_NeedsEscaping_Plain_ZqXmlU(benchmark::State& state) {
    NeedsEscaping(state, PlainProse());
}

void BM_NeedsEscaping_Plain_memchr(benchmark::State& state) {
    Memchr(state, PlainProse());
}

void BM_NeedsEscaping_Escaped_ZqXmlU(benchmark::State& state) {
    NeedsEscaping(state, EscapedProse());
}

void BM_NeedsEscaping_Escaped_memchr(benchmark::State& state) {
    Memchr(state, EscapedProse());
}

BENCHMARK(BM_Escape_ZqXmlU);
BENCHMARK(BM_Escape_libxml2);
BENCHMARK(BM_DeEscape_ZqXmlU);
BENCHMARK(BM_DeEscape_memcpy);
BENCHMARK(BM_NeedsEscaping_Plain_ZqXmlU);
BENCHMARK(BM_NeedsEscaping_Plain_memchr);
BENCHMARK(BM_NeedsEscaping_Escaped_ZqXmlU);
BENCHMARK(BM_NeedsEscaping_Escaped_memchr);

}  // namespace
