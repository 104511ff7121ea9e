// The column lists: parallel arrays that share one count and one capacity, either tagged blocks
// of the library (owned 1) or arrays lent by the caller (owned not 1). The keyword list, the P and
// Q lists and the prefix list grow, search and release through these routines.
#ifndef ZQ_LISTS_GROW_H
#define ZQ_LISTS_GROW_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "frame/alloc.h"
#include "frame/size.h"
#include "lists/sound.h"
#include "zqxmlu.h"

namespace zq {

// `entries` as the element count of one tagged block of `elementSize`-byte elements. A block
// holds at most kMaxPayload bytes and counts its entries in an int; a list that would outgrow
// that ends the process, as heap exhaustion does.
inline int BlockEntries(int64_t entries, size_t elementSize) {
    if (entries < 0 || entries > INT32_MAX ||
        PayloadBytes(static_cast<uint64_t>(entries), elementSize) == kTooLarge) {
        HeapExhausted(kTooLarge);
    }
    return static_cast<int>(entries);
}

// Gives a column `entries` elements: a new zeroed block when `fresh` (whatever the column pointed
// to is forgotten), else the column's block resized (new elements zero).
template <typename Element>
void ResizeColumn(Element*& column, bool fresh, int entries, const char* tag) {
    if (fresh) {
        column = static_cast<Element*>(ZqXmlU_Calloc(entries, sizeof(Element), tag));
    } else {
        column = static_cast<Element*>(ZqXmlU_Realloc(column, entries, sizeof(Element), tag));
    }
}

// Replaces a lent column by a zeroed block of `entries` elements holding its first `count` ones.
// The lent array is only read.
template <typename Element>
void CopyLentColumn(Element*& column, int count, int entries, const char* tag) {
    auto* own = static_cast<Element*>(ZqXmlU_Calloc(entries, sizeof(Element), tag));
    if (count > 0 && column) std::memcpy(own, column, static_cast<size_t>(count) * sizeof(Element));
    column = own;
}

// Makes room before an entry is added: when count + 1 >= capacity every column grows to
// 2 * capacity + 5 entries (5, 15, 35, 75, ...). A list without arrays gets new ones, owned arrays
// are resized, lent arrays are copied into owned ones and left as they were. The list must be
// sound (SoundRecord).
template <typename... Elements>
void MakeRoom(int count, int& capacity, int& owned, const char* tag, Elements*&... columns) {
    if (int64_t{count} + 1 < capacity) return;
    const int grown = BlockEntries(2 * int64_t{capacity} + 5, std::max({sizeof(Elements)...}));
    if (capacity == 0 || owned == 1) {
        (ResizeColumn(columns, capacity == 0, grown, tag), ...);
    } else {
        (CopyLentColumn(columns, count, grown, tag), ...);
    }
    owned = 1;
    capacity = grown;
}

// Releases one column's block (the pointer becomes NULL); returns its size.
template <typename Element>
uint32_t ReleaseColumn(Element*& column) {
    void* block = column;
    const int bytes = ZqXmlU_Free(&block);
    column = nullptr;
    return static_cast<uint32_t>(bytes);
}

// Releases owned columns (capacity becomes 0; lent ones keep theirs) and empties the list.
// `owned` keeps its value. Returns the bytes released; an unsound list is left alone (0).
template <typename Count, typename... Elements>
uint32_t ReleaseColumns(Count& count, Count& capacity, int owned, Elements*&... columns) {
    if (!SoundRecord(count, capacity)) return 0;
    uint32_t bytes = 0;
    if (owned == 1) {
        if (capacity != 0) ((bytes += ReleaseColumn(columns)), ...);
        capacity = 0;
    }
    count = 0;
    return bytes;
}

// The keyword list and its typed variants: count, capacity, owned, keys, values.
template <typename List>
using KeyOf = std::remove_pointer_t<decltype(List::keys)>;
template <typename List>
using ValueOf = std::remove_pointer_t<decltype(List::values)>;

// Index of the first entry with `key`, or -1.
template <typename Key>
int FindKey(const Key* keys, int count, Key key) {
    if (count <= 0) return -1;
    const Key* end = keys + count;
    const Key* at = std::find(keys, end, key);
    return at == end ? -1 : static_cast<int>(at - keys);
}

// Add, replace, delete, look up or find by `mode` (1 add or replace, 2 delete, 4 look up, 5 append,
// other find); room is made first, whatever the mode. An unsound list is left alone (-1).
template <typename List>
int ModifyEntries(List* list, KeyOf<List> key, ValueOf<List> value, int mode, const char* tag) {
    if (!SoundList(list)) return -1;
    MakeRoom(list->count, list->capacity, list->owned, tag, list->keys, list->values);
    int& count = list->count;
    const int at = mode == 5 ? -1 : FindKey(list->keys, count, key);
    switch (mode) {
        case 1:
        case 5: {
            const int slot = at < 0 ? count++ : at;
            list->keys[slot] = key;
            list->values[slot] = value;
            return at;
        }
        case 2:
            if (at >= 0) {
                --count;
                list->keys[at] = list->keys[count];
                list->values[at] = list->values[count];
            }
            return at;
        case 4:  // the value's low 32 bits
            return at < 0 ? -1 : static_cast<int>(static_cast<uint32_t>(list->values[at]));
        default:
            return at;
    }
}

}  // namespace zq

#endif  // ZQ_LISTS_GROW_H
