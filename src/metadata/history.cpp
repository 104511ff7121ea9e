// History entries and parameter elements, edited in place in a metadata document held in a shared
// XML string, and the Base64 form of a de-escaped value.
//
// Nothing here escapes: names, attributes, values and entries go into the document as given.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>

#include "frame/alloc.h"
#include "frame/tag.h"
#include "platform/chars.h"
#include "uri/namespace.h"
#include "zqxmlu.h"

namespace {

// Composition room: the value's length plus 273 bytes; 1028 of them live on the stack.
constexpr size_t kLocalWork = 1028;
constexpr size_t kWorkSlack = 273;
// The de-escaped value: 1024 local bytes while T + 11 stays below 1025.
constexpr size_t kLocalBinhex = 1024;
constexpr size_t kBinhexSlack = 11;

// ZqXmlU_FixParam's result when the document could not take the change.
constexpr int kRefused = -1;

// The start tag after which a new element goes when no other anchor is given: an RDF description
// that declares the product's exif namespace.
const std::string& DefaultAnchor() {
    static const std::string anchor = std::string("<rdf:Description rdf:about=\"\" xmlns:exif=\"") +
                                      zq::kNamespaceBase + "/z/q/in/zqinc/exif_01_001.zqtv\">";
    return anchor;
}

char* DefaultAnchorText() {
    return const_cast<char*>(DefaultAnchor().c_str());
}

inline bool IsNameDelimiter(char c) {
    return c == '>' || zq::IsXmlSpace(c);
}

// First index at or after `from` where `open` ("<" or "</") + `name` + a name delimiter stands,
// or npos.
size_t FindTag(const char* text, size_t from, const char* open, const char* name, size_t nameLen) {
    const size_t openLen = std::strlen(open);
    for (const char* p = std::strstr(text + from, open); p; p = std::strstr(p + 1, open)) {
        if (std::strncmp(p + openLen, name, nameLen) == 0 && IsNameDelimiter(p[openLen + nameLen]))
            return static_cast<size_t>(p - text);
    }
    return static_cast<size_t>(-1);
}

// Appends the `n` bytes at `src` at `w`; returns the new end.
inline char* Put(char* w, const char* src, size_t n) {
    std::memcpy(w, src, n);
    return w + n;
}

// "<name attributes>value" and, when `close`, "</name>", NUL-terminated, into `w`.
void ComposeElement(char* w, const char* name, size_t n, const char* attributes, size_t a,
                    const char* value, size_t v, bool close) {
    *w++ = '<';
    w = Put(w, name, n);
    *w++ = ' ';
    w = Put(w, attributes, a);
    *w++ = '>';
    w = Put(w, value, v);
    if (close) {
        w = Put(w, "</", 2);
        w = Put(w, name, n);
        *w++ = '>';
    }
    *w = '\0';
}

}  // namespace

int ZQ_CALL ZqXmlU_AddHistoryEntry(char*& document, char* historyName, char* /*unused*/,
                                   char* entry) {
    if (!document || !historyName || !entry) return 1;
    // The history element first, then the end of the RDF sequence inside it.
    const size_t h = FindTag(document, 0, "<", historyName, std::strlen(historyName));
    if (h == static_cast<size_t>(-1)) return 1;
    const char* seqEnd = std::strstr(document + h + 1, "</rdf:Seq");
    if (!seqEnd) return 1;
    // The entry goes in front of the one character before that end tag (after the last entry's
    // end tag when a line end precedes the sequence's end).
    const size_t at = static_cast<size_t>(seqEnd - document) - 1;

    const size_t e = std::strlen(entry);
    zq::Scratch<char, kLocalWork> work(e + kWorkSlack, true, zq::kTagWork, true);
    std::memcpy(work.get(), entry, e + 1);
    int unused = 0;
    // An insertion that was refused (a document that is not a shared XML string, or that cannot
    // grow) leaves the document unchanged: not inserted.
    const int r = ZqXmlU_InsertString(document, unused, work.get(), DefaultAnchorText(),
                                      static_cast<int>(at), 0);
    return r > 0 ? 0 : 1;
}

int ZQ_CALL ZqXmlU_FixParam(char*& document, char* name, char* attributes, char* value,
                            char* anchor) {
    if (!document || !name || !name[0]) return 0;
    if (!attributes) attributes = const_cast<char*>("");
    if (!value) value = const_cast<char*>("");
    const size_t n = std::strlen(name);
    const size_t a = std::strlen(attributes);
    const size_t v = std::strlen(value);
    // The composed element takes 2n + a + v + 6 bytes and its NUL; names and attributes too long
    // for the usual room of v + 272 bytes get a larger area rather than a cut element.
    const size_t room = std::max(v + kWorkSlack, 2 * n + a + v + 7);
    int unused = 0;

    const size_t s = FindTag(document, 0, "<", name, n);
    if (s == static_cast<size_t>(-1)) {
        // Absent: the whole element goes after the start tag holding the anchor.
        zq::Scratch<char, kLocalWork> work(room, true, zq::kTagWork, true);
        ComposeElement(work.get(), name, n, attributes, a, value, v, true);
        // A missing anchor (0) is no failure; a refused insertion is.
        return ZqXmlU_InsertString(document, unused, work.get(),
                                   anchor ? anchor : DefaultAnchorText(), 0, 0) < 0
                   ? kRefused
                   : 0;
    }
    const char* gt = std::strchr(document + s + 1 + n, '>');
    if (!gt) return 3;
    const size_t g = static_cast<size_t>(gt - document);
    const size_t e = FindTag(document, g + 1, "</", name, n);
    if (e == static_cast<size_t>(-1)) return 3;
    const size_t c = e - (g + 1);

    if (c < v) {
        // The content grows: a new start tag (with the new attributes) and the value replace the
        // old start tag and content; the end tag stays. An element at index 0 keeps its "<" and
        // the rest is replaced from index 1, since an insertion index of 0 selects the anchor.
        zq::Scratch<char, kLocalWork> work(room, true, zq::kTagWork, true);
        ComposeElement(work.get(), name, n, attributes, a, value, v, false);
        const size_t from = s == 0 ? 1 : s;
        if (ZqXmlU_InsertString(document, unused, work.get() + (from - s), DefaultAnchorText(),
                                static_cast<int>(from), static_cast<int>(e - from)) <= 0) {
            return kRefused;
        }
    } else if (c == v) {
        std::memcpy(document + g + 1, value, v);
    } else {
        // The content shrinks: the value ends right before the end tag, a new ">" precedes it and
        // the surplus becomes spaces inside the start tag, so nothing after the element moves.
        std::memcpy(document + e - v, value, v);
        document[e - v - 1] = '>';
        std::memset(document + g, ' ', e - v - 1 - g);
    }
    return 0;
}

int ZQ_CALL ZqXmlU_NeedsBinhex(char* text, char* base64) {
    if (!text) return 1;
    const size_t t = std::strlen(text);
    zq::Scratch<char, kLocalBinhex> work(t + kBinhexSlack, true, zq::kTagWork, true);
    char* out = work.get();
    const int n = ZqXmlU_DeEscapeTextA(0, &out, text, static_cast<ZqLong>(t + 10),
                                       const_cast<char*>(zq::kTagWork));
    // The de-escaped bytes with their NUL.
    if (n >= 1 && base64) ZqXmlU_ToBase64(work.get(), static_cast<uint32_t>(n), base64, 0, 0);
    return 1;
}
