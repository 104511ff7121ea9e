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
//    tag shorter than four characters is read only up to its NUL (the missing bytes count as 0).
//  * Heap exhaustion in the tagged allocator ends the process with exit status 1; the shared XML
//    string allocator reports it with NULL instead.
//  * Writes into a caller's buffer never pass the size the caller gives.
//  * Threads: calls on distinct data may run concurrently. Module-wide state is named where it
//    occurs (log root, character tables, clock override, RSA key) together with what callers
//    must still serialise.
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
#if defined(ZQXMLU_STATIC)
#define ZQ_API
#elif defined(ZQXMLU_BUILDING)
#define ZQ_API __declspec(dllexport)
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
// words (a string key matches by pointer identity, not by text).
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
ZQ_API void ZQ_CALL ZqXmlU_SetLogRoot(const char* path);
// The stored path, or "c:\zq\" when none is set. Owned by the library; valid until the next
// ZqXmlU_SetLogRoot or ZqXmlU_FreeStorage.
ZQ_API const char* ZQ_CALL ZqXmlU_GetLogRoot(void);
ZQ_API const ZqWChar* ZQ_CALL ZqXmlU_GetLogRootW(void);
// Payload size recorded in a live tagged block (0 for NULL).
ZQ_API uint32_t ZQ_CALL ZqXmlU_GetUsedSpace(void* p);
// Releases the stored log root; the getters return the defaults again. Safe to call twice.
ZQ_API void ZQ_CALL ZqXmlU_FreeStorage(void);

// Tagged blocks: [tag 4][size 4][payload, zero-filled][tag 4]; you hold the payload pointer.
// count * elementSize is taken as an unsigned 32-bit product.
ZQ_API void* ZQ_CALL ZqXmlU_Calloc(int count, int elementSize, const char* tag);
// Resizes (p NULL: allocates). Bytes gained are zeroed; the block keeps its first tag. Use the
// returned pointer from now on.
ZQ_API void* ZQ_CALL ZqXmlU_Realloc(void* p, int count, unsigned elementSize, const char* tag);
// Releases *pp when both tags are sound (an overrun or foreign block is left alone), clears *pp
// either way and returns the recorded size; 0 when *pp is NULL.
ZQ_API int ZQ_CALL ZqXmlU_Free(void** pp);
// keep 0: as ZqXmlU_Free but tests only the leading tag. keep non-zero: only reports the size.
ZQ_API unsigned ZQ_CALL ZqXmlU_FreeC(void** pp, unsigned keep);

// Resizes a shared XML string. A string shared with others (count > 1) is copied into a new one
// and one reference to the old is dropped. NULL on heap exhaustion (p then stays valid).
ZQ_API char* ZQ_CALL ZqXmlU_xml_realloc(char* p, unsigned newSize, const char* tag);
// Drops one reference (the last one releases the string). false when p is not a shared XML string
// (NULL included); nothing is done then.
ZQ_API bool ZQ_CALL ZqXmlU_xml_free(char* p);
// Adds a reference. false for NULL or a pointer that is not a shared XML string.
ZQ_API bool ZQ_CALL ZqXmlU_xml_inc(char* p);
// Appends printf-formatted text to the sink, growing its buffer by a quarter of the text plus
// 4096 bytes beyond the need. Returns the bytes appended (stream mode: the stream's result).
// When the heap cannot supply a grown buffer it returns -1 and the sink is left as it was.
ZQ_API int ZQ_CDECL ZqXmlU_xml_sprintf(ZQ_XML_STRUCT_T* sink, const char* format, ...);

}  // extern "C"

// New shared XML string of `size` zeroed bytes (reference count 1), or NULL when the heap is
// exhausted. Release with ZqXmlU_xml_free.
ZQ_API void* ZQ_CALL ZqXmlU_xml_alloc(unsigned size, char* tag);
// As ZqXmlU_xml_sprintf, growing the buffer to the exact size; reports nothing.
ZQ_API void ZQ_CDECL ZqXmlU_sprintf(ZQ_XML_STRUCT_T* sink, const char* format, ...);

