// SHA-1 of a text with white space left out against OpenSSL's SHA-1 of the same text stripped
// beforehand.
#include <openssl/sha.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "zqxmlu.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > (1 << 16)) return 0;
    const uint32_t start = data[0] % 8;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (start > text.size()) return 0;
    std::string kept;
    for (const char* p = text.c_str() + start; *p; ++p) {
        if (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\n') kept += *p;
    }
    unsigned char expected[20];
    SHA1(reinterpret_cast<const unsigned char*>(kept.data()), kept.size(), expected);
    uint32_t state[5];
    ZqXmlU_Sha1Interval(text.c_str(), start, 0, state, 1);
    if (std::memcmp(state, expected, 20) != 0) std::abort();
    return 0;
}
