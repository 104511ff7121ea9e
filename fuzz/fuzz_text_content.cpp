// Element content from any start position: ZqXmlU_ConstructContent writes at most
// ZqXmlU_MeasureStringSize + 1 bytes, and both stop inside the text.
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
    if (size < 1 || size > (1 << 16)) return 0;
    std::unique_ptr<char[]> text(new char[size]);
    std::memcpy(text.get(), data + 1, size - 1);
    text[size - 1] = '\0';
    const auto len = static_cast<ZqLong>(std::strlen(text.get()));
    const ZqLong start = data[0] % (len + 1);

    const ZqLong measure = ZqXmlU_MeasureStringSize(text.get(), start);
    Check(measure <= len - start && (measure >= 0 || measure == -start));
    // A negative measure (the negative start position, so 0 at start 0) sizes nothing: the rest
    // of the text bounds the bytes before the section that stopped it.
    const bool sized = measure > 0 || (measure == 0 && start > 0);
    const size_t room =
        sized ? static_cast<size_t>(measure) + 1 : static_cast<size_t>(len - start) + 1;
    std::unique_ptr<char[]> out(new char[room]);
    const ZqLong at = ZqXmlU_ConstructContent(text.get(), start, out.get());
    Check((at >= start || -at >= start) && at <= len && -at <= len);
    Check(strnlen(out.get(), room) < room);
    return 0;
}
