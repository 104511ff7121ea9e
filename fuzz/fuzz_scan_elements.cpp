// The element readers and the in-place cut on arbitrary text and names: no read past the NUL, no
// write past the text, and results that agree with what they report.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "zqxmlu.h"

namespace {

char kTag[] = "fuzz";

// A NUL-terminated copy in a block of exactly its size.
char* Exact(const std::string& s) {
    const size_t n = std::strlen(s.c_str());
    char* p = static_cast<char*>(std::malloc(n + 1));
    std::memcpy(p, s.c_str(), n + 1);
    return p;
}

void Release(void* p) {
    ZqXmlU_Free(&p);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string nameBytes = in.ConsumeRandomLengthString(16);
    const int maxItems = in.ConsumeIntegralInRange(-1, 4);
    const int valueSize = in.ConsumeIntegralInRange(-1, 64);
    const int anyPrefix = in.ConsumeBool();
    const uint16_t posPick = in.ConsumeIntegral<uint16_t>();
    const std::string rest = in.ConsumeRemainingBytesAsString();
    char* text = Exact(rest);
    char* name = Exact(nameBytes);
    const size_t length = std::strlen(text);
    if (length > (1u << 20)) {
        std::free(text);
        std::free(name);
        return 0;
    }

    char* contents = nullptr;
    const ZqLong pos = static_cast<ZqLong>(length ? posPick % (length + 1) : 0);
    const int r = ZqXmlU_GetContents(text, pos, contents);
    if ((r == 1) != (contents != nullptr) || (contents && std::strlen(contents) > length))
        std::abort();
    Release(contents);

    char* whole = nullptr;
    if (ZqXmlU_GetElementContents(text, name, &whole, nullptr, 1, 0, 0, kTag) == 1 && whole &&
        !std::strstr(text, whole)) {
        std::abort();  // the content is a piece of the text
    }
    Release(whole);
    ZQ_KWLIST_STRUCT_T items{};
    ZqXmlU_GetElementContents(text, name, nullptr, &items, 2, maxItems, 0, kTag);
    if (maxItems > 0 && items.count > maxItems) std::abort();
    ZqXmlU_FreeKwAllocList(&items);

    char* value = static_cast<char*>(std::malloc(valueSize > 0 ? valueSize : 1));
    if (ZqXmlU_GetParam(text, name, value, valueSize) == 0 &&
        std::strlen(value) >= static_cast<size_t>(valueSize)) {
        std::abort();
    }
    std::free(value);

    const std::string before(text);
    const int cut = ZqXmlU_Excise(text, name, anyPrefix);
    const std::string after(text);
    if (cut != 0 ? after != before : after.size() >= before.size()) std::abort();

    std::free(text);
    std::free(name);
    return 0;
}
