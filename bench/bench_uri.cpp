// URIs: decoding beside std::regex, building beside snprintf, owner lookup beside a plain
// starts_with loop.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "uri/namespace.h"
#include "zqxmlu.h"

namespace {

std::string Uri() {
    return std::string(zq::kNamespaceBase) + "/a/l/ic/alice/holiday_tags_02_015.zqtvm";
}

void BM_Decode_ZqXmlU(benchmark::State& state) {
    std::string uri = Uri();
    int underscore = 0, minor = 0, variant = 0;
    ZqLong major = 0;
    char name[65], user[65];
    for ([[maybe_unused]] auto _ : state) {
        benchmark::DoNotOptimize(
            ZqXmlU_GetURIInfo(uri.data(), underscore, minor, &major, name, user, &variant));
        benchmark::DoNotOptimize(name);
    }
}

void BM_Decode_regex(benchmark::State& state) {
    const std::string uri = Uri();
    const std::regex re(std::string(zq::kNamespaceBase) +
                        "/[^/]*/[^/]*/[^/]*/([^/]*)/([^/]*)_([0-9]{2})_([0-9]{3})\\.[^.]{4}(.?)");
    std::smatch m;
    for ([[maybe_unused]] auto _ : state) {
        benchmark::DoNotOptimize(std::regex_match(uri, m, re));
        benchmark::DoNotOptimize(m);
    }
}

void BM_Make_ZqXmlU(benchmark::State& state) {
    char user[] = "alice";
    char dst[160];
    for ([[maybe_unused]] auto _ : state) {
        benchmark::DoNotOptimize(ZqXmlU_MakeUri(user, "holiday_tags", 2, 15, dst, sizeof dst, 'm'));
        benchmark::DoNotOptimize(dst);
    }
}

void BM_Make_snprintf(benchmark::State& state) {
    const char* user = "alice";
    char dst[160];
    for ([[maybe_unused]] auto _ : state) {
        benchmark::DoNotOptimize(std::snprintf(
            dst, sizeof dst, "%s/%c/%c/%c%c/%s/%s_%02d_%03d.zqtv%c", zq::kNamespaceBase, user[0],
            user[1], user[2], user[3], user, "holiday_tags", 2, 15, 'm'));
        benchmark::DoNotOptimize(dst);
    }
}

// 100 users; the URI belongs to the last one.
struct Hundred {
    ZQ_KWLIST_STRUCT_T list{};
    std::vector<std::string> keys;
    Hundred() {
        for (int i = 0; i < 100; ++i) {
            std::string name = "user" + std::to_string(i);
            ZqXmlU_MakeUriBase(name.data(), &list, 0);
            keys.emplace_back(reinterpret_cast<const char*>(list.keys[i]));
        }
    }
    ~Hundred() { ZqXmlU_FreeKwAllocList(&list); }
};

void BM_Owner_ZqXmlU(benchmark::State& state) {
    Hundred h;
    std::string uri = h.keys.back() + "tags_01_001.zqtv";
    for ([[maybe_unused]] auto _ : state)
        benchmark::DoNotOptimize(ZqXmlU_IsUserOwned(uri.data(), &h.list));
}

void BM_Owner_starts_with(benchmark::State& state) {
    Hundred h;
    const std::string uri = h.keys.back() + "tags_01_001.zqtv";
    for ([[maybe_unused]] auto _ : state) {
        int found = -1;
        for (size_t i = 0; i < h.keys.size(); ++i)
            if (std::string_view(uri).starts_with(h.keys[i])) {
                found = static_cast<int>(i);
                break;
            }
        benchmark::DoNotOptimize(found);
    }
}

void BM_Owner_strncmp(benchmark::State& state) {
    Hundred h;
    const std::string uri = h.keys.back() + "tags_01_001.zqtv";
    for ([[maybe_unused]] auto _ : state) {
        int found = -1;
        for (int i = 0; i < h.list.count; ++i) {
            const auto* key = reinterpret_cast<const char*>(h.list.keys[i]);
            if (std::strncmp(uri.c_str(), key, std::strlen(key)) == 0) {
                found = i;
                break;
            }
        }
        benchmark::DoNotOptimize(found);
    }
}

BENCHMARK(BM_Owner_strncmp);
BENCHMARK(BM_Decode_ZqXmlU);
BENCHMARK(BM_Decode_regex);
BENCHMARK(BM_Make_ZqXmlU);
BENCHMARK(BM_Make_snprintf);
BENCHMARK(BM_Owner_ZqXmlU);
BENCHMARK(BM_Owner_starts_with);

}  // namespace
