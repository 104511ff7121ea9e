// Both keywordizers on arbitrary text and limits: the result is empty, "x" or a valid XML 1.0
// name of at most `limit` characters and bytes, and nothing is written past limit + 1 bytes or
// the 65 bytes every caller supplies.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz_support.h"
#include "platform/utf.h"
#include "text/charclass.h"
#include "zqxmlu.h"

namespace {

using zqfuzz::Check;
using zqfuzz::kTag;
using zqfuzz::Release;

bool NameChar(int32_t c) {
    return c == '.' || c == '-' || c == '_' || c == ':' || zq::IsLetter(c) || zq::IsDigitChar(c) ||
           zq::IsCombiningChar(c) || zq::IsExtender(c);
}

void CheckName(const char* out, size_t room, int limit, bool fromA) {
    const size_t n = strnlen(out, room);
    Check(n < room && n <= static_cast<size_t>(limit));
    if (n == 0) {
        Check(!fromA || limit == 0);
        return;
    }
    std::vector<ZqWChar> wide(n + 1);
    const int units = zq::Utf8ToUtf16(out, static_cast<int>(n), wide.data(), static_cast<int>(n));
    Check(units > 0 && units <= limit);
    // Valid UTF-8: it comes back unchanged.
    std::vector<char> back(n);
    Check(zq::Utf16ToUtf8(wide.data(), units, back.data(), static_cast<int>(n)) ==
              static_cast<int>(n) &&
          std::memcmp(back.data(), out, n) == 0);
    Check(zq::IsLetter(wide[0]) || wide[0] == '_');
    for (int i = 1; i < units; ++i)
        Check(NameChar(wide[static_cast<size_t>(i)]));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 4096) return 0;
    const int limit = data[0] % 65;
    const int code = data[0] & 0x40;
    const int firstToken = data[0] & 0x80;
    const size_t room = std::max(65, limit + 1);

    std::unique_ptr<char[]> text(new char[size]);
    std::memcpy(text.get(), data + 1, size - 1);
    text[size - 1] = '\0';
    std::unique_ptr<char[]> out(new char[room]);
    ZqXmlU_KeywordizeA(out.get(), text.get(), limit, code, firstToken);
    CheckName(out.get(), room, limit, true);

    std::vector<ZqWChar> wide((size - 1) / 2 + 1);
    for (size_t i = 1; i + 1 < size; i += 2)
        wide[i / 2] = static_cast<ZqWChar>(data[i] | (data[i + 1] << 8));
    wide.back() = 0;
    ZqXmlU_KeywordizeW(out.get(), wide.data(), limit, code, 0);
    CheckName(out.get(), room, limit, false);
    return 0;
}
