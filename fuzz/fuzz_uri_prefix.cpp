// Arbitrary names, numbers and destination sizes through the combined prefix: the destination
// (exactly as large as stated) is never overrun and holds a cut of the expected prefix.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "zqxmlu.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5 || size > 1024) return 0;
    int number;
    std::memcpy(&number, data, sizeof number);
    const int dstSize = data[4] % 96;
    std::string rest(reinterpret_cast<const char*>(data + 5), size - 5);
    rest = rest.substr(0, rest.find('\0'));
    const size_t split = rest.find('|');
    std::string first = rest.substr(0, split);
    std::string second = split == std::string::npos ? "" : rest.substr(split + 1);
    std::vector<char> a(first.begin(), first.end()), b(second.begin(), second.end());
    a.push_back('\0');
    b.push_back('\0');

    // The full-size result: whole names while everything fits in 64 characters, else names of
    // more than 28 characters cut to 28.
    const std::string digits = std::to_string(number);
    std::string x = first, y = second;
    if (x.size() + y.size() + digits.size() + 1 > 64) {
        x = x.substr(0, 28);
        y = y.substr(0, 28);
    }
    const std::string expected = x + "_" + y + (number != 0 ? digits : "");

    std::vector<char> dst(static_cast<size_t>(dstSize > 0 ? dstSize : 1), '#');
    ZqXmlU_MakeCombinedPrefix(a.data(), b.data(), dst.data(), dstSize, number);
    if (dstSize == 0) {
        if (dst[0] != '#') std::abort();
        return 0;
    }
    const size_t n = strnlen(dst.data(), dst.size());
    if (n == dst.size() || n > 68) std::abort();
    if (std::string(dst.data(), n) != expected.substr(0, n)) std::abort();
    if (n != std::min(expected.size(), dst.size() - 1)) std::abort();
    return 0;
}
