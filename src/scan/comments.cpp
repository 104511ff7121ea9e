// The edges of the XML work: a comment that lists the readable strings of a binary block, a whole
// file read into a growable tagged buffer, and the element tree of a document in a tree-view
// control.
#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "frame/alloc.h"
#include "frame/size.h"
#include "frame/tag.h"
#include "frame/xmlstring.h"
#include "platform/chars.h"
#include "zqxmlu.h"
#include "zqxmlu_treectrl.h"

namespace {

// ---------------------------------------------------------------------------------------------
// Comment of readable strings
// ---------------------------------------------------------------------------------------------

inline bool Readable8(unsigned b) {
    return b >= 0x20 && b <= 0x7E;
}

inline bool Readable16(unsigned u) {
    return (u >= 0x20 && u <= 0xC0) || u == 0x09 || u == 0x0A || u == 0x0D;
}

inline unsigned UnitAt(const unsigned char* p) {
    return static_cast<unsigned>(p[0]) | static_cast<unsigned>(p[1]) << 8;
}

// Writes `count` characters, character i being get(i), so that no string can open or close the
// comment: the "<" of "<!--" becomes "&lt;" and the ">" of "-->" becomes "&gt;".
template <typename Get>
char* WriteGuarded(char* w, size_t count, Get get) {
    for (size_t i = 0; i < count; ++i) {
        const unsigned c = get(i);
        if (c == '<' && i + 3 < count && get(i + 1) == '!' && get(i + 2) == '-' &&
            get(i + 3) == '-') {
            std::memcpy(w, "&lt;", 4);
            w += 4;
        } else if (c == '>' && i >= 2 && get(i - 1) == '-' && get(i - 2) == '-') {
            std::memcpy(w, "&gt;", 4);
            w += 4;
        } else {
            *w++ = static_cast<char>(c);
        }
    }
    *w = '\0';
    return w;
}

// One string of the comment, after its separator. A UTF-16 run is written as "UNICODE[...]",
// each unit (all below 0x100 here) as the byte of the same value.
char* WriteString(char* w, bool first, const unsigned char* run, size_t count, bool wide) {
    if (!first) {
        std::memcpy(w, ", ", 2);
        w += 2;
    }
    if (!wide) return WriteGuarded(w, count, [run](size_t i) -> unsigned { return run[i]; });
    std::memcpy(w, "UNICODE[", 8);
    w = WriteGuarded(w + 8, count, [run](size_t i) { return UnitAt(run + 2 * i); });
    *w++ = ']';
    *w = '\0';
    return w;
}

// ---------------------------------------------------------------------------------------------
// Tree view
// ---------------------------------------------------------------------------------------------

// Items of the open elements, innermost last: a local array, the heap beyond.
class ItemStack {
  public:
    ItemStack() = default;
    ItemStack(const ItemStack&) = delete;
    ItemStack& operator=(const ItemStack&) = delete;
    ~ItemStack() {
        void* heap = heap_;
        ZqXmlU_Free(&heap);
    }

    // false when the stack cannot grow (2^29 entries fill a tagged block).
    bool Push(HTREEITEM item) {
        if (size_ == capacity_) {
            const size_t grown = capacity_ * 2;
            if (grown > (size_t{1} << 29)) return false;
            void* fresh =
                ZqXmlU_Realloc(heap_, static_cast<int>(grown), sizeof(HTREEITEM), zq::kTagWork);
            if (!heap_) std::memcpy(fresh, local_, sizeof local_);
            heap_ = static_cast<HTREEITEM*>(fresh);
            data_ = heap_;
            capacity_ = grown;
        }
        data_[size_++] = item;
        return true;
    }
    HTREEITEM Pop() { return data_[--size_]; }
    bool Empty() const { return size_ == 0; }
    HTREEITEM Top() const { return data_[size_ - 1]; }

