// Memory figures of this process for the benchmarks (Linux): resident and peak resident memory
// from /proc/self/status, a reset of the peak, and the bytes the C heap holds in use.
#ifndef ZQ_BENCH_MEMORY_H
#define ZQ_BENCH_MEMORY_H

#include <malloc.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zqbench {

// A field of /proc/self/status in bytes ("VmRSS:", "VmHWM:"); 0 when it cannot be read.
inline size_t StatusBytes(const char* field) {
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (!status) return 0;
    char line[256];
    size_t bytes = 0;
    const size_t n = std::strlen(field);
    while (std::fgets(line, sizeof line, status)) {
        if (std::strncmp(line, field, n) == 0) {
            bytes = static_cast<size_t>(std::strtoull(line + n, nullptr, 10)) << 10;
            break;
        }
    }
    std::fclose(status);
    return bytes;
}

// Sets the peak resident memory (VmHWM) back to the current resident memory; false when the
// kernel does not allow it.
inline bool ResetPeak() {
    std::FILE* reset = std::fopen("/proc/self/clear_refs", "w");
    if (!reset) return false;
    const bool ok = std::fputs("5", reset) >= 0;
    return std::fclose(reset) == 0 && ok;
}

// Bytes the C heap holds in use: small blocks and blocks of their own pages.
inline size_t HeapInUse() {
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

}  // namespace zqbench

#endif  // ZQ_BENCH_MEMORY_H
