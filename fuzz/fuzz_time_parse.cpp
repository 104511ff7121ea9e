// Arbitrary text, format code and zone through the date parser and the number scanners: no read
// past the terminator, the text unchanged, and the integer and floating results agreeing.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "zqxmlu.h"

namespace {

uint32_t Word(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 9 || size > 4096) return 0;
    // Mostly the codes around 21..36; sometimes any code at all.
    const int format = data[0] < 224 ? 19 + data[0] % 20 : static_cast<int>(Word(data + 1));
    // Mostly small zones, sometimes any 32-bit value.
    const uint32_t zh = Word(data + 1), zm = Word(data + 5);
    const auto zoneHours =
        static_cast<ZqLong>(data[0] & 1 ? zh : static_cast<uint32_t>(static_cast<int8_t>(zh) % 15));
    const auto zoneMinutes = static_cast<ZqULong>(data[0] & 2 ? zm : zm % 60);

    // The text in a block of exactly its size (it may hold NULs of its own).
    const size_t n = size - 9;
    char* text = static_cast<char*>(std::malloc(n + 1));
    std::memcpy(text, data + 9, n);
    text[n] = '\0';
    const size_t len = std::strlen(text);

    const uint64_t value = ZqXmlU_ParseDate(text, format, zoneHours, zoneMinutes);
    const double d = ZqXmlU_ParseDateF(text, format, zoneHours, zoneMinutes);
    // Only format 23 adds a fraction: the seconds' own digits minus the seconds, so it stays small.
    if (value == 0 && d != 0.0) std::abort();
    if (value != 0 && !(std::fabs(d - static_cast<double>(value)) < 128.0)) std::abort();
    if (format != 23 && d != static_cast<double>(value)) std::abort();
    if (std::memcmp(text, data + 9, n) != 0) std::abort();

    ZqLong decimal;
    int64_t integer;
    if (ZqXmlU_ParseDecimal(text, &decimal) > len + 1) std::abort();
    if (ZqXmlU_ParseInteger(text, &integer, 0) > len + 1) std::abort();
    if (ZqXmlU_ParseInteger(text, &integer, 1) > len + 1) std::abort();
    std::free(text);
    return 0;
}
