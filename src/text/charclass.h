// Internal pieces of the XML text operations: the character classes of XML names, the byte test
// for text written unchanged, and the operations that have vector forms.
#ifndef ZQ_TEXT_CHARCLASS_H
#define ZQ_TEXT_CHARCLASS_H

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "frame/alloc.h"
#include "frame/tag.h"
#include "platform/cpu.h"
#include "zqxmlu.h"

namespace zq {

// One character class of XML names: its production as text, every alternative a bracketed range
// "[#xLLLL-#xHHHH]" (a single character is a range with equal bounds), alternatives separated by
// " | ", and the table of inclusive bounds parsed from it on the first test of the class. The
// table ends with a range whose bounds are both 0 (no class holds U+0000). Ranges keep the order
// of the production; the walk does not rely on them ascending.
struct CharRangeTable {
    const char* production;
    int32_t* low;
    int32_t* high;
    int capacity;  // ranges, end marker included
    std::once_flag filled;
};

enum class CharClass { kBaseChar, kIdeographic, kCombiningChar, kDigit, kExtender };

// The table of a class, parsed when this is its first use. Any number of threads may ask at once:
// the first parses, the others wait until the table is complete.
const CharRangeTable& FilledTable(CharClass c);

// Fills low/high from a production text: reads "[#x<hex>-#x<hex>]" at the current position, then
// looks for the next "[" among the 31 characters that follow it (not past the text's NUL) and goes
// on there. Writes the end marker after the last range read; never writes more than `capacity`
// entries (end marker included). Returns the number of ranges read.
int ParseRangeList(const char* text, int32_t* low, int32_t* high, int capacity);

// Class tests: 1 when the code point is in the class, else 0. Negative values are in no class.
int IsBaseChar(int32_t c);
int IsIdeographic(int32_t c);
int IsCombiningChar(int32_t c);
int IsDigitChar(int32_t c);
int IsExtender(int32_t c);
// BaseChar or Ideographic (the Ideographic table is consulted only when BaseChar says no).
int IsLetter(int32_t c);

// The byte test for text written into XML unchanged: TAB, LF, CR and 0x20..0x7F pass; every other
// byte fails, 0x80..0xFF included.
inline int IsValidXmlByte(char c) {
    const auto b = static_cast<signed char>(c);
    return b == 9 || b == 10 || b == 13 || b >= 0x20;
}

// The predefined entity that starts at `at` (an "&"): "&lt;", "&gt;", "&amp;", "&apos;" or
// "&quot;". `avail` is the number of bytes from `at` to the text's NUL. Returns the entity's length
// and stores the character it stands for in *value; 0 when none starts there. With 8 bytes at hand
// the five are compared at once, without a branch to mispredict; otherwise byte by byte, reading
// no further than the first byte that differs.
namespace entity_detail {

constexpr uint64_t Word(const char* s, size_t n) {
    std::array<char, 8> bytes{};
    for (size_t i = 0; i < n; ++i)
        bytes[i] = s[i];
    return std::bit_cast<uint64_t>(bytes);
}

constexpr uint64_t kMask4 = Word("\xFF\xFF\xFF\xFF", 4);
constexpr uint64_t kMask5 = Word("\xFF\xFF\xFF\xFF\xFF", 5);
constexpr uint64_t kMask6 = Word("\xFF\xFF\xFF\xFF\xFF\xFF", 6);
constexpr uint64_t kLt = Word("&lt;", 4);
constexpr uint64_t kGt = Word("&gt;", 4);
constexpr uint64_t kAmp = Word("&amp;", 5);
constexpr uint64_t kApos = Word("&apos;", 6);
constexpr uint64_t kQuot = Word("&quot;", 6);

}  // namespace entity_detail

inline size_t MatchEntity(const char* at, size_t avail, char* value) {
    using namespace entity_detail;
    if (avail >= 8) {
        uint64_t x;
        std::memcpy(&x, at, 8);
        const uint64_t x4 = x & kMask4;
        const uint64_t x6 = x & kMask6;
        const size_t lt = x4 == kLt;
        const size_t gt = x4 == kGt;
        const size_t amp = (x & kMask5) == kAmp;
        const size_t apos = x6 == kApos;
        const size_t quot = x6 == kQuot;
        *value = static_cast<char>(lt * '<' + gt * '>' + amp * '&' + apos * '\'' + quot * '"');
        return 4 * (lt + gt) + 5 * amp + 6 * (apos + quot);
    }
    switch (at[1]) {
        case 'l':
        case 'g':
            if (at[2] != 't' || at[3] != ';') return 0;
            *value = at[1] == 'l' ? '<' : '>';
            return 4;
        case 'a':
            if (at[2] == 'm' && at[3] == 'p' && at[4] == ';') {
                *value = '&';
                return 5;
            }
            if (at[2] == 'p' && at[3] == 'o' && at[4] == 's' && at[5] == ';') {
                *value = '\'';
                return 6;
            }
            return 0;
        case 'q':
            if (at[2] != 'u' || at[3] != 'o' || at[4] != 't' || at[5] != ';') return 0;
            *value = '"';
            return 6;
        default:
            return 0;
    }
}

// The text operations that have vector forms, run in the form of a given tier: the exports pass
// cpu::Active().tier, the tests and fuzz targets every tier the processor has (a tier it lacks
// must not be asked for), to compare each with the scalar form.
//
// The string escaper: in[0, len) into dst (cap bytes; dst NULL: only the result bits). A piece
// that does not fit is dropped and the scan goes on: a byte needs 1 free byte, an entity its
// length plus 1, a decimal reference 6. A NUL ends the output when a byte is free. `fresh`: dst
// is a new output with room for the worst case, at least 6 x len + 1 bytes, and is filled a
// block at a time. Returns the result bits of ZqXmlU_DoEscaping.
int EscapeOn(cpu::Tier tier, const unsigned char* in, size_t len, char* dst, size_t cap,
             bool fresh);
// ZqXmlU_NeedsEscapingA on a text that is not NULL.
int NeedsEscapingOn(cpu::Tier tier, const char* text);
// De-escapes text (length len) into out (cap bytes). Before each input position: when written
// + 5 >= limit the truncation mark ends the output. Returns the bytes written, final NUL or mark
// included. out may be text itself; with any other overlap the text decoded is unspecified, but
// nothing at or past text[len] is read and nothing past out[cap - 1] written.
size_t DecodeOn(cpu::Tier tier, const char* text, size_t len, char* out, size_t cap, size_t limit);

}  // namespace zq

#endif  // ZQ_TEXT_CHARCLASS_H
