// Small helpers shared by the fuzz targets.
#ifndef ZQ_FUZZ_SUPPORT_H
#define ZQ_FUZZ_SUPPORT_H

#include <cstdlib>

#include "zqxmlu.h"

namespace zqfuzz {

// Tag of the targets' own allocations (the exports take char*).
inline char kTag[] = "fuzz";

// A broken expectation is a finding: stop here so that libFuzzer keeps the input.
inline void Check(bool ok) {
    if (!ok) std::abort();
}

// Releases a tagged block.
template <typename T>
void Release(T* p) {
    void* v = p;
    ZqXmlU_Free(&v);
}

}  // namespace zqfuzz

#endif  // ZQ_FUZZ_SUPPORT_H
