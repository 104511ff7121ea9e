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

}  // namespace

extern "C" {

void ZQ_CALL ZqXmlU_KeywordizeW(char* out, ZqWChar* text, int limit, int codeFlag, int /*unused*/) {
    if (!out) return;
    const size_t lim = limit > 0 ? static_cast<size_t>(limit) : 0;
    static ZqWChar empty[1] = {0};
    zq::Scratch<ZqWChar, 66> kw(lim + 1, lim + 1 <= 66);
    const size_t k = BuildKeyword(text ? text : empty, lim, codeFlag != 0, kw.get());

    const uint64_t bytes = 4 * static_cast<uint64_t>(k) + 1;
    zq::Scratch<char, 260> utf8(bytes, bytes < 260);
    if (zq::Utf16ToUtf8(kw.get(), static_cast<int>(k + 1), utf8.get(), static_cast<int>(bytes)) ==
        0) {
        utf8.get()[0] = '\0';
    }
    // At most `limit` bytes, cut before a character that would not fit whole.
    size_t n = std::strlen(utf8.get());
    if (n > lim) {
        n = lim;
        while (n > 0 && (static_cast<unsigned char>(utf8.get()[n]) & 0xC0) == 0x80)
            --n;
    }
    std::memcpy(out, utf8.get(), n);
    out[n] = '\0';
    out[lim] = '\0';
}

void ZQ_CALL ZqXmlU_KeywordizeA(char* out, char* text, int limit, int codeFlag, int firstToken) {
    if (!out) return;
    const size_t lim = limit > 0 ? static_cast<size_t>(limit) : 0;
    static char empty[1] = {'\0'};
    const char* in = text ? text : empty;

    // At most 5 x limit bytes of the text (only its first token with the flag).
    const uint64_t maxBytes = 5 * static_cast<uint64_t>(lim);
    zq::Scratch<char, 600> bytes(maxBytes + 3, maxBytes + 3 <= 600);
    size_t n = 0;
    while (n < maxBytes && in[n] && !(firstToken && EndsToken(in[n]))) {
        bytes.get()[n] = in[n];
        ++n;
    }
    bytes.get()[n] = '\0';

    zq::Scratch<ZqWChar, 360> wide(n + 1, n + 1 <= 360);
    const int units =
        n ? zq::Utf8ToUtf16(bytes.get(), static_cast<int>(n), wide.get(), static_cast<int>(n + 1))
          : 0;
    wide.get()[std::min(static_cast<size_t>(units), lim)] = 0;

    ZqXmlU_KeywordizeW(out, wide.get(), limit, codeFlag, firstToken);
    if (lim != 0 && out[0] == '\0') {
        out[0] = 'x';
        out[1] = '\0';
    }
}

}  // extern "C"
