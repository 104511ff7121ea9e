// zqxmlu.h - the exported interface of ZqXmlU, the XML and text utility library.
//
// One header for every platform. On 32-bit Windows it describes the DLL exactly (stdcall exports,
// 32-bit records); elsewhere the same names and records are built with the platform's own widths.
//
// General rules for every export:
//  * 8-bit text is UTF-8 wherever the library converts; wide text (ZqWChar) is UTF-16.
//  * Nothing throws. Results are int flags (1/0), indexes (-1 for "not found") or small codes.
//  * Memory handed back to the caller is either a tagged block (release with ZqXmlU_Free, passing
//    the address of your pointer, which is then cleared) or a shared XML string (release with
//    ZqXmlU_xml_free). Each declaration below says which.
//  * Tags: most allocating exports take a "tag" whose first four characters label the allocation.
//    Use four characters from '0'..'z'; a block whose tag holds other bytes is never released. A
//    tag shorter than four characters is read only up to its NUL and filled up with '_' ("ab"
//    labels a block "ab__"); a NULL tag labels it "null". Such blocks are released as usual.
//  * Heap exhaustion in the tagged allocator ends the process with exit status 1; the shared XML
//    string allocator reports it with NULL instead.
//  * Writes into a caller's buffer never pass the size the caller gives.
//  * Threads: calls on distinct data may run concurrently; one list, sink, document or string is
//    used by one thread at a time. Module-wide state: the character tables and the RSA key
//    object are built once on first use, safely when threads race; the clock override is stored
//    atomically; the log root must be set (and released) while no other thread reads it. Nothing
//    else is shared: list sorts keep no module-wide slot.
//  * Vector forms: escaping, the needs-escaping test, de-escaping, the substring search and SHA-1
//    run the widest vector tier of the processor (x86: SSE2, AVX2, AVX-512BW; the SHA
//    instructions). The environment variable ZQXMLU_CPU caps them: "scalar", "sse2", "avx2" or
//    "avx512", optionally followed by ",portable-sha1"; SHA-1 uses the SHA instructions only
//    under a cap of avx2 or more, and a value not understood runs everything scalar. It is read
//    once, at the first call that needs it (safely when threads race). Every tier gives the same
//    bytes.
//  * NULL pointers and out-of-range sizes or positions get the safe answer each export names
//    (nothing written, -1, 0 or the "not found" code); nothing reads or writes out of bounds.
//  * What a pointer must be where a tagged block or a shared XML string is expected (the library
//    tells them apart by the bytes in front of the pointer, so it reads those bytes):
//     - a tagged block: a payload pointer from ZqXmlU_Calloc / ZqXmlU_Realloc (or NULL where
//       allowed); ZqXmlU_Free and its kin read the 8 bytes in front and the trailing tag;
//     - a shared XML string: a text pointer from ZqXmlU_xml_alloc (or a sink's buffer). A tagged
//       block passed instead is recognised (its 16 bytes in front are readable and hold no magic
//       word) and refused as the export says. Any other pointer (a plain heap or stack buffer, a
//       pointer into the middle of a block) must have 16 readable bytes in front of it that do
//       not start with the magic word 0xDE435F12, or the result is undefined.
//  * Records the caller keeps (lists, sinks) are checked before use; what each does with an
//    unsound one is stated with the record and the export. Sizes of blocks and strings are
//    checked in one place: a request beyond 4 GiB - 21 bytes (0xFFFFFFEB) is never allocated.
#ifndef ZQXMLU_H
#define ZQXMLU_H

#ifndef __cplusplus
#error "zqxmlu.h is a C++ header: part of the interface has C++ linkage."
#endif

#include <cstddef>
#include <cstdint>
#include <cstdio>

// ---------------------------------------------------------------------------------------------
// ABI macros and types
// ---------------------------------------------------------------------------------------------

#if defined(_WIN32) && !defined(_WIN64)
#define ZQ_CALL __stdcall
#define ZQ_CDECL __cdecl
#else
#define ZQ_CALL
#define ZQ_CDECL
#endif

#if defined(_WIN32)
// zqxmlu.dll's export table is written from a module-definition file: the plain names and, for
// the C++ functions, the Microsoft compiler's decorations that a host built with it binds to
// (see the README). A host built with mingw-w64 links the static library instead.
#if defined(ZQXMLU_STATIC) || defined(ZQXMLU_BUILDING)
#define ZQ_API
#else
#define ZQ_API __declspec(dllimport)
#endif
#else
#define ZQ_API __attribute__((visibility("default")))
#endif

#define ZQXMLU_VERSION_MAJOR 1
#define ZQXMLU_VERSION_MINOR 0
#define ZQXMLU_VERSION_PATCH 0
#define ZQXMLU_VERSION_STRING "1.0.0"

#if defined(_WIN32)
typedef wchar_t ZqWChar;        // UTF-16 code unit
typedef long ZqLong;            // 32-bit signed
typedef unsigned long ZqULong;  // 32-bit unsigned
#else
typedef char16_t ZqWChar;  // UTF-16 code unit (the platform's wchar_t is 32-bit)
typedef int32_t ZqLong;
typedef uint32_t ZqULong;
#endif

// Tree-view control and item handle (Windows: MFC's CTreeCtrl and commctrl's HTREEITEM;
// elsewhere the small in-memory control of <zqxmlu_treectrl.h>).
class CTreeCtrl;
typedef struct _TREEITEM* HTREEITEM;

// ---------------------------------------------------------------------------------------------
// Records
// ---------------------------------------------------------------------------------------------

// Output sink. Zero all fields and set `tag` before the first write. With `file` set every write
// goes to that stream and nothing else is touched; otherwise text accumulates in `buffer`, a shared
// XML string owned by the sink (one reference). Take the text from `buffer`/`length`; to reuse set
// `length` to 0; to end release `buffer` with ZqXmlU_xml_free and set `capacity` and `length` to 0.
// A sink with capacity 0 (or less) has no buffer: `buffer` and `length` are then not read. With a
// buffer, `buffer` must be a shared XML string (anything else makes writes fail, -1), `capacity`
// counts at most the size its header records, and `length` at most that capacity; a negative
// length makes writes fail.
struct ZQ_XML_STRUCT_T {
    FILE* file;
    char* buffer;
    int length;           // bytes of text, NUL not counted
    int capacity;         // size of `buffer`; 0: no buffer yet
    uintptr_t reserved1;  // never read or written by the library
    uintptr_t reserved2;
    uintptr_t reserved3;
    const char* tag;  // tag for the first buffer
};

