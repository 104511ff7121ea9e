// Base64: any text decodes with any capacity without a write past it; any bytes encode (with any
// line layout) and decode back to themselves.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "zqxmlu.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3 || size > (1 << 16)) return 0;
    const uint32_t capacity = data[0] | (data[1] & 0x7F) << 8;
    const uint32_t groups = data[2] & 15, tabs = data[2] >> 4;
    data += 3;
    size -= 3;

    // Decoding: the buffer has exactly `capacity` bytes, so AddressSanitizer sees any overrun.
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<unsigned char> out(capacity);
    if (ZqXmlU_FromBase64(text.c_str(), out.data(), capacity) > capacity) std::abort();

    // Encoding into exactly the documented room, then back.
    const size_t full = size == 0 ? 0 : (size - 1) / 3;
    const size_t breaks = groups == 0 ? 0 : full / groups;
    std::vector<char> encoded(4 * ((size + 2) / 3) + 2 + breaks * (1 + tabs));
    const int n = ZqXmlU_ToBase64(data, static_cast<uint32_t>(size), encoded.data(), groups, tabs);
    if (n < 1 || static_cast<size_t>(n) >= encoded.size() || encoded[static_cast<size_t>(n)] != 0 ||
        encoded[static_cast<size_t>(n) - 1] != '=') {
        std::abort();
    }
    std::vector<unsigned char> back(size + 4);
    if (ZqXmlU_FromBase64(encoded.data(), back.data(), static_cast<uint32_t>(back.size())) !=
            size ||
        (size > 0 && std::memcmp(back.data(), data, size) != 0)) {
        std::abort();
    }
    return 0;
}
