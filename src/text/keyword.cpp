// Keyword names: an arbitrary label turned into a short XML element name in UTF-8.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/utf.h"
#include "text/charclass.h"
#include "zqxmlu.h"

namespace {

constexpr size_t kMaxKeyword = 64;  // characters

// Characters that become "_" wherever they stand.
bool IsSeparator(ZqWChar c) {
    switch (c) {
        case u'_':
        case u' ':
        case u'.':
        case u'&':
        case u'/':
        case u'\\':
        case u',':
        case u'|':
            return true;
        default:
            return false;
    }
}

// Bytes that end the first token of a text.
bool EndsToken(char c) {
    switch (c) {
        case '\0':
        case ':':
        case ' ':
        case '>':
        case '=':
        case '\r':
        case '\n':
        case '\t':
        case '/':
            return true;
        default:
            return false;
    }
}

// Builds the keyword of text into kw (room for max(limit, 64) + 1 units) and returns its length.
size_t BuildKeyword(const ZqWChar* text, size_t limit, bool codeFlag, ZqWChar* kw) {
    size_t k = 0;
    if (zq::IsDigitChar(text[0])) {
        for (const char16_t* p = codeFlag ? u"Code_" : u"Number_"; *p; ++p)
            kw[k++] = *p;
    }
    for (size_t i = 0; text[i] && i < limit && k < kMaxKeyword && k < limit; ++i) {
        const ZqWChar c = text[i];
        if (IsSeparator(c)) {
            kw[k++] = u'_';
        } else if (k == 0) {
            if (zq::IsLetter(c)) kw[k++] = c;  // a name starts with a letter or "_"
        } else if (c == u'-' || zq::IsLetter(c) || zq::IsDigitChar(c) || zq::IsCombiningChar(c) ||
                   zq::IsExtender(c)) {
            kw[k++] = c;
        } else {
            kw[k++] = u'_';
        }
    }
    kw[k] = 0;
    return k;
}

// The limit as used: callers promise at most 64 (and an output of limit + 1 bytes, at least 65);
// a larger limit counts as 64 and a negative one as 0, so no write ever passes out[64]. With it the
// temporaries always fit their local buffers: 66 units for the keyword, 4 x 64 + 1 bytes for its
// UTF-8 form (below 260), 5 x 64 + 3 input bytes (at most 600) and their 5 x 64 + 1 units (at
// most 360).
size_t Limit(int limit) {
    return static_cast<size_t>(std::clamp(limit, 0, static_cast<int>(kMaxKeyword)));
}

}  // namespace

extern "C" {

void ZQ_CALL ZqXmlU_KeywordizeW(char* out, ZqWChar* text, int limit, int codeFlag, int /*unused*/) {
    if (!out) return;
    const size_t lim = Limit(limit);
    static ZqWChar empty[1] = {0};
    ZqWChar kw[66];
    const size_t k = BuildKeyword(text ? text : empty, lim, codeFlag != 0, kw);

    char utf8[4 * kMaxKeyword + 1];
    if (zq::Utf16ToUtf8(kw, static_cast<int>(k + 1), utf8, sizeof utf8) == 0) utf8[0] = '\0';
    // At most `limit` bytes, cut before a character that would not fit whole.
    size_t n = std::strlen(utf8);
    if (n > lim) {
        n = lim;
        while (n > 0 && (static_cast<unsigned char>(utf8[n]) & 0xC0) == 0x80)
            --n;
    }
    std::memcpy(out, utf8, n);
    out[n] = '\0';
    out[lim] = '\0';
}

void ZQ_CALL ZqXmlU_KeywordizeA(char* out, char* text, int limit, int codeFlag, int firstToken) {
    if (!out) return;
    const size_t lim = Limit(limit);
    static char empty[1] = {'\0'};
    const char* in = text ? text : empty;

    // At most 5 x limit bytes of the text (only its first token with the flag).
    char bytes[5 * kMaxKeyword + 3];
    size_t n = 0;
    while (n < 5 * lim && in[n] && !(firstToken && EndsToken(in[n]))) {
        bytes[n] = in[n];
        ++n;
    }
    ZqWChar wide[5 * kMaxKeyword + 1];
    const int units = n ? zq::Utf8ToUtf16(bytes, static_cast<int>(n), wide, sizeof wide / 2) : 0;
    wide[std::min(static_cast<size_t>(units), lim)] = 0;

    ZqXmlU_KeywordizeW(out, wide, static_cast<int>(lim), codeFlag, firstToken);
    if (lim != 0 && out[0] == '\0') {
        out[0] = 'x';
        out[1] = '\0';
    }
}

}  // extern "C"
