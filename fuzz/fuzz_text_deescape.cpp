// Every de-escaper on arbitrary text and sizes: outputs exactly as large as the size given (so a
// write past it is caught), results within their bounds, in-place decoding equal to decoding into
// a new buffer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "fuzz_support.h"
#include "zqxmlu.h"

namespace {

using zqfuzz::Check;
using zqfuzz::kTag;
using zqfuzz::Release;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2 || size > (1 << 16)) return 0;
    const ZqLong room = 1 + static_cast<ZqLong>((data[0] | (data[1] << 8)) % 700);
    const size_t len = size - 2;
    std::unique_ptr<char[]> text(new char[len + 1]);
    std::memcpy(text.get(), data + 2, len);
    text[len] = '\0';
    const size_t textLen = std::strlen(text.get());

    char* a = nullptr;
    const int n = ZqXmlU_DeEscapeTextA(0, &a, text.get(), 0, kTag);
    Check(n >= 1 && static_cast<size_t>(n) <= textLen + 1 && a[n - 1] == '\0');

    // In place, with room beyond the text: the same bytes.
    std::unique_ptr<char[]> inPlace(new char[textLen + 1]);
    std::memcpy(inPlace.get(), text.get(), textLen + 1);
    char* p = inPlace.get();
    Check(ZqXmlU_DeEscapeTextA(0, &p, p, static_cast<ZqLong>(textLen + 1), kTag) == n);
    Check(std::memcmp(inPlace.get(), a, static_cast<size_t>(n)) == 0);
    Release(a);

    std::unique_ptr<char[]> bytes(new char[static_cast<size_t>(room)]);
    p = bytes.get();
    const int cut = ZqXmlU_DeEscapeTextA(0, &p, text.get(), room, kTag);
    Check(cut <= room);
    p = bytes.get();
    ZqXmlU_DeEscapeText0(0, &p, text.get(), room, kTag);
    char* zero = nullptr;
    ZqXmlU_DeEscapeText0(0, &zero, text.get(), 0, kTag);
    Release(zero);

    ZqWChar* w = nullptr;
    const int units = ZqXmlU_DeEscapeTextW(0, &w, text.get(), 0, kTag);
    Check(units >= 1 && static_cast<size_t>(units) <= textLen + 1);
    Release(w);
    std::unique_ptr<ZqWChar[]> wide(new ZqWChar[static_cast<size_t>(room)]());
    ZqWChar* q = wide.get();
    Check(ZqXmlU_DeEscapeTextW(0, &q, text.get(), room, kTag) <= room);

    std::memset(wide.get(), 0, static_cast<size_t>(room) * sizeof(ZqWChar));
    ZqXmlU_DeEscapeTextLW(0, &q, text.get(), room, kTag);
    ZqXmlU_DeEscapeTextLW(0, &w, text.get(), 0, kTag);
    Release(w);

    char* la = nullptr;
    const int laCount = ZqXmlU_DeEscapeTextLA(0, &la, text.get(), 0, kTag);
    Check(laCount >= 1 && la[laCount - 1] == '\0');
    Release(la);
    p = bytes.get();
    Check(ZqXmlU_DeEscapeTextLA(0, &p, text.get(), room, kTag) == laCount);
    return 0;
}