// Keyword list: parallel arrays of pointer-sized keys and values. Start zeroed, or lend arrays of
// your own (owned 0, capacity = their length): the library never writes past `capacity`, copies
// lent arrays into its own at the first growth and never releases them. Keys are compared as
// words (a string key matches by pointer identity, not by text). A list is sound when
// 0 <= count <= capacity and every array an operation reads or writes is present (not NULL)
// whenever capacity > 0 (a string or word list needs only `keys`). Every export that reads or
// writes a list (the list operations and every export that takes a list: users, regions, label
// paths, element items) applies that test first and leaves an unsound list (or a NULL one)
// untouched with its failure result: -1 from the modify operations, ZqXmlU_AddToPrefixUriList and
// ZqXmlU_MakeUriBase, 0 bytes from the release operations, nothing done by the others. An `owned`
// other than 1 counts as lent.
struct ZQ_KWLIST_STRUCT_T {
    int count;
    int capacity;  // 0: no arrays yet
    int owned;     // 1: arrays are tagged blocks of the library
    uintptr_t* keys;
    uintptr_t* values;
};

// Keyword list with 64-bit keys and 32-bit values (same rules as ZQ_KWLIST_STRUCT_T; release it
// with ZqXmlU_FreeKwList through a cast: the first five fields line up).
struct ZQ_KWLIST_STRUCT_TP {
    int count;
    int capacity;
    int owned;
    uint64_t* keys;
    int32_t* values;
};

// Keyword list with 32-bit keys and 64-bit values (same rules; release as above).
struct ZQ_KWLIST_STRUCT_TQ {
    int count;
    int capacity;
    int owned;
    uint32_t* keys;
    uint64_t* values;
};

// Three parallel pointer-sized columns for the host's namespace prefixes and URIs; the library
// appends rows and releases the columns, it never interprets them.
struct ZQ_PREFIX_URILIST_STRUCT_T {
    int count;
    int capacity;
    int owned;
    uintptr_t* prefixes;
    intptr_t* uris;
    intptr_t* extras;
};

// Tag array: four columns (32, 32, 32 and 64 bits) of `capacity` rows; a zeroed record is empty.
struct ZQ_TAGS_STRUCT_T {
    uint32_t* first;
    uint32_t* second;
    uint32_t* third;  // grown with the others, never written by the library
    uint64_t* wide;
    uint32_t capacity;
    uint32_t count;
};

#if UINTPTR_MAX == 0xFFFFFFFF
static_assert(sizeof(ZQ_XML_STRUCT_T) == 32, "sink is eight 32-bit words");
static_assert(sizeof(ZQ_KWLIST_STRUCT_T) == 20, "keyword list is five 32-bit words");
static_assert(sizeof(ZQ_KWLIST_STRUCT_TP) == 20, "P list is five 32-bit words");
static_assert(sizeof(ZQ_KWLIST_STRUCT_TQ) == 20, "Q list is five 32-bit words");
static_assert(sizeof(ZQ_PREFIX_URILIST_STRUCT_T) == 24, "prefix list is six 32-bit words");
static_assert(sizeof(ZQ_TAGS_STRUCT_T) == 24, "tag array is six 32-bit words");
static_assert(sizeof(ZqWChar) == 2, "UTF-16 units");
#endif

// ---------------------------------------------------------------------------------------------
// Library frame: log root, tagged blocks, shared XML strings, output sink
// ---------------------------------------------------------------------------------------------

extern "C" {

// Stores a directory path (UTF-8) in narrow and UTF-16 form, as given. The last call wins; the
// strings of the previous call are released. Call it before other threads use the library.
// NULL: as ZqXmlU_FreeStorage.
ZQ_API void ZQ_CALL ZqXmlU_SetLogRoot(const char* path);
// The stored path, or "c:\zq\" when none is set. Owned by the library; valid until the next
// ZqXmlU_SetLogRoot or ZqXmlU_FreeStorage.
ZQ_API const char* ZQ_CALL ZqXmlU_GetLogRoot(void);
ZQ_API const ZqWChar* ZQ_CALL ZqXmlU_GetLogRootW(void);
// Payload size recorded in a live tagged block (0 for NULL). p must be a tagged block.
ZQ_API uint32_t ZQ_CALL ZqXmlU_GetUsedSpace(void* p);
// Releases the stored log root; the getters return the defaults again. Safe to call twice.
ZQ_API void ZQ_CALL ZqXmlU_FreeStorage(void);

// Tagged blocks: [tag 4][size 4][payload, zero-filled][tag 4]; you hold the payload pointer. The
// allocation also holds 8 zero bytes in front of the tag (20 bytes of frame in all), so that the
// shared-string test reads inside it. count * elementSize is taken as an unsigned 32-bit product;
// a product over 0xFFFFFFEB bytes (ZqXmlU_Calloc(-1, 1, tag) among them) ends the process with
// exit status 1, as heap exhaustion does.
ZQ_API void* ZQ_CALL ZqXmlU_Calloc(int count, int elementSize, const char* tag);
// Resizes (p NULL: allocates). Bytes gained are zeroed; the block keeps its first tag. Use the
// returned pointer from now on.
ZQ_API void* ZQ_CALL ZqXmlU_Realloc(void* p, int count, unsigned elementSize, const char* tag);
// Releases *pp when both tags are sound (an overrun block is left alone), clears *pp either way
// and returns the recorded size; 0 when *pp is NULL. *pp must be a tagged block: a foreign
// pointer is read 8 bytes in front and at the size it seems to record.
ZQ_API int ZQ_CALL ZqXmlU_Free(void** pp);
// keep 0: as ZqXmlU_Free but tests only the leading tag. keep non-zero: only reports the size.
ZQ_API unsigned ZQ_CALL ZqXmlU_FreeC(void** pp, unsigned keep);

// Resizes a shared XML string. A string shared with others (count > 1) is copied into a new one
// and one reference to the old is dropped. NULL on heap exhaustion or a size over 0xFFFFFFEB (p
// then stays valid). p NULL: a new string; p not a shared XML string (a tagged block among them):
// NULL. A text of newSize bytes or more is cut to newSize - 1 bytes and stays NUL-terminated, so
// a string resized to exactly its text's length loses its last byte.
ZQ_API char* ZQ_CALL ZqXmlU_xml_realloc(char* p, unsigned newSize, const char* tag);
// Drops one reference (the last one releases the string). false when p is not a shared XML string
// (NULL included); nothing is done then.
ZQ_API bool ZQ_CALL ZqXmlU_xml_free(char* p);
// Adds a reference. false for NULL or a pointer that is not a shared XML string.
ZQ_API bool ZQ_CALL ZqXmlU_xml_inc(char* p);
// Appends printf-formatted text to the sink, growing its buffer by a quarter of the text plus
// 4096 bytes beyond the need. Returns the bytes appended (stream mode: the stream's result). The
// text is formatted before the buffer is touched, so arguments may come from the sink's own text:
// ZqXmlU_xml_sprintf(&s, "%s", s.buffer) doubles it. -1, with the sink left as it was: the heap
// cannot hold the text or the grown buffer, the sink cannot be read (see ZQ_XML_STRUCT_T), a
// format error, a NULL sink or format. After a write, `capacity` holds the true capacity.
ZQ_API int ZQ_CDECL ZqXmlU_xml_sprintf(ZQ_XML_STRUCT_T* sink, const char* format, ...);

}  // extern "C"

