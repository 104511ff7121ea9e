// Allocation tags: the first four bytes of a tag string label a block.
#ifndef ZQ_FRAME_TAG_H
#define ZQ_FRAME_TAG_H

#include <cstdint>
#include <cstring>

namespace zq {

// Reads the four tag bytes of `tag` in string order, as one little-endian-agnostic word (memory
// order is kept). A tag shorter than four characters is read only up to its NUL; the missing
// bytes are 0 (not tag characters, so such a tagged block is never released). A NULL tag reads
// as "null".
inline uint32_t TagWord(const char* tag) {
    char bytes[4] = {'n', 'u', 'l', 'l'};
    if (tag && tag[0] && tag[1] && tag[2]) {  // the usual four-character tag
        std::memcpy(bytes, tag, 4);
    } else if (tag) {
        for (int i = 0; i < 4; ++i) {
            bytes[i] = tag[i];
            if (tag[i] == '\0') {
                for (int k = i + 1; k < 4; ++k)
                    bytes[k] = '\0';
                break;
            }
        }
    }
    uint32_t word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

// Tags of the library's own allocations.
inline constexpr char kTagLogRoot[] = "zqLR";
inline constexpr char kTagWork[] = "zqWK";
inline constexpr char kTagSink[] = "zqSK";

}  // namespace zq

#endif  // ZQ_FRAME_TAG_H