// ---------------------------------------------------------------------------------------------
// Keyword lists, prefix/URI list, string lists, tag arrays
// ---------------------------------------------------------------------------------------------
// Lists grow before they are full: when count + 1 >= capacity, to 2 * capacity + 5 entries
// (5, 15, 35, ...). New entries of library arrays are zero.

extern "C" {

// mode 1: add or replace (result: index if present, else -1); 2: delete, the last entry fills the
// hole (index or -1); 4: look up (the value's low 32 bits, or -1); 5: append without searching
// (-1); other: find (index or -1). Room is made first, whatever the mode.
ZQ_API int ZQ_CALL ZqXmlU_ModifyKwList(ZQ_KWLIST_STRUCT_T* list, uintptr_t key, uintptr_t value,
                                       int mode, const char* tag);
// Releases owned arrays (lent ones are kept with their capacity), sets count to 0, returns the
// bytes released. Key strings are not released.
ZQ_API int ZQ_CALL ZqXmlU_FreeKwList(ZQ_KWLIST_STRUCT_T* list);

// String list (count, capacity, keys of a ZQ_KWLIST_STRUCT_T): appends a tagged copy of text
// (NULL: only makes room). Capacities 24, 60, 114, ... Release strings and keys with ZqXmlU_Free.
ZQ_API void ZQ_CALL ZqXmlU_AddString(ZQ_KWLIST_STRUCT_T* list, const char* text);
// Word list: appends value to keys. Capacities 32, 69, ...
ZQ_API void ZQ_CALL ZqXmlU_AddToList(ZQ_KWLIST_STRUCT_T* list, uintptr_t value);
// Appends a row (column 3 untouched). Capacities 256, 576, ...
ZQ_API void ZQ_CALL ZqXmlU_AugmentTags(ZQ_TAGS_STRUCT_T* tags, uint32_t first, uint32_t second,
                                       uint64_t wide, uint32_t unused);
// Releases the four columns; returns the bytes released.
ZQ_API int ZQ_CALL ZqXmlU_ReleaseTags(ZQ_TAGS_STRUCT_T* tags);

}  // extern "C"

// Removes n entries from start, keeping order, when count >= start + n; otherwise does nothing.
ZQ_API void ZQ_CALL ZqXmlU_DelFromKwList(ZQ_KWLIST_STRUCT_T* list, int start, int n);
// Releases the key string at index and moves the last entry into its place. Returns 0.
ZQ_API int ZQ_CALL ZqXmlU_PurgeIdentity(ZQ_KWLIST_STRUCT_T* list, int index);
// Releases every non-NULL key with ZqXmlU_Free, then the list; returns the bytes released.
ZQ_API unsigned ZQ_CALL ZqXmlU_FreeKwAllocList(ZQ_KWLIST_STRUCT_T* list);
ZQ_API int ZQ_CALL ZqXmlU_ModifyKwList_p(ZQ_KWLIST_STRUCT_TP* list, uint64_t key, int value,
                                         int mode, const char* tag);
ZQ_API int ZQ_CALL ZqXmlU_ModifyKwList_q(ZQ_KWLIST_STRUCT_TQ* list, uint32_t key, uint64_t value,
                                         int mode, const char* tag);
// Sorts by key, ascending, unsigned; equal keys in no fixed order.
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
// Keyword name: out needs at least 65 and at least limit + 1 bytes; limit at most 64.
ZQ_API void ZQ_CALL ZqXmlU_KeywordizeW(char* out, ZqWChar* text, int limit, int codeFlag,
                                       int unused);
// As ZqXmlU_KeywordizeW on UTF-8 text; an empty result becomes "x" when limit is non-zero.
ZQ_API void ZQ_CALL ZqXmlU_KeywordizeA(char* out, char* text, int limit, int codeFlag,
                                       int firstToken);

}  // extern "C"

