// Escaping: the test on arbitrary text; escape -> de-escape gives
// back any text without NUL and the escaped text needs no more escaping; the L form of any UTF-16
// text decodes back to it; callers' buffers of any size are never written past.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz_support.h"
#include "zqxmlu.h"

namespace {

using zqfuzz::Check;
using zqfuzz::kTag;
using zqfuzz::Release;

void TextRoundTrip(const uint8_t* data, size_t size, uint32_t room) {
    std::unique_ptr<char[]> text(new char[size + 1]);
    std::memcpy(text.get(), data, size);
    text[size] = '\0';
    const int needs = ZqXmlU_NeedsEscapingA(text.get());
    Check(needs >= 0 && needs <= 2);

    for (size_t i = 0; i < size; ++i) {
        if (text[i] == '\0') text[i] = 'z';
    }
    char* escaped = nullptr;
    const int bits = ZqXmlU_DoEscaping(0, &escaped, text.get(), 0, 0, 0, kTag);
    Check(ZqXmlU_NeedsEscapingA(escaped) == 0);
    char* back = nullptr;
    const int n = ZqXmlU_DeEscapeTextA(0, &back, escaped, 0, kTag);
    Check(static_cast<size_t>(n) == size + 1 && std::memcmp(back, text.get(), size + 1) == 0);
    Release(back);

    // A caller's buffer of `room` bytes (room also bounds the input): the same result bits as
    // without output, and the whole escaped text when the worst case fits.
    std::unique_ptr<char[]> out(new char[room]);
    char* p = out.get();
    Check(ZqXmlU_DoEscaping(1, &p, text.get(), 1, room, 0, kTag) ==
          ZqXmlU_DoEscaping(0, &p, text.get(), 0, room, 1, kTag));
    if (6 * size + 1 <= room) Check(std::strcmp(out.get(), escaped) == 0);
    Check(bits == ZqXmlU_DoEscaping(0, &p, text.get(), 0, 0, 1, kTag));
    Release(escaped);
    ZqXmlU_EscapeXmlStringLA(out.get(), static_cast<int>(room), text.get(), nullptr);
}

void WideRoundTrip(const uint8_t* data, size_t size, uint32_t room) {
    std::vector<ZqWChar> wide(size / 2 + 1);
    for (size_t i = 0; i + 1 < size; i += 2) {
        const auto u = static_cast<ZqWChar>(data[i] | (data[i + 1] << 8));
        wide[i / 2] = u ? u : 0x20;
    }
    wide.back() = 0;
    const size_t units = wide.size() - 1;
    const size_t need = 12 * (units + 1) + 1;
    std::unique_ptr<char[]> lform(new char[need]);
    ZqXmlU_EscapeXmlStringLW(lform.get(), static_cast<int>(need), wide.data(), nullptr);
    ZqWChar* back = nullptr;
    ZqXmlU_DeEscapeTextLW(0, &back, lform.get(), 0, kTag);
    Check(std::memcmp(back, wide.data(), (units + 1) * sizeof(ZqWChar)) == 0);
    Release(back);

    std::unique_ptr<char[]> small(new char[room]);
    ZqXmlU_EscapeXmlStringLW(small.get(), static_cast<int>(room), wide.data(), nullptr);
    char* utf8 = nullptr;
    ZqXmlU_EscapeXMLStringW(&utf8, wide.data(), 0, 0, kTag);
    Check(ZqXmlU_NeedsEscapingA(utf8) == 0);
    Release(utf8);
    const int needs = ZqXmlU_NeedsEscapingW(wide.data());
    Check(needs >= 0 && needs <= 2);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2 || size > (1 << 16)) return 0;
    const uint32_t room = 1 + (data[0] | (data[1] << 8)) % 400;
    TextRoundTrip(data + 2, size - 2, room);
    WideRoundTrip(data + 2, size - 2, room);
    return 0;
}
