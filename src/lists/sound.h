// The soundness test for list records that the caller keeps (keyword lists and their P and Q
// forms, the prefix/URI list, string and word lists, tag arrays). Every export that reads or
// writes such a record applies it first and leaves an unsound record untouched.
#ifndef ZQ_LISTS_SOUND_H
#define ZQ_LISTS_SOUND_H

#include <cstdint>

#include "zqxmlu.h"

namespace zq {

// 0 <= count <= capacity, and each column that the operation reads or writes entry by entry
// present when capacity > 0 (columns of a record without capacity are never read: the first
// growth forgets them). Releasing a column is no entry access: a NULL column releases nothing.
template <typename... Columns>
constexpr bool SoundRecord(int64_t count, int64_t capacity, const Columns*... columns) {
    return 0 <= count && count <= capacity && (capacity == 0 || ((columns != nullptr) && ...));
}

// A keyword list, P or Q list: count, capacity, keys and values.
template <typename List>
bool SoundList(const List* list) {
    return list && SoundRecord(list->count, list->capacity, list->keys, list->values);
}

// The keys of a keyword list; a string or word list uses count, capacity and keys only.
inline bool SoundKeys(const ZQ_KWLIST_STRUCT_T* list) {
    return list && SoundRecord(list->count, list->capacity, list->keys);
}

inline bool SoundList(const ZQ_PREFIX_URILIST_STRUCT_T* list) {
    return list &&
           SoundRecord(list->count, list->capacity, list->prefixes, list->uris, list->extras);
}

inline bool SoundList(const ZQ_TAGS_STRUCT_T* tags) {
    return tags && SoundRecord(tags->count, tags->capacity, tags->first, tags->second, tags->third,
                               tags->wide);
}

}  // namespace zq

#endif  // ZQ_LISTS_SOUND_H
