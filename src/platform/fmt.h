// Bounded formatting and copying: the stand-ins for the runtime's "_s" functions. No call ever
// writes more than the size it is given, and every call that may write ends the text with a NUL.
#ifndef ZQ_PLATFORM_FMT_H
#define ZQ_PLATFORM_FMT_H

#include <cstdarg>
#include <cstddef>

#include "zqxmlu.h"

#if defined(__GNUC__)
#define ZQ_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define ZQ_PRINTF(fmt, args)
#endif

namespace zq {

// Formats into dst (size bytes, NUL included). Returns the bytes written without the NUL: the
// whole text when it fits, else size - 1 (a cut text). size 0 writes nothing and returns 0; an
// encoding error writes an empty text and returns 0.
int FormatTo(char* dst, size_t size, const char* format, ...) ZQ_PRINTF(3, 4);
int VFormatTo(char* dst, size_t size, const char* format, va_list args);

// Bytes the formatted text needs, NUL not counted; -1 on an encoding error.
int VMeasure(const char* format, va_list args);

// Copies at most size - 1 units of src and a NUL. Returns the units copied. size 0: nothing.
size_t CopyTo(char* dst, size_t size, const char* src);
size_t CopyTo(ZqWChar* dst, size_t size, const ZqWChar* src);

}  // namespace zq

#endif  // ZQ_PLATFORM_FMT_H
