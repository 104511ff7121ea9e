// Format, then parse: a second count written in code 23 with its zone, and a day number written
// in code 25, read back as the same date value wherever both directions can express it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "zqxmlu.h"

namespace {

// Leap-second instants: a value one past an entry names the inserted second itself, which the
// formatter shows as the next minute's first second and the parser reads back one lower.
const uint64_t kLeaps[] = {78796800,  94694401,  126230402, 157766403, 189302404, 220924805,
                           252460806, 283996807, 315532808, 363793609, 394329611, 425865611,
                           457401612, 473299213, 536457614, 567993615, 615254416, 646790417,
                           678326418, 725760019, 773020820, 820454421, 1041379222};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 12) return 0;
    uint64_t raw;
    uint32_t zone;
    std::memcpy(&raw, data, 8);
    std::memcpy(&zone, data + 8, 4);
    char text[64];

    // Code 25: every day number but 0 (read back as 1) and 577815 (which has no date).
    const uint64_t day = 1 + raw % 719164;
    if (day != 577815) {
        ZqXmlU_MakeDateA(day, 25, text, sizeof text, 0, 0);
        if (ZqXmlU_ParseDate(text, 25, 0, 0) != day) std::abort();
    }

    // Code 23: second counts whose local time lies from 1970 to 2037, in zones of up to 99 hours
    // written as +hh:mm (hours 0 only with minutes 0: the two directions read those apart).
    const uint64_t value = 2678400 + raw % 2147483000u;
    const auto zoneHours = static_cast<ZqLong>(static_cast<int>(zone % 199) - 99);
    const auto zoneMinutes = static_cast<ZqULong>(zoneHours == 0 ? 0 : (zone >> 8) % 100);
    for (const uint64_t leap : kLeaps) {
        if (value == leap + 2678400 + 1) return 0;
    }
    const int64_t local = static_cast<int64_t>(value - 2678400) - 23 + zoneHours * 3600 +
                          (zoneHours > 0 ? 60 : -60) * static_cast<int64_t>(zoneMinutes);
    if (local < 0 || local > 2145916800) return 0;  // up to 2038-01-01
    ZqXmlU_MakeDateA(value, 23, text, sizeof text, zoneHours, zoneMinutes);
    if (ZqXmlU_ParseDate(text, 23, 0, 0) != value) std::abort();
    return 0;
}