// New shared XML string of `size` zeroed bytes (reference count 1), or NULL when the heap is
// exhausted or size is over 0xFFFFFFEB. Release with ZqXmlU_xml_free.
ZQ_API void* ZQ_CALL ZqXmlU_xml_alloc(unsigned size, char* tag);
// As ZqXmlU_xml_sprintf, growing the buffer to the exact size; reports nothing.
ZQ_API void ZQ_CDECL ZqXmlU_sprintf(ZQ_XML_STRUCT_T* sink, const char* format, ...);

// ---------------------------------------------------------------------------------------------
// Keyword lists, prefix/URI list, string lists, tag arrays
// ---------------------------------------------------------------------------------------------
// Lists grow before they are full: when count + 1 >= capacity, to 2 * capacity + 5 entries
// (5, 15, 35, ...). New entries of library arrays are zero. A list that would outgrow one
// tagged block (more than 2^31 - 1 entries, or a column over 4 GiB) ends the process with exit
// status 1, as heap exhaustion does. The list operations keep no module-wide state.

extern "C" {

// mode 1: add or replace (result: index if present, else -1); 2: delete, the last entry fills the
// hole (index or -1); 4: look up (the value's low 32 bits, or -1); 5: append without searching
// (-1); other: find (index or -1). Room is made first, whatever the mode.
ZQ_API int ZQ_CALL ZqXmlU_ModifyKwList(ZQ_KWLIST_STRUCT_T* list, uintptr_t key, uintptr_t value,
                                       int mode, const char* tag);
// Releases owned arrays (lent ones are kept with their capacity), sets count to 0, returns the
// bytes released. Key strings are not released. NULL arrays release nothing.
ZQ_API int ZQ_CALL ZqXmlU_FreeKwList(ZQ_KWLIST_STRUCT_T* list);

// String list (count, capacity, keys of a ZQ_KWLIST_STRUCT_T): appends a tagged copy of text
// (NULL: only makes room). Capacities 24, 60, 114, ... Release strings and keys with ZqXmlU_Free.
// The array and each copy are tagged "zqSL". The keys array of a string or word list is always
// the library's (grown with ZqXmlU_Realloc whatever `owned` says): with capacity > 0 it must be
// a tagged block from an earlier call.
ZQ_API void ZQ_CALL ZqXmlU_AddString(ZQ_KWLIST_STRUCT_T* list, const char* text);
// Word list: appends value to keys. Capacities 32, 69, ... The array is tagged "zqWL".
ZQ_API void ZQ_CALL ZqXmlU_AddToList(ZQ_KWLIST_STRUCT_T* list, uintptr_t value);
// Appends a row (column 3 untouched). Capacities 256, 576, ... Columns are tagged "zqTA"; an
// unsound record (count > capacity, or a NULL column with capacity > 0) is left alone.
ZQ_API void ZQ_CALL ZqXmlU_AugmentTags(ZQ_TAGS_STRUCT_T* tags, uint32_t first, uint32_t second,
                                       uint64_t wide, uint32_t unused);
// Releases the four columns; returns the bytes released (0, untouched: count > capacity).
ZQ_API int ZQ_CALL ZqXmlU_ReleaseTags(ZQ_TAGS_STRUCT_T* tags);

}  // extern "C"

// Removes n entries from start, keeping order, when count >= start + n; otherwise does nothing.
// A negative start or n changes nothing.
ZQ_API void ZQ_CALL ZqXmlU_DelFromKwList(ZQ_KWLIST_STRUCT_T* list, int start, int n);
// Releases the key string at index and moves the last entry into its place. Returns 0. An index
// outside 0..count-1 changes nothing.
ZQ_API int ZQ_CALL ZqXmlU_PurgeIdentity(ZQ_KWLIST_STRUCT_T* list, int index);
// Releases every non-NULL key with ZqXmlU_Free, then the list; returns the bytes released. Each
// released key is set to 0 in the array (lent arrays included). Also takes a string list.
ZQ_API unsigned ZQ_CALL ZqXmlU_FreeKwAllocList(ZQ_KWLIST_STRUCT_T* list);
ZQ_API int ZQ_CALL ZqXmlU_ModifyKwList_p(ZQ_KWLIST_STRUCT_TP* list, uint64_t key, int value,
                                         int mode, const char* tag);
ZQ_API int ZQ_CALL ZqXmlU_ModifyKwList_q(ZQ_KWLIST_STRUCT_TQ* list, uint32_t key, uint64_t value,
                                         int mode, const char* tag);
// Sorts by key, ascending, unsigned; equal keys in no fixed order. No module-wide state: sorts of
// distinct lists may run at once. Up to 255 entries no heap; beyond that three work blocks
// tagged "zqSO", released before return.
ZQ_API void ZQ_CALL ZqXmlU_SortKwList_q(ZQ_KWLIST_STRUCT_TQ* list);
// Appends a row and returns its index.
ZQ_API int ZQ_CALL ZqXmlU_AddToPrefixUriList(ZQ_PREFIX_URILIST_STRUCT_T* list, uintptr_t prefix,
                                             intptr_t uri, intptr_t extra, int unused,
                                             const char* tag);
