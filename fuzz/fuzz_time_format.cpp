// Arbitrary date values, codes, zones and small destination sizes through the formatters and
// the pinned clock: nothing written past the size, and either the whole text or an empty one.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "zqxmlu.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 18) return 0;
    uint64_t value;
    uint32_t zh, zm;
    std::memcpy(&value, data, 8);
    std::memcpy(&zh, data + 8, 4);
    std::memcpy(&zm, data + 12, 4);
    const int format = data[16] < 240 ? 19 + data[16] % 20 : static_cast<int8_t>(data[16]);
    const unsigned dstSize = data[17] % 48;
    const auto zoneHours = static_cast<ZqLong>(
        data[17] & 0x80 ? zh : static_cast<uint32_t>(static_cast<int8_t>(zh) % 15));
    const auto zoneMinutes = static_cast<ZqULong>(data[16] & 1 ? zm : zm % 60);

    char full[128];
    ZqXmlU_MakeDateA(value, format, full, sizeof full, zoneHours, zoneMinutes);
    const size_t len = std::strlen(full);
    if (len == 0 || len >= 64) std::abort();

    // Blocks of exactly dstSize units: ASan reports any write past them.
    char* a = static_cast<char*>(std::malloc(dstSize ? dstSize : 1));
    auto* w = static_cast<ZqWChar*>(std::malloc((dstSize ? dstSize : 1) * sizeof(ZqWChar)));
    a[0] = '#';
    w[0] = u'#';
    if (ZqXmlU_MakeDateA(value, format, a, dstSize, zoneHours, zoneMinutes) != a) std::abort();
    if (ZqXmlU_MakeDateW(value, format, w, dstSize, zoneHours, zoneMinutes) != w) std::abort();
    if (dstSize == 0) {
        if (a[0] != '#' || w[0] != u'#') std::abort();
    } else {
        const size_t n = len < dstSize ? len : 0;
        if (std::memcmp(a, full, n) != 0 || a[n] != '\0') std::abort();
        for (size_t i = 0; i < n; ++i) {
            if (w[i] != static_cast<unsigned char>(full[i])) std::abort();
        }
        if (w[n] != 0) std::abort();
    }

    // The pinned clock writes the same text as format 23.
    ZqXmlU_SetOverrideNow(value ? value : 1);
    char* t = static_cast<char*>(std::malloc(dstSize ? dstSize : 1));
    if (ZqXmlU_GetTimeString(t, dstSize, data[16] & 2, zoneHours, zoneMinutes) !=
        (value ? value : 1))
        std::abort();
    ZqXmlU_SetOverrideNow(0);
    std::free(a);
    std::free(w);
    std::free(t);
    return 0;
}
