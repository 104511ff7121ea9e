// Arbitrary bytes through UTF-8 -> UTF-16 -> UTF-8: no crash, nothing written past the sizes
// given, and valid UTF-8 comes back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/utf.h"

namespace {

// Independent validity check (RFC 3629 table).
bool ValidUtf8(const unsigned char* s, size_t n) {
    size_t i = 0;
    while (i < n) {
        const unsigned char b = s[i];
        size_t len;
        unsigned char lo = 0x80, hi = 0xBF;
        if (b < 0x80)
            len = 1;
        else if (b >= 0xC2 && b <= 0xDF)
            len = 2;
        else if (b == 0xE0)
            len = 3, lo = 0xA0;
        else if (b >= 0xE1 && b <= 0xEC)
            len = 3;
        else if (b == 0xED)
            len = 3, hi = 0x9F;
        else if (b >= 0xEE && b <= 0xEF)
            len = 3;
        else if (b == 0xF0)
            len = 4, lo = 0x90;
        else if (b >= 0xF1 && b <= 0xF3)
            len = 4;
        else if (b == 0xF4)
            len = 4, hi = 0x8F;
        else
            return false;
        if (i + len > n) return false;
        for (size_t k = 1; k < len; ++k) {
            const unsigned char c = s[i + k];
            if (k == 1 ? (c < lo || c > hi) : (c & 0xC0) != 0x80) return false;
        }
        i += len;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > (1 << 20)) return 0;
    const char* text = reinterpret_cast<const char*>(data);
    const int len = static_cast<int>(size);

    const int units = zq::Utf8ToUtf16(text, len, nullptr, 0);
    if (units <= 0 || units > len) std::abort();
    std::vector<ZqWChar> wide(static_cast<size_t>(units));
    if (zq::Utf8ToUtf16(text, len, wide.data(), units) != units) std::abort();
    // One unit short must fail without writing past the shorter size.
    if (units > 1) {
        std::vector<ZqWChar> shortBuf(static_cast<size_t>(units - 1));
        if (zq::Utf8ToUtf16(text, len, shortBuf.data(), units - 1) != 0) std::abort();
    }

    const int bytes = zq::Utf16ToUtf8(wide.data(), units, nullptr, 0);
    std::vector<char> back(static_cast<size_t>(bytes));
    if (zq::Utf16ToUtf8(wide.data(), units, back.data(), bytes) != bytes) std::abort();
    if (bytes > 1) {
        std::vector<char> shortBuf(static_cast<size_t>(bytes - 1));
        if (zq::Utf16ToUtf8(wide.data(), units, shortBuf.data(), bytes - 1) != 0) std::abort();
    }
    if (!ValidUtf8(reinterpret_cast<const unsigned char*>(back.data()), back.size())) std::abort();
    if (ValidUtf8(data, size)) {
        if (static_cast<size_t>(bytes) != size || std::memcmp(back.data(), data, size) != 0) {
            std::abort();
        }
    }
    return 0;
}
