// Element access and editing on a plain text buffer: read the content of an element or a named
// child, cut an element out, insert into a shared XML string, append to a growable tagged buffer.
// Nothing here parses the document: names are found by direct comparison, the first match wins.
#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "frame/alloc.h"
#include "frame/size.h"
#include "frame/tag.h"
#include "frame/xmlstring.h"
#include "lists/sound.h"
#include "platform/chars.h"
#include "zqxmlu.h"

namespace {

// What may follow a name in a tag for it to match.
enum class After {
    kTagEnd,         // ">" or white space
    kTagEndOrSlash,  // ">", "/" or white space
    kAnything,       // no test
};

inline bool Ends(char c, After after) {
    switch (after) {
        case After::kTagEnd:
            return c == '>' || zq::IsXmlSpace(c);
        case After::kTagEndOrSlash:
            return c == '>' || c == '/' || zq::IsXmlSpace(c);
        case After::kAnything:
            return true;
    }
    return false;
}

// Which tags count: "<name", "<prefix:name" (any non-empty prefix), or either.
enum class Prefix { kNone, kAny, kEither };

// A character of a namespace prefix: anything that cannot end or separate a name.
inline bool IsPrefixChar(char c) {
    return c != '\0' && c != '<' && c != '>' && c != '/' && c != ':' && !zq::IsXmlSpace(c);
}

struct TagMatch {
    const char* open = nullptr;       // the "<"; NULL when nothing matched
    const char* afterName = nullptr;  // the character after the name
    bool prefixed = false;
};

// First tag "<" (or "</" when closing) + [prefix ":"] + name + a character allowed by `after`,
// whose "<" lies at or after `from`. Every occurrence of the name is a candidate, checked
// backwards; a walk over a prefix stops at a ":", so the walks over all candidates read each
// character at most once.
TagMatch FindTag(const char* from, const char* name, bool closing, Prefix prefix, After after) {
    TagMatch m;
    const size_t lead = closing ? 2 : 1;
    for (size_t k = 0; k < lead; ++k) {
        if (from[k] == '\0') return m;
    }
    const size_t n = std::strlen(name);
    const char* p = from + lead;
    for (;;) {
        const char* at = n ? std::strstr(p, name) : p;
        if (!at) return m;
        if (Ends(at[n], after)) {
            if (prefix != Prefix::kAny) {
                const char* lt = at - lead;
                if (lt[0] == '<' && (!closing || lt[1] == '/')) {
                    m.open = lt;
                    m.afterName = at + n;
                    return m;
                }
            }
            if (prefix != Prefix::kNone && at[-1] == ':') {
                // Back over the prefix, which must not be empty, to the "<" (or "</").
                const char* colon = at - 1;
                const char* q = colon;
                while (q > from + lead && IsPrefixChar(q[-1]))
                    --q;
                if (q < colon) {  // q has moved, so q - lead lies within the text
                    const char* lt = q - lead;
                    if (lt[0] == '<' && (!closing || lt[1] == '/')) {
                        m.open = lt;
                        m.afterName = at + n;
                        m.prefixed = true;
                        return m;
                    }
                }
            }
        }
        if (at[0] == '\0') return m;
        p = at + 1;
    }
}

bool Overlaps(const char* p, size_t n, const char* block, size_t size) {
    const auto a = reinterpret_cast<uintptr_t>(p);
    const auto b = reinterpret_cast<uintptr_t>(block);
    return a < b + size && b < a + n;
}

// The first occurrence of `markup` (n characters, the first a "<") at or after s, or NULL: as
// strstr, but by the "<" alone, which in a list stands a few characters ahead.
const char* FindMarkup(const char* s, const char* markup, size_t n) {
    for (;; ++s) {
        s = std::strchr(s, '<');
        if (!s || std::strncmp(s + 1, markup + 1, n - 1) == 0) return s;
    }
}

// A new tagged block holding the n characters at src and a NUL; NULL for 2 GiB and more.
char* CopyOut(const char* src, size_t n, const char* tag) {
    if (n >= INT_MAX) return nullptr;
    auto* copy = static_cast<char*>(zq::AllocBlock(n + 1, 1, tag));
    std::memcpy(copy, src, n);
    return copy;
}

}  // namespace