ZQ_API unsigned ZQ_CALL ZqXmlU_FreePrefixUriList(ZQ_PREFIX_URILIST_STRUCT_T* list);
// Does nothing.
ZQ_API void ZQ_CALL ZqXmlU_AddPString(void);

// ---------------------------------------------------------------------------------------------
// XML text encoding: character test, escaping, de-escaping, keyword names, element content
// ---------------------------------------------------------------------------------------------

extern "C" {

// Escapes one byte at *cursor (room: bytes left there) and advances the cursor. Entities and
// references are followed by a NUL that the cursor stops on; a piece that does not fit is dropped.
ZQ_API void ZQ_CALL ZqXmlU_EscapeXmlCharA(unsigned char byte, int room, char** cursor);
// Escapes a UTF-16 unit as its low byte, then its high byte (the L form).
ZQ_API void ZQ_CALL ZqXmlU_EscapeXmlCharL(ZqWChar unit, int room, char** cursor);
// 0: can be written unchanged; 2: markup character or a stray ampersand; 1: malformed reference.
ZQ_API int ZQ_CALL ZqXmlU_NeedsEscapingA(char* text);
// Keyword name: out needs at least 65 and at least limit + 1 bytes. A limit over 64 counts as
// 64 and a negative one as 0; the UTF-8 result is cut before a character that would not fit whole.
ZQ_API void ZQ_CALL ZqXmlU_KeywordizeW(char* out, ZqWChar* text, int limit, int codeFlag,
                                       int unused);
// As ZqXmlU_KeywordizeW on UTF-8 text; an empty result becomes "x" when limit is non-zero.
ZQ_API void ZQ_CALL ZqXmlU_KeywordizeA(char* out, char* text, int limit, int codeFlag,
                                       int firstToken);

}  // extern "C"

// true when every one of the `length` bytes is TAB, LF, CR or 0x20..0x7F. A NULL text is valid
// only with length 0. The character tables behind the XML name classes are built once, on first
// use, safely when several threads ask first.
ZQ_API bool ZQ_CALL ZqXmlU_ValidXmlChars(char* text, unsigned int length);
// Escapes text (size 0: up to its NUL; else at most `size` bytes and, for a caller's buffer, its
// capacity). *out NULL: allocates 8 * length + 2 bytes (tagged block), length being the bytes
// read: the text up to its NUL, at most `size`. A size beyond the text therefore never enlarges
// the block (a 2-byte text gets 18 bytes whatever the size); the block still holds the worst
// case. Returns bit 1 for an entity or reference written, bit 2 for "&amp;". mode and spaceFlag
// select nothing. out NULL counts as reportOnly. A block over 0xFFFFFFEB bytes counts as heap
// exhaustion (exit status 1), as in the tagged allocator. A caller's buffer that overlaps the
// text gives an unspecified text, written only within `size`.
ZQ_API int ZQ_CALL ZqXmlU_DoEscaping(int mode, char** out, char* text, int spaceFlag, ZqULong size,
                                     int reportOnly, char* tag);
ZQ_API void ZQ_CALL ZqXmlU_EscapeXMLStringA(char** out, char* text, int spaceFlag, ZqULong size,
                                            char* tag);
ZQ_API void ZQ_CALL ZqXmlU_EscapeXMLStringEA(char** out, char* text, int spaceFlag, ZqULong size,
                                             char* tag);
ZQ_API void ZQ_CALL ZqXmlU_EscapeXMLStringW(char** out, ZqWChar* text, int spaceFlag, ZqULong size,
                                            char* tag);
// L form: out needs 12 * (units + 1) + 1 bytes at most; room below 1 writes nothing.
ZQ_API void ZQ_CALL ZqXmlU_EscapeXmlStringLW(char* out, int room, ZqWChar* text, char* unused);
ZQ_API void ZQ_CALL ZqXmlU_EscapeXmlStringLA(char* out, int room, char* text, char* unused);
ZQ_API int ZQ_CALL ZqXmlU_NeedsEscapingW(ZqWChar* text);

// De-escaping. size 0: the output is allocated (tagged block) and stored in *out; otherwise *out
// is the caller's buffer of `size` bytes (units for the wide forms). The first argument is unused.
// A negative size writes nothing and returns 0. A buffer too small for the whole text ends in the
// truncation mark "...", itself cut to what fits while the NUL is always kept. Output and text may
// be the same buffer (in place) only when *out == text exactly; any other overlap gives an
// unspecified text, but nothing is read past where the text ended when the call began, nor written
// past the size. ZqXmlU_DeEscapeTextLW counts its
// room against the bytes written (so "A" in a buffer of 2 units gives "..."), and
// ZqXmlU_DeEscapeTextLA returns the UTF-8 length plus one.
ZQ_API int ZQ_CALL ZqXmlU_DeEscapeTextA(int unused, char** out, char* text, ZqLong size, char* tag);
ZQ_API int ZQ_CALL ZqXmlU_DeEscapeText0(int unused, char** out, char* text, ZqLong size, char* tag);
ZQ_API int ZQ_CALL ZqXmlU_DeEscapeTextW(int unused, ZqWChar** out, char* text, ZqLong size,
                                        char* tag);
ZQ_API int ZQ_CALL ZqXmlU_DeEscapeTextLW(int unused, ZqWChar** out, char* text, ZqLong size,
                                         char* tag);
ZQ_API int ZQ_CALL ZqXmlU_DeEscapeTextLA(int unused, char** out, char* text, ZqLong size,
                                         char* tag);

// Bytes of element content from `start` (comments and CDATA counted whole); negative (-start) for
// a "<![" section that is not CDATA, so at start 0 such a section measures 0. A negative start
// or a NULL text measures 0.
ZQ_API ZqLong ZQ_CALL ZqXmlU_MeasureStringSize(char* text, ZqLong start);
// Copies the content (comments dropped, CDATA unwrapped) into out (measured size + 1 bytes).
// Returns the position where it stopped; negative when a child element was met.
ZQ_API ZqLong ZQ_CALL ZqXmlU_ConstructContent(char* text, ZqLong start, char* out);

