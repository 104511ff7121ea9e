// Keyword list: parallel arrays of pointer-sized keys and values, searched linearly by key word.
// Removal by key moves the last entry into the hole; removal of a range keeps the order.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "lists/grow.h"
#include "zqxmlu.h"

namespace {

// The five leading fields of the keyword list, the P list and the Q list line up, so the P and Q
// lists are released through ZqXmlU_FreeKwList by a cast. That function therefore reads and writes
// these fields as bytes, never through the record type the caller cast from.
struct ListHead {
    int count;
    int capacity;
    int owned;
    void* keys;
    void* values;
};

template <typename List>
constexpr bool kSameHead = offsetof(List, count) == offsetof(ListHead, count) &&
                           offsetof(List, capacity) == offsetof(ListHead, capacity) &&
                           offsetof(List, owned) == offsetof(ListHead, owned) &&
                           offsetof(List, keys) == offsetof(ListHead, keys) &&
                           offsetof(List, values) == offsetof(ListHead, values) &&
                           sizeof(List) == sizeof(ListHead);
static_assert(kSameHead<ZQ_KWLIST_STRUCT_T> && kSameHead<ZQ_KWLIST_STRUCT_TP> &&
              kSameHead<ZQ_KWLIST_STRUCT_TQ>);

}  // namespace

extern "C" {

int ZQ_CALL ZqXmlU_ModifyKwList(ZQ_KWLIST_STRUCT_T* list, uintptr_t key, uintptr_t value, int mode,
                                const char* tag) {
    return zq::ModifyEntries(list, key, value, mode, tag);
}

int ZQ_CALL ZqXmlU_FreeKwList(ZQ_KWLIST_STRUCT_T* list) {
    if (!list) return 0;
    ListHead head;
    std::memcpy(&head, list, sizeof head);
    const uint32_t bytes =
        zq::ReleaseColumns(head.count, head.capacity, head.owned, head.keys, head.values);
    std::memcpy(list, &head, sizeof head);
    return static_cast<int>(bytes);
}

}  // extern "C"

void ZQ_CALL ZqXmlU_DelFromKwList(ZQ_KWLIST_STRUCT_T* list, int start, int n) {
    if (start < 0 || n <= 0 || !zq::SoundList(list)) return;
    const int count = list->count;
    if (int64_t{count} < int64_t{start} + n) return;
    std::copy(list->keys + start + n, list->keys + count, list->keys + start);
    std::copy(list->values + start + n, list->values + count, list->values + start);
    list->count = count - n;
}

int ZQ_CALL ZqXmlU_PurgeIdentity(ZQ_KWLIST_STRUCT_T* list, int index) {
    if (index < 0 || !zq::SoundList(list)) return 0;
    const int last = list->count - 1;
    if (index > last) return 0;
    void* key = reinterpret_cast<void*>(list->keys[index]);
    ZqXmlU_Free(&key);
    list->keys[index] = 0;
    if (index != last) {
        std::swap(list->keys[index], list->keys[last]);
        std::swap(list->values[index], list->values[last]);
    }
    list->count = last;
    return 0;
}

unsigned ZQ_CALL ZqXmlU_FreeKwAllocList(ZQ_KWLIST_STRUCT_T* list) {
    if (!zq::SoundKeys(list)) return 0;
    uint32_t bytes = 0;
    for (int i = 0; i < list->count; ++i) {
        void* key = reinterpret_cast<void*>(list->keys[i]);
        if (!key) continue;
        bytes += static_cast<uint32_t>(ZqXmlU_Free(&key));
        list->keys[i] = 0;
    }
    return bytes + static_cast<uint32_t>(ZqXmlU_FreeKwList(list));
}