int ZQ_CALL ZqXmlU_GetContents(char* text, ZqLong pos, char*& contents) {
    contents = nullptr;
    if (!text || pos < 0) return 0;
    char lessThan[] = "<";
    const ZqLong lt = ZqXmlU_FindNextUnquoted(text, pos, lessThan, 1);
    if (lt < 0 || text[lt + 1] != '/') return 0;  // no simple content before the next markup
    // The nearest ">" before the end tag; index 0 is not examined.
    const size_t gt = lt > 1 ? std::string_view(text + 1, static_cast<size_t>(lt - 1)).rfind('>')
                             : std::string_view::npos;
    if (gt == std::string_view::npos) return -1;
    const char* content = text + 1 + gt + 1;
    const size_t length = static_cast<size_t>(text + lt - content);
    char* tag = const_cast<char*>(zq::kTagWork);
    char* copy = CopyOut(content, length, tag);
    if (!copy) return 0;
    contents = copy;
    // De-escaping never lengthens a text, so it runs in place.
    ZqXmlU_DeEscapeTextA(0, &contents, copy, static_cast<ZqLong>(length + 1), tag);
    return 1;
}

int ZQ_CALL ZqXmlU_GetElementContents(char* text, char* name, char** contents,
                                      ZQ_KWLIST_STRUCT_T* items, int how, int maxItems,
                                      int /*unused*/, char* tag) {
    if (!text || !name) return 0;
    const TagMatch start = FindTag(text, name, false, Prefix::kNone, After::kTagEndOrSlash);
    if (!start.open) return 0;
    const char* gt = std::strchr(start.open, '>');  // for "<name/>", the ">" of "/>"
    if (!gt) return 0;
    const TagMatch end = FindTag(gt, name, true, Prefix::kNone, After::kTagEndOrSlash);
    if (!end.open) return 0;

    if (how == 1) {
        if (!contents) return 1;
        const size_t length = static_cast<size_t>(end.open - (gt + 1));
        *contents = nullptr;
        if (length == 0) return 1;
        *contents = CopyOut(gt + 1, length, tag);
        return *contents ? 1 : 0;
    }
    if (how != 2 || !items) return 1;
    if (!zq::SoundList(items)) return 0;  // an unsound list is left alone

    // The items of every list from here to the end of the text, in document order.
    int count = 0;
    const char* from = gt;
    for (;;) {
        const char* item = FindMarkup(from, "<rdf:li", 7);
        if (!item) return 1;
        ++count;
        const char* itemGt = std::strchr(item + 7, '>');
        if (!itemGt) return 0;
        const char* itemEnd = FindMarkup(itemGt + 1, "</rdf:li", 8);
        if (!itemEnd) return 0;
        const size_t length = static_cast<size_t>(itemEnd - (itemGt + 1));
        char* copy = CopyOut(itemGt + 1, length, tag);
        if (!copy) return 0;
        ZqXmlU_ModifyKwList(items, reinterpret_cast<uintptr_t>(copy), 0, 5, tag);
        if (count == maxItems) return 1;
        from = itemGt + 1;
    }
}

int ZQ_CALL ZqXmlU_GetParam(char* text, char* name, char* value, int valueSize) {
    if (!text || !name) return 2;
    const TagMatch start = FindTag(text, name, false, Prefix::kNone, After::kTagEnd);
    if (!start.open) return 2;
    char gtTarget[] = ">";
    const ZqLong gt =
        ZqXmlU_FindNextUnquoted(text, static_cast<ZqLong>(start.open - text), gtTarget, 0);
    if (gt < 0) return -1;
    const char* valueStart = text + gt + 1;
    // An end tag that begins inside the start tag (in an attribute value) does not count.
    const TagMatch end = FindTag(valueStart, name, true, Prefix::kNone, After::kAnything);
    if (!end.open) return 1;
    const size_t length = static_cast<size_t>(end.open - valueStart);
    if (!value || valueSize <= 0 || length >= static_cast<size_t>(valueSize)) return -2;
    std::memcpy(value, valueStart, length);
    value[length] = '\0';
    return 0;
}