// ---------------------------------------------------------------------------------------------
// Numbers and dates
// ---------------------------------------------------------------------------------------------
// Date value (unsigned 64-bit): 0 no date; 1..2678399 a day number before 1970 (1 = 0001-01-01
// Julian); 2678400 and above seconds, 2678400 being 1970-01-01T00:00:00Z, with the library's own
// leap-second correction. Format codes 21..36 name the text layouts.

extern "C" {

// Reads a signed integer (decimal, or hexadecimal after a lower-case 'x') into *value; returns
// the index just past the character that ended it (in hexadecimal, '.', '_' and other
// non-delimiters are not consumed). Wraps modulo 2^64. A NULL text reads 0 with advance 0; a NULL
// value is not written.
ZQ_API ZqULong ZQ_CALL ZqXmlU_ParseInteger(char* text, int64_t* value, int hexOnly);
ZQ_API uint64_t ZQ_CALL ZqXmlU_ParseDate(char* text, int format, ZqLong zoneHours,
                                         ZqULong zoneMinutes);
// Writes `value` in layout `format`, shifted into the zone. Returns dst. Codes 28 to 31 and
// unknown codes use code 26's layout. Bounded by dstSize: the whole text and its terminator when
// they fit, otherwise an empty text; dstSize 0 writes nothing. Second counts are worked in 64
// bits, so values past 2038-01-19 and local times before 1970 show their true date and time; a
// zone shift before year 1 shows 0001-01-01. Day number 577815 shows as 1582-12-31.
ZQ_API char* ZQ_CALL ZqXmlU_MakeDateA(uint64_t value, int format, char* dst, unsigned dstSize,
                                      ZqLong zoneHours, ZqULong zoneMinutes);
ZQ_API ZqWChar* ZQ_CALL ZqXmlU_MakeDateW(uint64_t value, int format, ZqWChar* dst, unsigned dstSize,
                                         ZqLong zoneHours, ZqULong zoneMinutes);
// The current date value (or the override); writes it in format 23 unless noText. dst: 26 bytes
// (the same fit rule as ZqXmlU_MakeDateA). Without an override, the UTC text is written into dst
// even when noText is set.
ZQ_API uint64_t ZQ_CALL ZqXmlU_GetTimeString(char* dst, unsigned dstSize, int noText,
                                             ZqLong zoneHours, ZqULong zoneMinutes);

}  // extern "C"

// Reads a signed decimal into *value; returns the index just past the delimiter. The character
// after an optional sign is taken as a digit without a test, except the terminator: an empty text
// or a lone sign reads 0 with advance 1 or 2. Wraps modulo 2^32. A NULL text reads 0 with advance
// 0; a NULL value is not written.
ZQ_API ZqULong ZQ_CALL ZqXmlU_ParseDecimal(char* text, ZqLong* value);
// Parses `text` in layout `format`; 0 for anything rejected. asDouble: the result holds the bit
// pattern of a double (date value plus the fraction of format 23). Never reads past the text's
// terminator and never writes the text. Format 28 is rejected (0), like 26 and 29 to 31; so are a
// month outside 1 to 12 and a result below 0 (a date before 0001-01-01, or a zone so far east
// that the second count of a time in 1970 would fall below 0). A date whose
// arithmetic gives exactly 0 (1 January of year 1, or a zone that brings the second count, leap
// step included, to 0) is 1: 0 only ever means "no date".
ZQ_API uint64_t ZQ_CALL ParseDate(char* text, int format, ZqLong zoneHours, ZqULong zoneMinutes,
                                  int asDouble);
ZQ_API double ZQ_CALL ZqXmlU_ParseDateF(char* text, int format, ZqLong zoneHours,
                                        ZqULong zoneMinutes);
// Pins the clock of ZqXmlU_GetTimeString to `value` for the whole process (0 releases it).
// Stored atomically: each reader sees the old or the new value.
ZQ_API void ZQ_CALL ZqXmlU_SetOverrideNow(uint64_t value);

// ---------------------------------------------------------------------------------------------
// Namespace URIs and user identities
// ---------------------------------------------------------------------------------------------
// Vocabulary URI: NamespaceBase "/" c0 "/" c1 "/" c2 c3 "/" user "/" name "_" MM "_" mmm ".zqtv"
// [variant], NamespaceBase being "http://ns.zq.example/xml". A list of user bases is a
// ZQ_KWLIST_STRUCT_T whose keys are base strings owned by the list (ZqXmlU_FreeKwAllocList).

extern "C" {

// Adds the user's base to the list unless present; moveToFront swaps it to index 0. Returns 0; -1,
// nothing done, for a NULL user, a NULL or unsound list. Base strings are tagged blocks ("zqUB")
// owned by the list.
ZQ_API int ZQ_CALL ZqXmlU_MakeUriBase(char* user, ZQ_KWLIST_STRUCT_T* bases, int moveToFront);
// 0 written; 1 dst too small (dst untouched). dst must be larger than strlen(user) +
// strlen(name) + 60, whatever the text's own length. Numbers whose decimal texts with the variant
// exceed 19 characters (only very large or negative ones), NULL arguments and dstSize <= 0 are
// refused the same way.
ZQ_API int ZQ_CALL ZqXmlU_MakeUri(char* user, const char* name, int major, int minor, char* dst,
                                  int dstSize, char variant);
// 1 when `newer` is a later compatible revision of `older` (or equal to it). NULL: 0.
ZQ_API int ZQ_CALL ZqXmlU_CompatibleURI(char* older, char* newer);
// User segment of a URI into `user` (65 bytes); "zq" for a URI outside the scheme (and NULL),
// "" for a segment of 65 or more characters. NULL user: nothing written.
ZQ_API void ZQ_CALL ZqXmlU_GetUserName(char* uri, char* user);

}  // extern "C"

// Decodes a vocabulary URI; name and user need 65 bytes each. 1 decoded, 0 not. Names of 63 or
// more and users of 64 or more characters come back empty (result still 1). On 0: name "" and
// user "zq"; underscoreIndex is stored once both '_' are in place, minor only when decoded.
ZQ_API int ZQ_CALL ZqXmlU_GetURIInfo(char* uri, int& underscoreIndex, int& minor, ZqLong* major,
                                     char* name, char* user, int* variant);