  private:
    HTREEITEM local_[256];
    HTREEITEM* heap_ = nullptr;
    HTREEITEM* data_ = local_;
    size_t size_ = 0;
    size_t capacity_ = 256;
};

void ExpandItem(CTreeCtrl* tree, HTREEITEM item) {
    SendMessageA(tree->m_hWnd, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
}

inline bool EndsName(char c) {
    return c == '\0' || c == '>' || c == '/' || zq::IsXmlSpace(c);
}

// Longest item text: an element's local name.
constexpr size_t kMaxItemText = 64;

}  // namespace

char* ZQ_CALL ZqXmlU_ExtractComment(unsigned char* data, char*& writePos, char*& document,
                                    unsigned int& capacity, unsigned int dataLen) {
    if (!data) dataLen = 0;
    // The capacity is held to what the document's header records; a document that is not a
    // shared XML string has none (and cannot grow).
    uint32_t recorded = 0;
    uint32_t room = 0;
    if (!document) {
        if (writePos) return writePos;
    } else {
        if (!zq::SharedSizeOf(document, recorded)) recorded = 0;
        room = std::min(recorded, capacity);
        if (writePos < document || static_cast<size_t>(writePos - document) > room) {
            return writePos;  // not a position inside the document
        }
    }
    const size_t offset = document ? static_cast<size_t>(writePos - document) : 0;

    // Room: 16 bytes per data byte, and never less than the 13 bytes of an empty comment.
    const uint64_t perByte = 16ull * dataLen;
    const uint64_t reserve = perByte < 16 ? 16 : perByte;
    if (room <= offset + reserve) {
        const uint64_t grown = uint64_t{room} + (perByte < 2048 ? 2048 : perByte + 2);
        if (zq::PayloadBytes(grown, 1) == zq::kTooLarge) return writePos;
        // A caller's capacity below the recorded size never shrinks the document.
        if (!document || grown > recorded) {
            char* fresh = ZqXmlU_xml_realloc(document, static_cast<unsigned>(grown), zq::kTagWork);
            if (!fresh) return writePos;
            document = fresh;
            writePos = document + offset;
        }
        room = static_cast<uint32_t>(grown);
    }
    capacity = room;

    char* const start = writePos;
    char* w = start;
    std::memcpy(w, "<!-- ", 6);
    w += 5;

    size_t p = 0;
    size_t run = 0;  // characters, or units in wide mode
    bool wide = false;
    unsigned strings = 0;
    while (p < dataLen) {
        if (!wide) {
            const unsigned b = data[p];
            if (Readable8(b)) {
                ++run;
            } else if (run >= 4 && b == 0) {
                w = WriteString(w, strings++ == 0, data + p - run, run, false);
                run = 0;
            } else if (run == 1 && Readable16(data[p - 1] | b << 8)) {
                wide = true;  // a UTF-16 run that began at the previous byte
            } else {
                run = 0;
            }
            ++p;
        } else if (p + 1 < dataLen && Readable16(UnitAt(data + p))) {
            ++run;
            p += 2;
        } else {
            // A unreadable unit, or half a unit at the end of the block: the run ends here and
            // the byte at p is examined again in 8-bit mode.
            if (run >= 4) w = WriteString(w, strings++ == 0, data + p - 2 * run, run, true);
            run = 0;
            wide = false;
        }
    }
    // An open run counts when it is long enough or is the whole block.
    if (run >= 4 || (run > 0 && (wide ? 2 * run : run) == dataLen)) {
        w = WriteString(w, strings++ == 0, data + dataLen - (wide ? 2 * run : run), run, wide);
    }

    std::memcpy(w, " -->\n\t\t", 8);
    w += 7;
    writePos = w;
    return strings ? w : start;
}

void ZQ_CALL ZqXmlU_FileToBuf(FILE* file, char*& buffer, unsigned int& capacity, int& owned) {
    if (!file) return;
    if (!buffer) {
        capacity = 0;
    } else if (owned) {
        // An owned block's capacity cannot exceed what its header records.
        const uint32_t size = ZqXmlU_GetUsedSpace(buffer);
        if (capacity > size) capacity = size;
    }
    // Every index i that receives a byte, or the final NUL, satisfies i + 1 < capacity; the
    // buffer grows by 4096 bytes when it does not.
    size_t i = 0;
    auto roomFor = [&](size_t index) {
        if (index + 1 < capacity) return true;
        const uint64_t grown = static_cast<uint64_t>(capacity) + 4096;
        if (grown > INT_MAX) return false;
        const int n = static_cast<int>(grown);
        if (!buffer) {
            buffer = static_cast<char*>(ZqXmlU_Calloc(n, 1, zq::kTagWork));
        } else if (owned) {
            buffer = static_cast<char*>(ZqXmlU_Realloc(buffer, n, 1, zq::kTagWork));
        } else {
            // A lent block stays the caller's: the bytes read so far move to a block of ours.
            auto* fresh = static_cast<char*>(ZqXmlU_Calloc(n, 1, zq::kTagWork));
            std::memcpy(fresh, buffer, index);
            buffer = fresh;
        }
        owned = 1;
        capacity = static_cast<unsigned>(grown);
        return true;
    };
    while (roomFor(i)) {
        const size_t room = capacity - 1 - i;
        const size_t got = std::fread(buffer + i, 1, room, file);
        i += got;
        if (got < room) break;  // end of file, or a read error, which ends the reading alike
    }
    // The last index is free: either roomFor made it so, or the reading stopped short of it.
    roomFor(i);
    if (buffer && i < capacity) buffer[i] = '\0';
}

int ZQ_CALL ZqXmlU_XmlToTree(ZQ_XML_STRUCT_T* document, CTreeCtrl* tree, HTREEITEM parent, int pos,
                             int /*passOn*/) {
    if (!document || !tree) return -1;
    const char* text = document->buffer;
    if (!text) return 1;  // no text: nothing to show
    if (pos < 0 || pos > document->length) return -1;

    char lessThan[] = "<";
    char greaterThan[] = ">";
    char piEnd[] = "?>";
    char* const buffer = document->buffer;
    ItemStack open;
    ZqLong p = pos;
    for (;;) {
        // The walk resumes after white space, so that a document may end with a line end.
        while (zq::IsXmlSpace(text[p]))
            ++p;
        if (text[p] == '\0') break;
        const ZqLong lt = ZqXmlU_FindNextUnquoted(buffer, p, lessThan, 0);
        const ZqLong gt = ZqXmlU_FindNextUnquoted(buffer, p, greaterThan, 0);
        if (lt < 0 || gt < 0) return -1;
        const char* tag = text + lt;

        if (tag[1] == '?') {  // a processing instruction: no item
            const ZqLong end = ZqXmlU_FindNextUnquoted(buffer, lt + 2, piEnd, 2);
            if (end < 0) return -1;
            p = end + 2;
            continue;
        }
        if (tag[1] == '!') {  // comment, CDATA section or declaration: no item
            const char* end = nullptr;
            size_t endLength = 1;
            if (tag[2] == '-' && tag[3] == '-') {
                end = std::strstr(tag + 4, "-->");
                endLength = 3;
            } else if (std::strncmp(tag + 2, "[CDATA[", 7) == 0) {
                end = std::strstr(tag + 9, "]]>");
                endLength = 3;
            } else {
                // A declaration ends at its ">", after an internal subset in brackets if any.
                const ZqLong close = ZqXmlU_FindNextUnquoted(buffer, lt, greaterThan, 0);
                const void* bracket =
                    close >= 0 ? std::memchr(tag, '[', static_cast<size_t>(close - lt)) : nullptr;
                if (bracket) {
                    const char* subsetEnd = std::strchr(static_cast<const char*>(bracket), ']');
                    end = subsetEnd ? std::strchr(subsetEnd, '>') : nullptr;
                } else if (close >= 0) {
                    end = text + close;
                }
            }
            if (!end) return -1;
            p = static_cast<ZqLong>(end - text) + static_cast<ZqLong>(endLength);
            continue;
        }

        // The ">" that ends this tag: the one found from p when it lies after the "<" (the
        // scan from p passed the "<" outside any quoted run), otherwise a new search.
        const ZqLong close = gt > lt ? gt : ZqXmlU_FindNextUnquoted(buffer, lt, greaterThan, 0);
        if (close < 0) return -1;
        p = close + 1;

        if (tag[1] == '/') {  // an end tag closes the innermost open element
            if (!open.Empty()) ExpandItem(tree, open.Pop());
            continue;
        }

        // Item text: the local name, after a prefix and ":" found within the first 64 characters.
        const char* name = tag + 1;
        size_t length = 0;
        while (!EndsName(name[length]))
            ++length;
        const void* colon = std::memchr(name, ':', length < kMaxItemText ? length : kMaxItemText);
        if (colon) {
            const char* local = static_cast<const char*>(colon) + 1;
            length -= static_cast<size_t>(local - name);
            name = local;
        }
        if (length > kMaxItemText) return -1;
        char itemText[kMaxItemText + 1];
        std::memcpy(itemText, name, length);
        itemText[length] = '\0';

        const HTREEITEM under = open.Empty() ? parent : open.Top();
        const HTREEITEM item = tree->InsertItem(itemText, 1, 1, under, TVI_LAST);
        if (!item) return -1;
        if (text[close - 1] == '/') {
            ExpandItem(tree, item);  // self-closing: its children (none) are in place
        } else if (!open.Push(item)) {
            return -1;
        }
    }
    // The end of the text closes what is still open.
    while (!open.Empty())
        ExpandItem(tree, open.Pop());
    return 1;
}
