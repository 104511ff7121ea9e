// The P list (64-bit keys, 32-bit values) and the Q list (32-bit keys, 64-bit values): the keyword
// list's modes, growth and ownership with other column widths, and a key sort for the Q list.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <numeric>

#include "lists/grow.h"
#include "zqxmlu.h"

namespace {

// Tag of the sort's work arrays when they do not fit the local ones.
constexpr char kTagSort[] = "zqSO";
// Entries (count + 1) that the local work arrays hold.
constexpr int kLocalSortEntries = 256;

}  // namespace

int ZQ_CALL ZqXmlU_ModifyKwList_p(ZQ_KWLIST_STRUCT_TP* list, uint64_t key, int value, int mode,
                                  const char* tag) {
    return zq::ModifyEntries(list, key, value, mode, tag);
}

int ZQ_CALL ZqXmlU_ModifyKwList_q(ZQ_KWLIST_STRUCT_TQ* list, uint32_t key, uint64_t value, int mode,
                                  const char* tag) {
    return zq::ModifyEntries(list, key, value, mode, tag);
}

// Sorts a permutation of the entries by key (unsigned), then moves every entry once through
// copies of the columns. Up to 255 entries the work arrays live on the stack.
void ZQ_CALL ZqXmlU_SortKwList_q(ZQ_KWLIST_STRUCT_TQ* list) {
    if (!zq::SoundList(list) || list->count < 2) return;
    const int count = list->count;
    const int entries = zq::BlockEntries(int64_t{count} + 1, sizeof(uint64_t));

    uint32_t localOrder[kLocalSortEntries];
    uint32_t localKeys[kLocalSortEntries];
    uint64_t localValues[kLocalSortEntries];
    uint32_t* order = localOrder;
    uint32_t* keys = localKeys;
    uint64_t* values = localValues;
    const bool onHeap = entries > kLocalSortEntries;
    if (onHeap) {
        order = static_cast<uint32_t*>(ZqXmlU_Calloc(entries, sizeof *order, kTagSort));
        keys = static_cast<uint32_t*>(ZqXmlU_Calloc(entries, sizeof *keys, kTagSort));
        values = static_cast<uint64_t*>(ZqXmlU_Calloc(entries, sizeof *values, kTagSort));
    }

    std::iota(order, order + count, 0u);
    const uint32_t* listKeys = list->keys;
    std::sort(order, order + count,
              [listKeys](uint32_t a, uint32_t b) { return listKeys[a] < listKeys[b]; });
    std::memcpy(keys, list->keys, static_cast<size_t>(count) * sizeof *keys);
    std::memcpy(values, list->values, static_cast<size_t>(count) * sizeof *values);
    for (int i = 0; i < count; ++i) {
        list->keys[i] = keys[order[i]];
        list->values[i] = values[order[i]];
    }

    if (onHeap) {
        zq::ReleaseColumn(order);
        zq::ReleaseColumn(keys);
        zq::ReleaseColumn(values);
    }
}