// true when every one of the `length` bytes is TAB, LF, CR or 0x20..0x7F.
ZQ_API bool ZQ_CALL ZqXmlU_ValidXmlChars(char* text, unsigned int length);
// Escapes text (size 0: up to its NUL; else at most `size` bytes and, for a caller's buffer, its
// capacity). *out NULL: allocates 8 * length + 2 bytes (tagged block). Returns bit 1 for an entity
// or reference written, bit 2 for "&amp;". mode and spaceFlag select nothing.
ZQ_API int ZQ_CALL ZqXmlU_DoEscaping(int mode, char** out, char* text, int spaceFlag, ZqULong size,
                                     int reportOnly, char* tag);
ZQ_API void ZQ_CALL ZqXmlU_EscapeXMLStringA(char** out, char* text, int spaceFlag, ZqULong size,
                                            char* tag);
ZQ_API void ZQ_CALL ZqXmlU_EscapeXMLStringEA(char** out, char* text, int spaceFlag, ZqULong size,
                                             char* tag);
ZQ_API void ZQ_CALL ZqXmlU_EscapeXMLStringW(char** out, ZqWChar* text, int spaceFlag, ZqULong size,
                                            char* tag);
// L form: out needs 12 * (units + 1) + 1 bytes at most.
ZQ_API void ZQ_CALL ZqXmlU_EscapeXmlStringLW(char* out, int room, ZqWChar* text, char* unused);
ZQ_API void ZQ_CALL ZqXmlU_EscapeXmlStringLA(char* out, int room, char* text, char* unused);
ZQ_API int ZQ_CALL ZqXmlU_NeedsEscapingW(ZqWChar* text);

// De-escaping. size 0: the output is allocated (tagged block) and stored in *out; otherwise *out
// is the caller's buffer of `size` bytes (units for the wide forms). The first argument is unused.
ZQ_API int ZQ_CALL ZqXmlU_DeEscapeTextA(int unused, char** out, char* text, ZqLong size, char* tag);
ZQ_API int ZQ_CALL ZqXmlU_DeEscapeText0(int unused, char** out, char* text, ZqLong size, char* tag);
ZQ_API int ZQ_CALL ZqXmlU_DeEscapeTextW(int unused, ZqWChar** out, char* text, ZqLong size,
                                        char* tag);
ZQ_API int ZQ_CALL ZqXmlU_DeEscapeTextLW(int unused, ZqWChar** out, char* text, ZqLong size,
                                         char* tag);
ZQ_API int ZQ_CALL ZqXmlU_DeEscapeTextLA(int unused, char** out, char* text, ZqLong size,
                                         char* tag);

// Bytes of element content from `start` (comments and CDATA counted whole); negative for a "<!["
// section that is not CDATA.
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
// the index just past the character that ended it.
ZQ_API ZqULong ZQ_CALL ZqXmlU_ParseInteger(char* text, int64_t* value, int hexOnly);
ZQ_API uint64_t ZQ_CALL ZqXmlU_ParseDate(char* text, int format, ZqLong zoneHours,
                                         ZqULong zoneMinutes);
// Writes `value` in layout `format`, shifted into the zone, bounded by dstSize. Returns dst.
ZQ_API char* ZQ_CALL ZqXmlU_MakeDateA(uint64_t value, int format, char* dst, unsigned dstSize,
                                      ZqLong zoneHours, ZqULong zoneMinutes);
ZQ_API ZqWChar* ZQ_CALL ZqXmlU_MakeDateW(uint64_t value, int format, ZqWChar* dst, unsigned dstSize,
                                         ZqLong zoneHours, ZqULong zoneMinutes);
// The current date value (or the override); writes it in format 23 unless noText. dst: 26 bytes.
ZQ_API uint64_t ZQ_CALL ZqXmlU_GetTimeString(char* dst, unsigned dstSize, int noText,
                                             ZqLong zoneHours, ZqULong zoneMinutes);

}  // extern "C"

