// Insertion into a shared XML string with arbitrary anchors, positions and insertions, against
// the result built with std::string.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "zqxmlu.h"

namespace {

char kTag[] = "fuzz";

uint32_t Capacity(const char* shared) {
    uint32_t size;
    std::memcpy(&size, shared - 4, sizeof size);
    return size;
}

// The first ">" at or after `from` outside quoted runs, or npos.
size_t TagEnd(const std::string& s, size_t from) {
    for (size_t i = from; i < s.size(); ++i) {
        if (s[i] == '>') return i;
        if (s[i] == '\'' || s[i] == '"') {
            i = s.find(s[i], i + 1);
            if (i == std::string::npos) return i;
        }
    }
    return std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string anchor = in.ConsumeRandomLengthString(8).c_str();
    const std::string insertion = in.ConsumeRandomLengthString(300).c_str();
    const int usePos = in.ConsumeBool();
    const int posPick = in.ConsumeIntegralInRange(-2, 70000);
    const int replaceCount = in.ConsumeIntegralInRange(-2, 70000);
    const int slack = in.ConsumeIntegralInRange(0, 300);
    const bool fromDocument = in.ConsumeBool();
    const std::string text = in.ConsumeRemainingBytesAsString().c_str();
    if (text.size() > (1u << 18)) return 0;

    const auto capacity = static_cast<unsigned>(text.size() + 1 + slack);
    char* doc = static_cast<char*>(ZqXmlU_xml_alloc(capacity, kTag));
    std::memcpy(doc, text.c_str(), text.size() + 1);

    // The expected result.
    int expected = 0;
    size_t p = 0;
    if (usePos && posPick != 0) {
        if (posPick > 0 && static_cast<size_t>(posPick) <= text.size()) {
            p = static_cast<size_t>(posPick);
            expected = posPick;
        }
    } else if (!anchor.empty()) {
        const size_t at = text.find(anchor);
        if (at != std::string::npos) {
            const size_t gt = TagEnd(text, at);
            expected = gt == std::string::npos ? -1 : static_cast<int>(gt + 1);
            p = gt + 1;
        }
    }
    // An insertion taken from the document itself: its tail from the middle.
    std::string ins = insertion;
    char* insertionPtr = const_cast<char*>(insertion.c_str());
    if (fromDocument) {
        insertionPtr = doc + text.size() / 2;
        ins = text.substr(text.size() / 2);
    }
    std::string result = text;
    if (expected > 0) {
        const size_t drop =
            replaceCount > 0 ? std::min(static_cast<size_t>(replaceCount), text.size() - p) : 0;
        result = text.substr(0, p) + ins + text.substr(p + drop);
    }

    int unused = 0;
    const int r = ZqXmlU_InsertString(doc, unused, insertionPtr, const_cast<char*>(anchor.c_str()),
                                      usePos ? posPick : 0, replaceCount);
    if (r != expected || result != doc) std::abort();
    const size_t grownTo = text.size() + ins.size() + 256;
    if (Capacity(doc) !=
        (text.size() + ins.size() + 1 >= capacity && expected > 0 ? grownTo : capacity))
        std::abort();
    ZqXmlU_xml_free(doc);
    return 0;
}
