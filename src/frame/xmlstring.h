// Shared XML strings seen from inside the library: one heap allocation of size + 19 bytes, a
// 16-byte header (magic 0xDE435F12, tag, reference count, size), the text area and 3 spare bytes.
#ifndef ZQ_FRAME_XMLSTRING_H
#define ZQ_FRAME_XMLSTRING_H

#include <cstdint>
#include <cstring>

namespace zq {

inline constexpr uint32_t kSharedMagic = 0xDE435F12;
inline constexpr size_t kSharedHeader = 16;
inline constexpr size_t kSharedSpare = 3;
// Largest text area: the whole allocation stays representable in 32 bits.
inline constexpr uint64_t kMaxSharedSize = 0xFFFFFFFFull - kSharedHeader - kSharedSpare;

// The size recorded in a shared XML string's header, or 0 when `text` is not one (or NULL).
inline uint32_t SharedSize(const char* text) {
    if (!text) return 0;
    uint32_t header[4];
    std::memcpy(header, text - kSharedHeader, sizeof header);
    return header[0] == kSharedMagic ? header[3] : 0;
}

}  // namespace zq

#endif  // ZQ_FRAME_XMLSTRING_H
