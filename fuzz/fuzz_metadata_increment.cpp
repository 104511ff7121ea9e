// Arbitrary names and sizes through ZqXmlU_IncrementKeywordName: nothing written past the size,
// a result that fits and differs from the (cut) name, in-place use that agrees, and UTF-8 names
// that stay UTF-8.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "zqxmlu.h"

namespace {

bool ValidUtf8(const std::string& s) {
    for (size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > s.size()) return false;
        for (size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += n;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 1024) return 0;
    const int resultSize = 1 + data[0] % 80;
    std::string name;
    for (size_t i = 1; i < size && data[i]; ++i)
        name += static_cast<char>(data[i]);

    std::vector<char> out(static_cast<size_t>(resultSize));  // exact size: ASan sees any overrun
    std::vector<char> in(name.begin(), name.end());
    in.push_back('\0');
    ZqXmlU_IncrementKeywordName(in.data(), out.data(), resultSize);
    const size_t len = strnlen(out.data(), out.size());
    if (len >= out.size()) std::abort();
    const std::string result(out.data(), len);
    const std::string cut = name.substr(0, static_cast<size_t>(resultSize - 1));
    if (resultSize >= 2 && result == cut) std::abort();
    if (std::strcmp(in.data(), name.c_str()) != 0) std::abort();  // the source is left alone
    if (ValidUtf8(name) && !ValidUtf8(result)) std::abort();

    std::vector<char> same(std::max(name.size() + 1, static_cast<size_t>(resultSize)));
    std::memcpy(same.data(), name.c_str(), name.size() + 1);
    ZqXmlU_IncrementKeywordName(same.data(), same.data(), resultSize);
    if (result != same.data()) std::abort();
    return 0;
}