// Index of the base that `uri` begins with; -1 for another product URI; count for a URI outside
// NamespaceBase (and NULL). A NULL or unsound list counts as empty (count 0).
ZQ_API int ZQ_CALL ZqXmlU_IsUserOwned(char* uri, ZQ_KWLIST_STRUCT_T* bases);
// User name of entry `index` into dst, cut to dstSize - 1 characters. An index out of range, a
// NULL or unsound list, a NULL key, or a name of 64 or more characters gives ""; dstSize <= 0
// writes nothing.
ZQ_API void ZQ_CALL ZqXmlU_GetUsernameI(ZQ_KWLIST_STRUCT_T* bases, int index, char* dst,
                                        int dstSize);
// Index of the first entry whose user name equals `user`, or -1 (also for NULL arguments and an
// unsound list).
ZQ_API int ZQ_CALL ZqXmlU_GetMatchingUri(ZQ_KWLIST_STRUCT_T* bases, char* user);
// Adds the bases of a comma-separated list of user names, each optionally followed by a field
// "(value)" attached to the entry at index added - 1. Values are tagged blocks ("zqUV") that
// belong to the caller: release each non-zero value with ZqXmlU_Free before
// ZqXmlU_FreeKwAllocList, which releases only keys. A lone "(" attaches an empty text; a value
// whose index is past count is dropped; a value stored over another replaces the pointer without
// releasing the old text. A name of 65 or more characters ends the list. A NULL or unsound list:
// nothing done.
ZQ_API void ZQ_CALL ZqXmlU_GetAdditionalUsernames(ZQ_KWLIST_STRUCT_T* bases, char* text);
// first "_" second [number]; names are cut to 28 characters when the whole would pass 64. The
// result has at most 68 characters (69 bytes suffice); a smaller dst gets it cut to dstSize - 1
// characters; dstSize <= 0 writes nothing. NULL names count as empty.
ZQ_API void ZQ_CALL ZqXmlU_MakeCombinedPrefix(char* first, char* second, char* dst, int dstSize,
                                              int number);

// ---------------------------------------------------------------------------------------------
// XML document scanning and editing
// ---------------------------------------------------------------------------------------------
// Positions are signed indexes into the buffer passed; -1 means not found. No scanner reads past
// the text's NUL. NULL texts give -1 (ZqXmlU_FindUnquotedWhitespace: 0).

extern "C" {

// Index of the final ">" of the element whose "<" is at index 0, or -1.
ZQ_API ZqLong ZQ_CALL ZqXmlU_FindXmlEnd(char* text);

}  // extern "C"

// mode 0: skip quoted runs; 1: skip comments, a raw quote fails; 2: plain. A negative start gives
// -1. Pass starts from 0 to the index of the NUL: a start beyond it cannot be recognised without
// reading the text before it.
ZQ_API ZqLong ZQ_CALL ZqXmlU_FindNextUnquoted(char* text, ZqLong start, char* target, int mode);
ZQ_API ZqLong ZQ_CALL ZqXmlU_FindUnquotedWhitespace(char* text, int stopAtGreater);
ZQ_API int ZQ_CALL ZqXmlU_FindSubstring(char* text, char* target);

// Simple text content at pos, de-escaped, in a new tagged block. 1 found, 0 no simple content,
// -1 malformed. NULL text or a negative pos: 0, contents NULL. pos must lie within the text.
ZQ_API int ZQ_CALL ZqXmlU_GetContents(char* text, ZqLong pos, char*& contents);
// how 1: raw content of the first element `name` (tagged block, NULL when empty); how 2: append
// the "<rdf:li" items from there on to `items` (strings owned by the list); other: existence.
// NULL text or name: 0. how 1 with contents NULL, or how 2 with items NULL: 1, nothing stored.
// how 2 with an unsound list: 0, nothing appended.
ZQ_API int ZQ_CALL ZqXmlU_GetElementContents(char* text, char* name, char** contents,
                                             ZQ_KWLIST_STRUCT_T* items, int how, int maxItems,
                                             int unused, char* tag);
// 0 copied; 1 no end tag; 2 no start tag; -1 start tag not closed; -2 value too large. NULL text
// or name: 2; NULL value or valueSize <= 0: -2.
ZQ_API int ZQ_CALL ZqXmlU_GetParam(char* text, char* name, char* value, int valueSize);
// Cuts the first element `name` out, in place. 0 done; 1 no end tag; 2 no start tag; 3 end tag
// not closed. NULL text or name: 2. A prefix (anyPrefix) is a non-empty run of characters other
// than white space, '<', '>', '/', ':' and NUL.
ZQ_API int ZQ_CALL ZqXmlU_Excise(char* text, char* name, int anyPrefix);
// Inserts into a shared XML string (which may move). Returns the insertion index, 0 when the
// anchor is missing, -1 when the anchor's tag is not closed. Also 0, unchanged: NULL text or
// insertion, NULL anchor with pos 0, pos < 0 or beyond the text. Also -1, unchanged: growth
// beyond the shared-string limit or INT_MAX, growth the heap refuses, or a text that is not a
// shared XML string (it has no recorded capacity, so every insertion counts as growth; see the
// rule for such pointers at the top). replaceCount < 0 counts as 0 and stops at the text's end.
// The insertion may come from the document itself.
ZQ_API int ZQ_CALL ZqXmlU_InsertString(char*& text, int& unused, char* insertion, char* anchor,
                                       int pos, int replaceCount);
// Appends three strings to a growable tagged buffer. NULL strings count as ""; length < 0, a NULL
// buffer with length != 0, or a need beyond INT_MAX: nothing done. The strings may come from the
// buffer itself.
ZQ_API void ZQ_CALL ZqXmlU_AddToString(char*& buffer, int& length, int& capacity, char* first,
                                       char* second, char* third);
// Writes an XML comment listing the readable strings of `data` at writePos in the shared XML
// string `document` (grown as needed); returns the position after it, or the comment's start when
// no string was found. NULL data counts as an empty block; NULL document with NULL writePos makes
// a new string. `capacity` counts at most the size the document's header records (a document
// that is not a shared XML string has none); after a write it holds the capacity used. A caller's
// capacity below the recorded size never shrinks the string. writePos outside document (beyond
// that capacity), or growth beyond the limit or refused by the heap: nothing written, writePos
// returned. A UTF-16 unit that would begin in the last byte is not read; the '<' of "<!--" and
// the '>' of "-->" inside a string are written as entities.
ZQ_API char* ZQ_CALL ZqXmlU_ExtractComment(unsigned char* data, char*& writePos, char*& document,
                                           unsigned int& capacity, unsigned int dataLen);
