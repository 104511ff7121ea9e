// zlib: any bytes decompress with any capacity without a write past it; any bytes that compress
// come back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "zqxmlu.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2 || size > (1 << 16)) return 0;
    const uint32_t capacity = (data[0] | data[1] << 8) & 0x3FFF;
    data += 2;
    size -= 2;
    const auto n = static_cast<uint32_t>(size);

    std::vector<unsigned char> out(capacity);
    if (ZqXmlU_gunzip(data, n, out.data(), capacity) > capacity) std::abort();

    std::vector<unsigned char> packed(size);
    const uint32_t z = ZqXmlU_gzip(data, n, packed.data());
    if (z == 0xFFFFFFFF || z > n) std::abort();
    if (z > 0) {
        std::vector<unsigned char> back(size);
        if (ZqXmlU_gunzip(packed.data(), z, back.data(), n) != n ||
            std::memcmp(back.data(), data, size) != 0) {
            std::abort();
        }
    }
    return 0;
}
