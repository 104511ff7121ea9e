// The two number scanners. Both read from the start of a NUL-terminated text, skip no white
// space, never fail and return an advance: the index just past the character that ended the
// number, so that text + advance is where the next field begins.
#include <cstdint>

#include "zqxmlu.h"

namespace {

inline bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Value of a hexadecimal digit, or -1.
inline int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Characters that end a hexadecimal number and are consumed with it.
inline bool IsHexDelimiter(char c) {
    switch (c) {
        case '\0':
        case ' ':
        case '"':
        case '\'':
        case '/':
        case ':':
        case '<':
            return true;
        default:
            return false;
    }
}

}  // namespace

// The character right after the optional sign is taken as the first digit without a test, so a
// stray character there contributes (c - '0'), read as a signed byte. The one exception is the
// terminator: an empty text or a lone sign reads 0 and stops on the NUL (advance 1 or 2).
// Arithmetic wraps modulo 2^32. A NULL text reads 0 with advance 0; a NULL value is not written.
ZqULong ZQ_CALL ZqXmlU_ParseDecimal(char* text, ZqLong* value) {
    if (value) *value = 0;
    if (!text) return 0;
    uint32_t v = 0;
    const bool negative = text[0] == '-';
    size_t i = (negative || text[0] == '+') ? 1 : 0;
    if (text[i] != '\0') {
        do {
            const auto digit = static_cast<uint32_t>(static_cast<signed char>(text[i]) - '0');
            v = negative ? v * 10u - digit : v * 10u + digit;
            ++i;
        } while (IsDigit(text[i]));
    }
    if (value) *value = static_cast<ZqLong>(v);
    return static_cast<ZqULong>(i + 1);
}

extern "C" {

ZqULong ZQ_CALL ZqXmlU_ParseInteger(char* text, int64_t* value, int hexOnly) {
    int64_t ignored;
    if (!value) value = &ignored;
    *value = 0;
    if (!text) return 0;
    uint64_t v = 0;
    bool negative = false;
    size_t i = 0;
    if (!hexOnly) {
        negative = text[0] == '-';
        if (negative || text[0] == '+') i = 1;
        for (;; ++i) {
            const char c = text[i];
            if (c == 'x') {
                ++i;
                break;
            }
            if (!IsDigit(c)) {
                *value = static_cast<int64_t>(v);
                return static_cast<ZqULong>(i + 1);
            }
            const auto digit = static_cast<uint64_t>(c - '0');
            v = negative ? v * 10u - digit : v * 10u + digit;
        }
    }
    for (;; ++i) {
        const char c = text[i];
        const int digit = HexDigit(c);
        if (digit < 0) {
            *value = static_cast<int64_t>(v);
            return static_cast<ZqULong>(IsHexDelimiter(c) ? i + 1 : i);
        }
        const auto d = static_cast<uint64_t>(digit);
        v = negative ? v * 16u - d : v * 16u + d;
    }
}

}  // extern "C"