// Reads the rest of `file` into a tagged buffer (NULL, lent or owned), NUL-terminated. NULL file:
// nothing done. An owned buffer's capacity is held to its block's size; reading stops,
// NUL-terminated, when the next growth would pass INT_MAX bytes.
ZQ_API void ZQ_CALL ZqXmlU_FileToBuf(FILE* file, char*& buffer, unsigned int& capacity, int& owned);
// Adds one tree item per element of the sink's text from pos on, under the item of its parent, in
// document order; each item is expanded once its children are in place. 1 done, -1 failed (an
// unclosed tag or quote, a name over 64 characters; items so far stay). NULL document or tree,
// pos outside 0..length: -1; NULL buffer: 1. An end tag closes the innermost open element
// whatever its name; elements still open at the end are expanded and the result is 1. Comments,
// CDATA sections, declarations and processing instructions give no item. No recursion: depth is
// limited by memory only. Run it on the tree control's thread (<zqxmlu_treectrl.h> elsewhere).
ZQ_API int ZQ_CALL ZqXmlU_XmlToTree(ZQ_XML_STRUCT_T* document, CTreeCtrl* tree, HTREEITEM parent,
                                    int pos, int passOn);

// ---------------------------------------------------------------------------------------------
// Metadata documents and file names
// ---------------------------------------------------------------------------------------------

// Compartment number 0..8 of a name ("zqmd" 0, "iptc" 1, "exif" 2, "xmp" 3, "id3" 4, "stat" 5,
// "photoshop" 6, "mp3" 7, "none" 8); unknown names (and NULL) give 0.
ZQ_API int ZQ_CALL ZqXmlU_WhichCompartment(char* name);
// Copies the sink's text (up to its first NUL, at most `length` bytes, length held to the
// buffer's recorded size) into a new shared XML string *copy, tagged with the sink's tag; *copy
// is NULL for a NULL or stream sink, a sink that cannot be read (see ZQ_XML_STRUCT_T) or when the
// heap is exhausted.
ZQ_API void ZQ_CALL ZqXmlU_SplitCompartments(ZQ_XML_STRUCT_T* document, char** copy,
                                             ZQ_KWLIST_STRUCT_T* unused);
// Label document (changed in place: CR LF pairs removed, stray double quotes marked 0x01) to XMP
// keyword packet, written to `out`. Nothing is written unless the text starts with "<Labels>"
// and ends with "</Labels>". Titles are copied unescaped. Each root yields its lines once per
// occurrence; a root nested in another is walked once, with the enclosing root (the time is
// linear in the document and the packet). Failure is reported the way a non-label document is:
// by no packet. When a write to the sink fails (no heap, a sink that cannot be read), the sink is
// given back the text it held before the call (length restored, NUL-terminated there; a sink
// that had no buffer has none again), so it never holds a cut packet. A stream sink keeps what
// already reached the stream. NULL arguments: nothing.
ZQ_API void ZQ_CALL ZqXmlU_MakeMsdisXml(char* labels, ZQ_XML_STRUCT_T* out);
// Walks one label and its descendants (no recursion) and appends each leaf path, a tagged block
// ("zqLP"), with value `kind`. Returns the characters consumed, 7 for "</Word>", -1 for a bad
// label. Nothing is written at or past pathSize. NULL text or path, or an unsound list: -1,
// nothing done; NULL paths: leaves are not recorded.
ZQ_API int ZQ_CALL ZqXmlU_ProcessExtractablePaths(char* text, ZQ_KWLIST_STRUCT_T* paths, int kind,
                                                  char* path, int pathSize, int isRoot);
// Next name of a numbered series ("Name" -> "Name2", "Name2" -> "Name3"); result may be name.
// A name longer than resultSize - 1 is cut first. Without room for one more character, a name
// without suffix gets "2" over its last character. A suffix of nines grows by one digit when there
// is room ("Name9" -> "Name10"), else "1" goes over the character before it and zeros over the
// nines ("Name9" in 6 bytes -> "Nam10"). For resultSize >= 2 the result always differs from the
// input and stays valid UTF-8. NULL or resultSize <= 0: nothing.
ZQ_API void ZQ_CALL ZqXmlU_IncrementKeywordName(char* name, char* result, int resultSize);
// Inserts `entry` before the character that precedes the "</rdf:Seq" inside element
// `historyName`. 0 inserted; 1 not inserted, the document unchanged: history element or sequence
// end missing, NULL arguments, or the insertion refused (the document is not a shared XML string
// and would have to grow, or the heap cannot grow it).
ZQ_API int ZQ_CALL ZqXmlU_AddHistoryEntry(char*& document, char* historyName, char* unused,
                                          char* entry);
// Sets (or creates after `anchor`, NULL: the default exif description) the parameter element
// `name`. 0 done (also when the anchor is missing: nothing inserted), 3 end tag missing, -1 the
// insertion was refused: the document is not a shared XML string and would have to grow, the
// heap cannot grow it, or the anchor's tag is not closed (document unchanged). NULL document or
// NULL/empty name: 0, nothing done; NULL attributes or value count as "". Long names and
// attributes are composed on the heap, never cut.
ZQ_API int ZQ_CALL ZqXmlU_FixParam(char*& document, char* name, char* attributes, char* value,
                                   char* anchor);
// Base64 (no line breaks) of the de-escaped text and its NUL into base64 (may be NULL). Always 1;
// NULL text: nothing written.
ZQ_API int ZQ_CALL ZqXmlU_NeedsBinhex(char* text, char* base64);
// New region array (tagged block of eight doubles). A zero scale gives the IEEE results (inf,
// NaN) without trapping.
ZQ_API double* ZQ_CALL ZqXmlU_CraftRectangleSubregion(int scale, int x1, int y1, int x2, int y2,
                                                      char* tag);
