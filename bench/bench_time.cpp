// Dates: parsing the ISO layout with zone beside strptime + timegm, formatting it beside
// gmtime_r + strftime, on the same 1024 instants between 1970 and 2037.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "corpus.h"
#include "zqxmlu.h"

namespace {

struct Sample {
    std::string text;  // 2004-07-15T15:05:09+02:00
    uint64_t value;    // its date value
    time_t posix;      // its POSIX second count
    int zoneHours;
};

const std::vector<Sample>& Samples() {
    static const std::vector<Sample> samples = [] {
        zqbench::Rng rng;
        std::vector<Sample> s;
        for (int i = 0; i < 1024; ++i) {
            Sample x;
            x.posix = static_cast<time_t>(rng.Next() % 2145916800u);
            x.zoneHours = static_cast<int>(rng.Below(25)) - 12;
            char text[64];
            std::tm tm{};
            const time_t local = x.posix + x.zoneHours * 3600;
            gmtime_r(&local, &tm);
            std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%+03d:00",
                          tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                          tm.tm_sec, x.zoneHours);
            x.text = text;
            x.value = ZqXmlU_ParseDate(text, 23, 0, 0);
            s.push_back(x);
        }
        return s;
    }();
    return samples;
}

void BM_ParseIsoZone_ZqXmlU(benchmark::State& state) {
    std::vector<std::vector<char>> texts;
    for (const Sample& s : Samples())
        texts.emplace_back(s.text.c_str(), s.text.c_str() + s.text.size() + 1);
    for ([[maybe_unused]] auto _ : state) {
        for (auto& t : texts)
            benchmark::DoNotOptimize(ZqXmlU_ParseDate(t.data(), 23, 0, 0));
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * texts.size()));
}

void BM_ParseIsoZone_strptime_timegm(benchmark::State& state) {
    const auto& samples = Samples();
    for (const Sample& s : samples) {  // the two read the same instants
        std::tm tm{};
        strptime(s.text.c_str(), "%Y-%m-%dT%H:%M:%S%z", &tm);
        const long offset = tm.tm_gmtoff;  // timegm resets it
        if (timegm(&tm) - offset != s.posix) state.SkipWithError("strptime disagrees");
    }
    for ([[maybe_unused]] auto _ : state) {
        for (const Sample& s : samples) {
            std::tm tm{};
            strptime(s.text.c_str(), "%Y-%m-%dT%H:%M:%S%z", &tm);
            const long offset = tm.tm_gmtoff;
            benchmark::DoNotOptimize(timegm(&tm) - offset);
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * samples.size()));
}

void BM_MakeDateIsoZone_ZqXmlU(benchmark::State& state) {
    const auto& samples = Samples();
    char out[32];
    for ([[maybe_unused]] auto _ : state) {
        for (const Sample& s : samples) {
            ZqXmlU_MakeDateA(s.value, 23, out, sizeof out, s.zoneHours, 0);
            benchmark::DoNotOptimize(out);
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * samples.size()));
}

void BM_MakeDateIsoZone_gmtime_strftime(benchmark::State& state) {
    const auto& samples = Samples();
    char out[32];
    for ([[maybe_unused]] auto _ : state) {
        for (const Sample& s : samples) {
            std::tm tm{};
            const time_t local = s.posix + s.zoneHours * 3600;
            gmtime_r(&local, &tm);
            std::strftime(out, sizeof out, "%Y-%m-%dT%H:%M:%S+02:00", &tm);
            benchmark::DoNotOptimize(out);
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * samples.size()));
}

}  // namespace

BENCHMARK(BM_ParseIsoZone_ZqXmlU);
BENCHMARK(BM_ParseIsoZone_strptime_timegm);
BENCHMARK(BM_MakeDateIsoZone_ZqXmlU);
BENCHMARK(BM_MakeDateIsoZone_gmtime_strftime);
