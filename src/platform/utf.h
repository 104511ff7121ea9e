// UTF-8 <-> UTF-16 conversion with the semantics the library's callers expect of the Windows
// converters (code page 65001, flags 0):
//  * srcLen < 0: the source is NUL-terminated and the terminator is converted and counted too;
//    srcLen > 0: exactly srcLen units are converted (NULs inside are ordinary characters);
//    srcLen == 0: nothing to convert, the result is 0.
//  * dstCap == 0: nothing is written, the result is the number of units the output needs.
//  * Otherwise the result is the number of units written; when they do not fit in dstCap the
//    result is 0 (the destination may hold a partial text, never more than dstCap units).
//  * An invalid or truncated UTF-8 sequence becomes U+FFFD, one per maximal ill-formed subpart
//    (so an overlong form or an encoded surrogate gives one U+FFFD per byte); an unpaired UTF-16
//    surrogate becomes U+FFFD (EF BF BD).
#ifndef ZQ_PLATFORM_UTF_H
#define ZQ_PLATFORM_UTF_H

#include <cstddef>

#include "zqxmlu.h"

namespace zq {

// On Windows these are the system's MultiByteToWideChar / WideCharToMultiByte (65001, flags 0);
// elsewhere the portable converters below, which give the same results.
int Utf8ToUtf16(const char* src, int srcLen, ZqWChar* dst, int dstCap);
int Utf16ToUtf8(const ZqWChar* src, int srcLen, char* dst, int dstCap);

// The portable converters, on every platform (on Windows the tests hold them against the system).
int Utf8ToUtf16Portable(const char* src, int srcLen, ZqWChar* dst, int dstCap);
int Utf16ToUtf8Portable(const ZqWChar* src, int srcLen, char* dst, int dstCap);

// Length of a NUL-terminated UTF-16 text, in units.
inline size_t WStrLen(const ZqWChar* s) {
    const ZqWChar* p = s;
    while (*p)
        ++p;
    return static_cast<size_t>(p - s);
}

}  // namespace zq

#endif  // ZQ_PLATFORM_UTF_H
