// The product's base URI, under which vocabulary URIs and user bases are built, and the small
// text helpers that the URI decoder and the user exports share.
#ifndef ZQ_URI_NAMESPACE_H
#define ZQ_URI_NAMESPACE_H

#include <cstddef>
#include <cstring>

namespace zq {

inline constexpr char kNamespaceBase[] = "http://ns.zq.example/xml";
inline constexpr size_t kNamespaceBaseLength = sizeof(kNamespaceBase) - 1;

// Tags of the blocks that a list of user bases holds: the base strings and the list's arrays,
// and the texts attached to users by ZqXmlU_GetAdditionalUsernames.
inline constexpr char kTagUserBase[] = "zqUB";
inline constexpr char kTagUserValue[] = "zqUV";

// Names and user segments are read into buffers of this size (64 characters and a NUL).
inline constexpr size_t kSegmentBuffer = 65;

inline bool InNamespace(const char* text) {
    return std::strncmp(text, kNamespaceBase, kNamespaceBaseLength) == 0;
}

// Index of the last '/' at an index from `from` down to 1 (index 0 is never examined); -1 when
// there is none.
inline ptrdiff_t LastSlash(const char* text, ptrdiff_t from) {
    for (ptrdiff_t i = from; i >= 1; --i) {
        if (text[i] == '/') return i;
    }
    return -1;
}

// Copies `n` characters and a NUL into a segment buffer (the caller has checked n < its size).
inline void CopySegment(char* dst, const char* src, size_t n) {
    std::memcpy(dst, src, n);
    dst[n] = '\0';
}

}  // namespace zq

#endif  // ZQ_URI_NAMESPACE_H
