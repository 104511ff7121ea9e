// The date parser's two ways of reading a text, compared on every input: the shortcut for the
// usual ISO texts and the field-by-field reading must accept the same texts and give the same
// value and fraction. Half of the inputs are shaped like "yyyy-mm-ddThh:mm:ss" plus a tail, so
// that the shortcut is taken often.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "time/dateparse.h"
#include "zqxmlu.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 9 || size > 256) return 0;
    const int format = data[0] & 1 ? 23 : data[0] & 2 ? 24 : 19 + data[0] % 20;
    int32_t zh;
    uint32_t zm;
    std::memcpy(&zh, data + 1, 4);
    std::memcpy(&zm, data + 5, 4);
    if (data[0] & 8) {  // mostly zones of a few hours
        zh %= 30;
        zm %= 90;
    }
    std::string text(reinterpret_cast<const char*>(data) + 9, size - 9);
    if (data[0] & 4) {
        // Digits where the layout has digits (any byte where it has a separator is kept as given
        // only when the input asks for it), then the rest of the input as the tail.
        static const char kLayout[] = "0000-00-00T00:00:00";
        std::string shaped;
        for (size_t i = 0; i < sizeof kLayout - 1; ++i) {
            const char in = i < text.size() ? text[i] : '0';
            if (kLayout[i] == '0') {
                shaped += static_cast<char>('0' + static_cast<unsigned char>(in) % 10);
            } else {
                shaped += static_cast<unsigned char>(in) >= 0xF0 ? in : kLayout[i];
            }
        }
        text = shaped + (text.size() > shaped.size() ? text.substr(shaped.size()) : "");
    }
    // A block of exactly the text's size, so that a read past its NUL is reported.
    const size_t n = std::strlen(text.c_str());
    char* copy = static_cast<char*>(std::malloc(n + 1));
    std::memcpy(copy, text.c_str(), n + 1);

    const auto fast = zq::date::ParseText(copy, format, zh, zm, true);
    const auto general = zq::date::ParseText(copy, format, zh, zm, false);
    if (fast.accepted != general.accepted) std::abort();
    if (fast.accepted &&
        (fast.value != general.value || fast.value == 0 ||
         std::bit_cast<uint64_t>(fast.fraction) != std::bit_cast<uint64_t>(general.fraction))) {
        std::abort();
    }
    if (ZqXmlU_ParseDate(copy, format, zh, zm) != (fast.accepted ? fast.value : 0)) std::abort();
    if (std::memcmp(copy, text.c_str(), n + 1) != 0) std::abort();
    std::free(copy);
    return 0;
}
