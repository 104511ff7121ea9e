// Allocation tags: the first four bytes of a tag string label a block.
#ifndef ZQ_FRAME_TAG_H
#define ZQ_FRAME_TAG_H

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace zq {

// What fills up a tag shorter than four characters.
inline constexpr char kTagFill = '_';

// Reads the four tag bytes of `tag` in string order, as one word (memory order is kept). A tag
// shorter than four characters is read only up to its NUL and filled up with '_'; a NULL tag
// reads as "null". Either way the block gets a tag that lets it be released.
inline uint32_t TagWord(const char* tag) {
    char bytes[4] = {'n', 'u', 'l', 'l'};
    if (tag && tag[0] && tag[1] && tag[2] && tag[3]) {  // the usual four-character tag
        std::memcpy(bytes, tag, 4);
    } else if (tag) {
        size_t i = 0;
        for (; i < 4 && tag[i] != '\0'; ++i)
            bytes[i] = tag[i];
        for (; i < 4; ++i)
            bytes[i] = kTagFill;
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