// Reads a signed decimal into *value; returns the index just past the delimiter.
ZQ_API ZqULong ZQ_CALL ZqXmlU_ParseDecimal(char* text, ZqLong* value);
// Parses `text` in layout `format`; 0 for anything rejected. asDouble: the result holds the bit
// pattern of a double (date value plus the fraction of format 23).
ZQ_API uint64_t ZQ_CALL ParseDate(char* text, int format, ZqLong zoneHours, ZqULong zoneMinutes,
                                  int asDouble);
ZQ_API double ZQ_CALL ZqXmlU_ParseDateF(char* text, int format, ZqLong zoneHours,
                                        ZqULong zoneMinutes);
// Pins the clock of ZqXmlU_GetTimeString to `value` for the whole process (0 releases it).
// Stored atomically.
ZQ_API void ZQ_CALL ZqXmlU_SetOverrideNow(uint64_t value);

// ---------------------------------------------------------------------------------------------
// Namespace URIs and user identities
// ---------------------------------------------------------------------------------------------
// Vocabulary URI: NamespaceBase "/" c0 "/" c1 "/" c2 c3 "/" user "/" name "_" MM "_" mmm ".zqtv"
// [variant], NamespaceBase being "http://ns.zq.example/xml". A list of user bases is a
// ZQ_KWLIST_STRUCT_T whose keys are base strings owned by the list (ZqXmlU_FreeKwAllocList).

extern "C" {

// Adds the user's base to the list unless present; moveToFront swaps it to index 0. Returns 0.
ZQ_API int ZQ_CALL ZqXmlU_MakeUriBase(char* user, ZQ_KWLIST_STRUCT_T* bases, int moveToFront);
// 0 written; 1 dst too small (dst untouched).
ZQ_API int ZQ_CALL ZqXmlU_MakeUri(char* user, const char* name, int major, int minor, char* dst,
                                  int dstSize, char variant);
// 1 when `newer` is a later compatible revision of `older` (or equal to it).
ZQ_API int ZQ_CALL ZqXmlU_CompatibleURI(char* older, char* newer);
// User segment of a URI into `user` (65 bytes); "zq" for a URI outside the scheme.
ZQ_API void ZQ_CALL ZqXmlU_GetUserName(char* uri, char* user);

}  // extern "C"

// Decodes a vocabulary URI; name and user need 65 bytes each. 1 decoded, 0 not.
ZQ_API int ZQ_CALL ZqXmlU_GetURIInfo(char* uri, int& underscoreIndex, int& minor, ZqLong* major,
                                     char* name, char* user, int* variant);
ZQ_API int ZQ_CALL ZqXmlU_IsUserOwned(char* uri, ZQ_KWLIST_STRUCT_T* bases);
ZQ_API void ZQ_CALL ZqXmlU_GetUsernameI(ZQ_KWLIST_STRUCT_T* bases, int index, char* dst,
                                        int dstSize);
ZQ_API int ZQ_CALL ZqXmlU_GetMatchingUri(ZQ_KWLIST_STRUCT_T* bases, char* user);
ZQ_API void ZQ_CALL ZqXmlU_GetAdditionalUsernames(ZQ_KWLIST_STRUCT_T* bases, char* text);
ZQ_API void ZQ_CALL ZqXmlU_MakeCombinedPrefix(char* first, char* second, char* dst, int dstSize,
                                              int number);

// ---------------------------------------------------------------------------------------------
// XML document scanning and editing
// ---------------------------------------------------------------------------------------------
// Positions are signed indexes into the buffer passed; -1 means not found. No scanner reads past
// the text's NUL.

extern "C" {

// Index of the final ">" of the element whose "<" is at index 0, or -1.
ZQ_API ZqLong ZQ_CALL ZqXmlU_FindXmlEnd(char* text);

}  // extern "C"

