// Prefix and URI list: three parallel pointer-sized columns that the host fills; rows are only
// appended (no search) and the columns released as a whole.
#include <cstdint>

#include "lists/grow.h"
#include "zqxmlu.h"

// Appends a row and returns its index; an unsound list is left alone (-1).
int ZQ_CALL ZqXmlU_AddToPrefixUriList(ZQ_PREFIX_URILIST_STRUCT_T* list, uintptr_t prefix,
                                      intptr_t uri, intptr_t extra, int /*unused*/,
                                      const char* tag) {
    if (!zq::SoundList(list)) return -1;
    zq::MakeRoom(list->count, list->capacity, list->owned, tag, list->prefixes, list->uris,
                 list->extras);
    const int row = list->count++;
    list->prefixes[row] = prefix;
    list->uris[row] = uri;
    list->extras[row] = extra;
    return row;
}

unsigned ZQ_CALL ZqXmlU_FreePrefixUriList(ZQ_PREFIX_URILIST_STRUCT_T* list) {
    if (!list) return 0;
    return zq::ReleaseColumns(list->count, list->capacity, list->owned, list->prefixes, list->uris,
                              list->extras);
}
