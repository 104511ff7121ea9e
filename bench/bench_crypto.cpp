// Digests and encodings on 1 MiB: SHA-1 beside OpenSSL's SHA1, Base64 beside OpenSSL's
// EVP_EncodeBlock / EVP_DecodeBlock.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/sha.h>

#include <cstdint>
#include <string>
#include <vector>

#include "corpus.h"
#include "crypto/sha1.h"
#include "zqxmlu.h"

namespace {

constexpr size_t kSize = 1 << 20;

const std::string& Text() {
    static const std::string text = zqbench::MixedUtf8(kSize).substr(0, kSize);
    return text;
}

const std::vector<unsigned char>& Bytes() {
    static const std::vector<unsigned char> bytes = [] {
        zqbench::Rng rng;
        std::vector<unsigned char> v(kSize);
        for (auto& b : v)
            b = static_cast<unsigned char>(rng.Next());
        return v;
    }();
    return bytes;
}

void BM_Sha1Interval_ZqXmlU(benchmark::State& state) {
    const std::string& t = Text();
    uint32_t digest[5];
    for ([[maybe_unused]] auto _ : state) {
        ZqXmlU_Sha1Interval(t.data(), 0, static_cast<uint32_t>(t.size() - 1), digest, 0);
        benchmark::DoNotOptimize(digest);
    }
    state.SetLabel(zq::Sha1ActiveEngine() == zq::Sha1Engine::kShaInstructions ? "SHA instructions"
                                                                              : "portable");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * t.size()));
}
BENCHMARK(BM_Sha1Interval_ZqXmlU);

// The portable compression function alone, on the same megabyte (whole blocks).
void BM_Sha1Portable_ZqXmlU(benchmark::State& state) {
    const std::string& t = Text();
    const auto* p = reinterpret_cast<const unsigned char*>(t.data());
    uint32_t digest[5] = {};
    for ([[maybe_unused]] auto _ : state) {
        zq::Sha1BlocksOn(zq::Sha1Engine::kPortable, digest, p, t.size() / 64);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * (t.size() / 64 * 64)));
}
BENCHMARK(BM_Sha1Portable_ZqXmlU);

void BM_Sha1_OpenSSL(benchmark::State& state) {
    const std::string& t = Text();
    unsigned char md[20];
    for ([[maybe_unused]] auto _ : state) {
        SHA1(reinterpret_cast<const unsigned char*>(t.data()), t.size(), md);
        benchmark::DoNotOptimize(md);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * t.size()));
}
BENCHMARK(BM_Sha1_OpenSSL);

void BM_Sha1SkipSpace_ZqXmlU(benchmark::State& state) {
    const std::string& t = Text();
    uint32_t digest[5];
    for ([[maybe_unused]] auto _ : state) {
        ZqXmlU_Sha1Interval(t.c_str(), 0, 0, digest, 1);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * t.size()));
}
BENCHMARK(BM_Sha1SkipSpace_ZqXmlU);

void BM_ToBase64_ZqXmlU(benchmark::State& state) {
    const auto& b = Bytes();
    std::vector<char> out(4 * (b.size() / 3 + 1) + 2);
    for ([[maybe_unused]] auto _ : state) {
        const int n = ZqXmlU_ToBase64(b.data(), static_cast<uint32_t>(b.size()), out.data(), 0, 0);
        benchmark::DoNotOptimize(n);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * b.size()));
}
BENCHMARK(BM_ToBase64_ZqXmlU);

void BM_EncodeBlock_OpenSSL(benchmark::State& state) {
    const auto& b = Bytes();
    std::vector<unsigned char> out(4 * (b.size() / 3 + 1) + 1);
    for ([[maybe_unused]] auto _ : state) {
        const int n = EVP_EncodeBlock(out.data(), b.data(), static_cast<int>(b.size()));
        benchmark::DoNotOptimize(n);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * b.size()));
}
BENCHMARK(BM_EncodeBlock_OpenSSL);

// Bytes processed count the encoded text, the decoder's input.
void BM_FromBase64_ZqXmlU(benchmark::State& state) {
    const auto& b = Bytes();
    std::string text(4 * (b.size() / 3 + 1) + 2, '\0');
    text.resize(static_cast<size_t>(
        ZqXmlU_ToBase64(b.data(), static_cast<uint32_t>(b.size()), text.data(), 0, 0)));
    std::vector<unsigned char> out(b.size() + 4);
    for ([[maybe_unused]] auto _ : state) {
        const uint32_t n =
            ZqXmlU_FromBase64(text.c_str(), out.data(), static_cast<uint32_t>(out.size()));
        benchmark::DoNotOptimize(n);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_FromBase64_ZqXmlU);

void BM_DecodeBlock_OpenSSL(benchmark::State& state) {
    const auto& b = Bytes();
    std::vector<unsigned char> text(4 * (b.size() / 3 + 1) + 1);
    const int len = EVP_EncodeBlock(text.data(), b.data(), static_cast<int>(b.size()));
    std::vector<unsigned char> out(b.size() + 4);
    for ([[maybe_unused]] auto _ : state) {
        const int n = EVP_DecodeBlock(out.data(), text.data(), len);
        benchmark::DoNotOptimize(n);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * static_cast<size_t>(len)));
}
BENCHMARK(BM_DecodeBlock_OpenSSL);

}  // namespace
