// String list, word list and tag array: small growable containers of tagged blocks, each with a
// growth rule of its own. The string and word lists use only count, capacity and keys of a
// keyword list record.
#include <cstdint>
#include <cstring>

#include "lists/grow.h"
#include "zqxmlu.h"

namespace {

// Tags of the library's own blocks in these containers.
constexpr char kTagStringList[] = "zqSL";  // the string list's array and its string copies
constexpr char kTagWordList[] = "zqWL";
constexpr char kTagTagArray[] = "zqTA";

constexpr int kFirstStrings = 24;
constexpr int kFirstWords = 32;
constexpr int kFirstTagRows = 256;

}  // namespace

extern "C" {

// The array starts at 24 entries and grows by half plus 24 once fewer than two entries are free
// (24, 60, 114, 195, ...).
void ZQ_CALL ZqXmlU_AddString(ZQ_KWLIST_STRUCT_T* list, const char* text) {
    if (!zq::SoundKeys(list)) return;
    int& capacity = list->capacity;
    if (capacity == 0) {
        zq::ResizeColumn(list->keys, true, kFirstStrings, kTagStringList);
        capacity = kFirstStrings;
    } else if (list->count > capacity - 2) {
        const int grown =
            zq::BlockEntries(int64_t{capacity} + capacity / 2 + 24, sizeof *list->keys);
        zq::ResizeColumn(list->keys, false, grown, kTagStringList);
        capacity = grown;
    }
    if (!text) return;
    const size_t size = std::strlen(text) + 1;
    auto* copy = static_cast<char*>(zq::AllocBlock(size, 1, kTagStringList));
    std::memcpy(copy, text, size);
    list->keys[list->count++] = reinterpret_cast<uintptr_t>(copy);
}

// Grows to count + count / 4 + 32 entries once fewer than three entries are free (32, 69, ...).
void ZQ_CALL ZqXmlU_AddToList(ZQ_KWLIST_STRUCT_T* list, uintptr_t value) {
    if (!zq::SoundKeys(list)) return;
    const int count = list->count;
    if (int64_t{count} + 2 >= list->capacity) {
        const int grown =
            zq::BlockEntries(int64_t{count} + count / 4 + kFirstWords, sizeof *list->keys);
        zq::ResizeColumn(list->keys, list->capacity == 0, grown, kTagWordList);
        list->capacity = grown;
    }
    list->keys[list->count++] = value;
}

// Starts at 256 rows; a full array grows by its capacity plus 64 rows (256, 576, 1216, ...).
// Column 3 is grown with the others and never written here.
void ZQ_CALL ZqXmlU_AugmentTags(ZQ_TAGS_STRUCT_T* tags, uint32_t first, uint32_t second,
                                uint64_t wide, uint32_t /*unused*/) {
    if (!zq::SoundList(tags)) return;
    const uint32_t row = tags->count;
    if (row == tags->capacity) {
        const bool fresh = tags->capacity == 0;
        const int rows =
            fresh ? kFirstTagRows
                  : zq::BlockEntries(int64_t{row} + tags->capacity + 64, sizeof *tags->wide);
        zq::ResizeColumn(tags->first, fresh, rows, kTagTagArray);
        zq::ResizeColumn(tags->second, fresh, rows, kTagTagArray);
        zq::ResizeColumn(tags->third, fresh, rows, kTagTagArray);
        zq::ResizeColumn(tags->wide, fresh, rows, kTagTagArray);
        tags->capacity = static_cast<uint32_t>(rows);
    }
    tags->first[row] = first;
    tags->second[row] = second;
    tags->wide[row] = wide;
    tags->count = row + 1;
}

int ZQ_CALL ZqXmlU_ReleaseTags(ZQ_TAGS_STRUCT_T* tags) {
    if (!tags) return 0;
    return static_cast<int>(zq::ReleaseColumns(tags->count, tags->capacity, 1, tags->first,
                                               tags->second, tags->third, tags->wide));
}

}  // extern "C"

void ZQ_CALL ZqXmlU_AddPString(void) {}