// Clips the regions to the crop and re-expresses them relative to it; appends the indexes of the
// regions wholly outside to `outside` (arrays tagged "zqRG"). Always 0. NULL crop or regions, an
// unsound list, or `outside` the same list as `regions`: nothing done; NULL region keys are
// skipped; NULL outside: indexes are not recorded. A crop of width 0 gives IEEE infinities or NaN.
ZQ_API int ZQ_CALL ZqXmlU_AdjustRegions(double unused, double* crop, ZQ_KWLIST_STRUCT_T* regions,
                                        ZQ_KWLIST_STRUCT_T* outside);
// Sidecar / shrunk-copy path beside an image: a tagged block ("zqFN"), or NULL. A path without a
// "\" folder, or a file name without an extension of 1 to 9 characters, gives NULL. The shrunk
// name is the first candidate that cannot be opened for reading (a directory of that name counts
// as taken); the counter stops at 9999999 (then NULL). Paths of any length.
ZQ_API void ZQ_CALL ZqXmlU_GetSidecarNameW(ZqWChar* path, ZqWChar*& out);
ZQ_API void ZQ_CALL ZqXmlU_GetSidecarNameA(char* path, char*& out);
ZQ_API void ZQ_CALL ZqXmlU_GetShrunkNameW(ZqWChar* path, ZqWChar*& out);

// ---------------------------------------------------------------------------------------------
// Digests, encodings and credentials
// ---------------------------------------------------------------------------------------------

extern "C" {

ZQ_API void ZQ_CALL ZqXmlU_start_sha1(uint32_t state[5]);
// Compresses one 64-byte block.
ZQ_API void ZQ_CALL ZqXmlU_compute_sha1(const unsigned char* block, uint32_t state[5]);
// Pads the last 0..64 bytes (bits: bits hashed before them) and leaves the digest in the state.
// A length outside 0..64 is held to that range; a NULL block counts as 0 bytes.
ZQ_API void ZQ_CALL ZqXmlU_finish_sha1(const unsigned char* block, int length, uint32_t bits,
                                       uint32_t state[5]);
// Digest of buffer[start..end] (skip 0), or of the text from start to its NUL without white
// space (skip non-zero). An interval that ends before it starts is the empty message; a NULL
// buffer gives the empty digest. Lengths count in 32 bits. SHA instructions are used when the
// processor has them, chosen once.
ZQ_API void ZQ_CALL ZqXmlU_Sha1Interval(const char* buffer, uint32_t start, uint32_t end,
                                        uint32_t state[5], uint32_t skip);
// Base64 ending with one "="; dst needs 4 * ceil(n / 3) + 2 bytes plus 1 + tabs per line break.
// NULL dst: 0, nothing written; NULL src counts as 0 bytes.
ZQ_API int ZQ_CALL ZqXmlU_ToBase64(const void* src, uint32_t n, char* dst, uint32_t groupsPerLine,
                                   uint32_t tabs);
// Bytes decoded, 0 when the text has no "=". Nothing is written past capacity: a group is written
// only when its characters plus the bytes so far are below capacity.
ZQ_API uint32_t ZQ_CALL ZqXmlU_FromBase64(const char* src, unsigned char* dst, uint32_t capacity);
// *record: password record (tagged block "zqWK"), NULL for a NULL password or one over 255 bytes,
// a NULL key text, or "key1;key2" not fitting in 128 bytes with its NUL.
ZQ_API void ZQ_CALL ZqXmlU_EncryptPassword(const char* key1, const char* key2, const char* password,
                                           char** record);
// *password: the password (tagged block "zqWK"), NULL for an inconsistent record, or unchanged:
// an empty or NULL key2, a NULL key1 or record, "key1;key2" over 127 bytes, a record outside 32 to
// 255 characters.
ZQ_API void ZQ_CALL ZqXmlU_DecryptPassword(const char* key1, const char* key2, char** password,
                                           const char* record);
// Inserts the authenticator attributes into the first start tag of the sink's document; returns
// the bytes inserted. -1, with the document unchanged, when no start tag completes before an end
// tag or the text's end, and for a NULL or stream sink, a NULL buffer or one that is not a shared
// XML string, length outside 0..capacity-1 (capacity counted at most up to the size the buffer
// records), start outside 0..length, or a heap that cannot hold the new text.
ZQ_API int ZQ_CALL ZqXmlU_InsertAuthenticators(const char* plain, const char* auth,
                                               ZQ_XML_STRUCT_T* sink, int start);
// RSA public-key recovery (PKCS#1 v1.5) with the built-in key; out needs 128 bytes. 1 when 1..128
// bytes of content were recovered into out; 0 when length is outside 1..128, data or out is NULL,
// the data was not made with the key's private half, or the content is empty (out untouched). The
// key object is built once, even when threads race to the first call, and kept for the process.
ZQ_API int ZQ_CALL ZqXmlU_DeencryptAuthenticator(const unsigned char* data, int length,
                                                 unsigned char* out);

}  // extern "C"

ZQ_API void ZQ_CALL ZqXmlU_swap_sha1(uint32_t state[5]);
// zlib stream (RFC 1950) of src into dst (room: n bytes); 0 when it does not fit, 0xFFFFFFFF when
// the compressor cannot be set up. NULL src (with n > 0) or NULL dst: 0.
ZQ_API uint32_t ZQ_CALL ZqXmlU_gzip(const unsigned char* src, uint32_t n, unsigned char* dst);
// Decompresses a zlib stream into dst; the bytes that fitted, 0 for a corrupt stream.
ZQ_API uint32_t ZQ_CALL ZqXmlU_gunzip(const unsigned char* src, uint32_t n, unsigned char* dst,
                                      uint32_t capacity);
// 1 when the 8-digit code of first + second equals `expected`. A NULL text counts as empty; a NULL
// expected code gives 0.
ZQ_API int ZQ_CALL ZqXmlU_CheckPasswordPIN(const char* first, const char* second,
                                           const char* expected);
// 28 Base64 characters and a NUL at out (29 bytes). NULL out: nothing; NULL value or mask: an
// empty text.
ZQ_API void ZQ_CALL ZqXmlU_Obfuscate(const char* value, const uint32_t mask[5], char* out);
// Releases the calling thread's OpenSSL state. The process-wide state stays (OpenSSL frees it at
// exit), so later calls from any thread keep working; the key object is kept. Safe to repeat.
ZQ_API void ZQ_CALL ZqXmlU_FreeSSL(void);

#endif  // ZQXMLU_H