int ZQ_CALL ZqXmlU_Excise(char* text, char* name, int anyPrefix) {
    if (!text || !name) return 2;
    const TagMatch start =
        FindTag(text, name, false, anyPrefix ? Prefix::kEither : Prefix::kNone, After::kTagEnd);
    if (!start.open) return 2;
    const TagMatch end = FindTag(start.open + 1, name, true,
                                 start.prefixed ? Prefix::kAny : Prefix::kNone, After::kTagEnd);
    if (!end.open) return 1;
    const char* gt = std::strchr(end.afterName, '>');
    if (!gt) return 3;
    const char* rest = gt + 1;
    while (zq::IsXmlSpace(*rest))
        ++rest;
    std::memmove(text + (start.open - text), rest, std::strlen(rest) + 1);
    return 0;
}

int ZQ_CALL ZqXmlU_InsertString(char*& text, int& /*unused*/, char* insertion, char* anchor,
                                int pos, int replaceCount) {
    if (!text || !insertion) return 0;
    const size_t textLength = std::strlen(text);
    size_t p;
    if (pos != 0) {
        if (pos < 0 || static_cast<size_t>(pos) > textLength) return 0;
        p = static_cast<size_t>(pos);
    } else {
        if (!anchor) return 0;
        const int at = ZqXmlU_FindSubstring(text, anchor);
        if (at < 0) return 0;
        // The insertion lands right after the end of the tag in which the anchor stands.
        char gtTarget[] = ">";
        const ZqLong gt = ZqXmlU_FindNextUnquoted(text, at, gtTarget, 0);
        if (gt < 0) return -1;
        p = static_cast<size_t>(gt) + 1;
    }
    const size_t insertLength = std::strlen(insertion);
    if (zq::PayloadBytes(textLength, 1, insertLength + 256) == zq::kTooLarge ||
        textLength + insertLength > INT_MAX) {
        return -1;
    }
    const size_t drop =
        replaceCount > 0 ? std::min(static_cast<size_t>(replaceCount), textLength - p) : 0;

    const uint32_t capacity = zq::SharedSize(text);
    // An insertion taken from the document itself is copied first: growth may move the text and
    // the moves below overwrite it.
    char local[256];
    void* heap = nullptr;
    const char* source = insertion;
    if (Overlaps(insertion, insertLength + 1, text, std::max<size_t>(capacity, textLength + 1))) {
        char* copy = local;
        if (insertLength >= sizeof local) {
            heap = zq::AllocBlock(insertLength + 1, 1, zq::kTagWork);
            copy = static_cast<char*>(heap);
        }
        std::memcpy(copy, insertion, insertLength + 1);
        source = copy;
    }

    int result = static_cast<int>(p);
    if (textLength + insertLength + 1 >= capacity) {
        char* grown = ZqXmlU_xml_realloc(
            text, static_cast<unsigned>(textLength + insertLength + 256), zq::kTagWork);
        if (grown) {
            text = grown;
        } else {
            result = -1;  // no heap, or not a shared XML string: the text stays as it was
        }
    }
    if (result > 0) {
        char* at = text + p;
        std::memmove(at + insertLength, at + drop, textLength - p - drop + 1);
        std::memcpy(at, source, insertLength);
    }
    ZqXmlU_Free(&heap);
    return result;
}

void ZQ_CALL ZqXmlU_AddToString(char*& buffer, int& length, int& capacity, char* first,
                                char* second, char* third) {
    if (length < 0 || (!buffer && length != 0)) return;
    const char* parts[3] = {first ? first : "", second ? second : "", third ? third : ""};
    size_t sizes[3];
    int64_t total = length;
    for (int i = 0; i < 3; ++i) {
        sizes[i] = std::strlen(parts[i]);
        total += static_cast<int64_t>(sizes[i]);
    }
    char* old = nullptr;
    if (!buffer || total + 2 > capacity) {  // a NULL buffer has no room, whatever capacity says
        const int64_t grown = 2 * total + 132;
        if (grown > INT_MAX) return;
        auto* fresh =
            static_cast<char*>(zq::AllocBlock(static_cast<uint64_t>(grown), 1, zq::kTagWork));
        if (length != 0) std::memcpy(fresh, buffer, static_cast<size_t>(length));
        old = buffer;  // released after the copies, which may come from it
        buffer = fresh;
        capacity = static_cast<int>(grown);
    }
    char* at = buffer + length;
    for (int i = 0; i < 3; ++i) {
        std::memmove(at, parts[i], sizes[i]);
        at += sizes[i];
    }
    *at = '\0';
    length = static_cast<int>(total);
    void* released = old;
    ZqXmlU_Free(&released);
}