// mode 0: skip quoted runs; 1: skip comments, a raw quote fails; 2: plain.
ZQ_API ZqLong ZQ_CALL ZqXmlU_FindNextUnquoted(char* text, ZqLong start, char* target, int mode);
ZQ_API ZqLong ZQ_CALL ZqXmlU_FindUnquotedWhitespace(char* text, int stopAtGreater);
ZQ_API int ZQ_CALL ZqXmlU_FindSubstring(char* text, char* target);

// Simple text content at pos, de-escaped, in a new tagged block. 1 found, 0 no simple content,
// -1 malformed.
ZQ_API int ZQ_CALL ZqXmlU_GetContents(char* text, ZqLong pos, char*& contents);
// how 1: raw content of the first element `name` (tagged block, NULL when empty); how 2: append
// the "<rdf:li" items from there on to `items` (strings owned by the list); other: existence.
ZQ_API int ZQ_CALL ZqXmlU_GetElementContents(char* text, char* name, char** contents,
                                             ZQ_KWLIST_STRUCT_T* items, int how, int maxItems,
                                             int unused, char* tag);
// 0 copied; 1 no end tag; 2 no start tag; -1 start tag not closed; -2 value too large.
ZQ_API int ZQ_CALL ZqXmlU_GetParam(char* text, char* name, char* value, int valueSize);
// Cuts the first element `name` out, in place. 0 done; 1 no end tag; 2 no start tag; 3 end tag
// not closed.
ZQ_API int ZQ_CALL ZqXmlU_Excise(char* text, char* name, int anyPrefix);
// Inserts into a shared XML string (which may move). Returns the insertion index, 0 when the
// anchor is missing, -1 when the anchor's tag is not closed.
ZQ_API int ZQ_CALL ZqXmlU_InsertString(char*& text, int& unused, char* insertion, char* anchor,
                                       int pos, int replaceCount);
// Appends three strings to a growable tagged buffer.
ZQ_API void ZQ_CALL ZqXmlU_AddToString(char*& buffer, int& length, int& capacity, char* first,
                                       char* second, char* third);
// Writes an XML comment listing the readable strings of `data` at writePos in the shared XML
// string `document` (grown as needed).
ZQ_API char* ZQ_CALL ZqXmlU_ExtractComment(unsigned char* data, char*& writePos, char*& document,
                                           unsigned int& capacity, unsigned int dataLen);
// Reads the rest of `file` into a tagged buffer (NULL, lent or owned), NUL-terminated.
ZQ_API void ZQ_CALL ZqXmlU_FileToBuf(FILE* file, char*& buffer, unsigned int& capacity, int& owned);
// Adds one tree item per element of the sink's text from pos on. 1 done, -1 failed.
ZQ_API int ZQ_CALL ZqXmlU_XmlToTree(ZQ_XML_STRUCT_T* document, CTreeCtrl* tree, HTREEITEM parent,
                                    int pos, int passOn);

// ---------------------------------------------------------------------------------------------
// Metadata documents and file names
// ---------------------------------------------------------------------------------------------

// Compartment number 0..8 of a name ("zqmd" 0, "iptc" 1, "exif" 2, "xmp" 3, "id3" 4, "stat" 5,
// "photoshop" 6, "mp3" 7, "none" 8); unknown names give 0.
ZQ_API int ZQ_CALL ZqXmlU_WhichCompartment(char* name);
// Copies the sink's text into a new shared XML string *copy.
ZQ_API void ZQ_CALL ZqXmlU_SplitCompartments(ZQ_XML_STRUCT_T* document, char** copy,
                                             ZQ_KWLIST_STRUCT_T* unused);
// Label document (changed in place) to XMP keyword packet, written to `out`.
ZQ_API void ZQ_CALL ZqXmlU_MakeMsdisXml(char* labels, ZQ_XML_STRUCT_T* out);
ZQ_API int ZQ_CALL ZqXmlU_ProcessExtractablePaths(char* text, ZQ_KWLIST_STRUCT_T* paths, int kind,
                                                  char* path, int pathSize, int isRoot);
