// Element content: measuring and copying the character content that starts at a position, with
// comments stepped over and CDATA sections unwrapped. Entities stay as they are.
#include <cstring>

#include "zqxmlu.h"

namespace {

// The end of a section that closes with `close` (searched from p), or the text's NUL when the
// section is not closed.
const char* SectionEnd(const char* p, const char* close, size_t closeLength) {
    const char* end = std::strstr(p, close);
    return end ? end + closeLength : p + std::strlen(p);
}

// The body of a CDATA section that starts at p: up to its "]]>" or to the text's NUL.
size_t CdataBody(const char* p) {
    const char* end = std::strstr(p, "]]>");
    return end ? static_cast<size_t>(end - p) : std::strlen(p);
}

inline bool StartsWith(const char* p, const char* prefix, size_t n) {
    return std::strncmp(p, prefix, n) == 0;
}

}  // namespace

ZqLong ZQ_CALL ZqXmlU_MeasureStringSize(char* text, ZqLong start) {
    if (!text || start < 0) return 0;
    const char* base = text + start;
    const char* p = base;
    for (;;) {
        p += std::strcspn(p, "<");
        if (*p == '\0' || p[1] == '/') break;
        if (StartsWith(p, "<![", 3)) {
            p += 3;
            p += std::strspn(p, " \r\n\t");
            if (!StartsWith(p, "CDATA[", 6)) return -start;
            p = SectionEnd(p + 6, "]]>", 3);
        } else if (StartsWith(p, "<!--", 4)) {
            p = SectionEnd(p + 4, "-->", 3);
        } else {
            break;  // a child element
        }
    }
    return static_cast<ZqLong>(p - base);
}

ZqLong ZQ_CALL ZqXmlU_ConstructContent(char* text, ZqLong start, char* out) {
    if (!out) return 0;
    if (!text || start < 0) {
        out[0] = '\0';
        return 0;
    }
    const char* p = text + start;
    char* o = out;
    for (;;) {
        const size_t run = std::strcspn(p, "<");
        std::memcpy(o, p, run);
        o += run;
        p += run;
        if (*p == '\0' || p[1] == '/') break;
        if (StartsWith(p, "<!--", 4)) {
            p = SectionEnd(p + 4, "-->", 3);
        } else if (StartsWith(p, "<![CDATA[", 9)) {
            p += 9;
            const size_t body = CdataBody(p);
            std::memcpy(o, p, body);
            o += body;
            p += body;
            if (*p) p += 3;
        } else {
            *o = '\0';
            return -static_cast<ZqLong>(p - text);  // child markup
        }
    }
    *o = '\0';
    return static_cast<ZqLong>(p - text);
}
