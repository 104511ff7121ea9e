#include "platform/fmt.h"

#include <cstdio>
#include <cstring>

namespace zq {

int VFormatTo(char* dst, size_t size, const char* format, va_list args) {
    if (!dst || size == 0) return 0;
    // The analyzer cannot see that a va_list parameter is initialised by the caller.
    const int n =
        std::vsnprintf(dst, size, format, args);  // NOLINT(clang-analyzer-valist.Uninitialized)
    if (n < 0) {
        dst[0] = '\0';
        return 0;
    }
    return static_cast<size_t>(n) < size ? n : static_cast<int>(size - 1);
}

int FormatTo(char* dst, size_t size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int n = VFormatTo(dst, size, format, args);
    va_end(args);
    return n;
}

int VMeasure(const char* format, va_list args) {
    return std::vsnprintf(nullptr, 0, format, args);
}

size_t CopyTo(char* dst, size_t size, const char* src) {
    if (!dst || size == 0) return 0;
    const size_t n = strnlen(src, size - 1);
    std::memcpy(dst, src, n);
    dst[n] = '\0';
    return n;
}

size_t CopyTo(ZqWChar* dst, size_t size, const ZqWChar* src) {
    if (!dst || size == 0) return 0;
    size_t n = 0;
    while (n + 1 < size && src[n]) {
        dst[n] = src[n];
        ++n;
    }
    dst[n] = 0;
    return n;
}

}  // namespace zq