ZQ_API void ZQ_CALL ZqXmlU_IncrementKeywordName(char* name, char* result, int resultSize);
// 0 inserted, 1 history element or sequence end missing.
ZQ_API int ZQ_CALL ZqXmlU_AddHistoryEntry(char*& document, char* historyName, char* unused,
                                          char* entry);
// 0 done, 3 end tag missing.
ZQ_API int ZQ_CALL ZqXmlU_FixParam(char*& document, char* name, char* attributes, char* value,
                                   char* anchor);
ZQ_API int ZQ_CALL ZqXmlU_NeedsBinhex(char* text, char* base64);
// New region array (tagged block of eight doubles).
ZQ_API double* ZQ_CALL ZqXmlU_CraftRectangleSubregion(int scale, int x1, int y1, int x2, int y2,
                                                      char* tag);
ZQ_API int ZQ_CALL ZqXmlU_AdjustRegions(double unused, double* crop, ZQ_KWLIST_STRUCT_T* regions,
                                        ZQ_KWLIST_STRUCT_T* outside);
// Sidecar / shrunk-copy path beside an image (tagged block), or NULL.
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
ZQ_API void ZQ_CALL ZqXmlU_finish_sha1(const unsigned char* block, int length, uint32_t bits,
                                       uint32_t state[5]);
// Digest of buffer[start..end] (skip 0), or of the text from start to its NUL without white
// space (skip non-zero).
ZQ_API void ZQ_CALL ZqXmlU_Sha1Interval(const char* buffer, uint32_t start, uint32_t end,
                                        uint32_t state[5], uint32_t skip);
// Base64 ending with one "="; dst needs 4 * ceil(n / 3) + 2 bytes plus 1 + tabs per line break.
ZQ_API int ZQ_CALL ZqXmlU_ToBase64(const void* src, uint32_t n, char* dst, uint32_t groupsPerLine,
                                   uint32_t tabs);
// Bytes decoded (never more than capacity), 0 when the text has no "=".
ZQ_API uint32_t ZQ_CALL ZqXmlU_FromBase64(const char* src, unsigned char* dst, uint32_t capacity);
// *record: password record (tagged block), NULL for a NULL password or one over 255 bytes.
ZQ_API void ZQ_CALL ZqXmlU_EncryptPassword(const char* key1, const char* key2, const char* password,
                                           char** record);
// *password: the password (tagged block), NULL for an inconsistent record, or unchanged.
ZQ_API void ZQ_CALL ZqXmlU_DecryptPassword(const char* key1, const char* key2, char** password,
                                           const char* record);
// Inserts the authenticator attributes into the first start tag of the sink's document.
ZQ_API int ZQ_CALL ZqXmlU_InsertAuthenticators(const char* plain, const char* auth,
                                               ZQ_XML_STRUCT_T* sink, int start);
// RSA public-key recovery (PKCS#1 v1.5) with the built-in key; out needs 128 bytes.
ZQ_API int ZQ_CALL ZqXmlU_DeencryptAuthenticator(const unsigned char* data, int length,
                                                 unsigned char* out);

}  // extern "C"

ZQ_API void ZQ_CALL ZqXmlU_swap_sha1(uint32_t state[5]);
// zlib stream (RFC 1950) of src into dst (room: n bytes); 0 when it does not fit.
ZQ_API uint32_t ZQ_CALL ZqXmlU_gzip(const unsigned char* src, uint32_t n, unsigned char* dst);
ZQ_API uint32_t ZQ_CALL ZqXmlU_gunzip(const unsigned char* src, uint32_t n, unsigned char* dst,
                                      uint32_t capacity);
ZQ_API int ZQ_CALL ZqXmlU_CheckPasswordPIN(const char* first, const char* second,
                                           const char* expected);
// 28 Base64 characters and a NUL at out (29 bytes).
ZQ_API void ZQ_CALL ZqXmlU_Obfuscate(const char* value, const uint32_t mask[5], char* out);
ZQ_API void ZQ_CALL ZqXmlU_FreeSSL(void);

#endif  // ZQXMLU_H
