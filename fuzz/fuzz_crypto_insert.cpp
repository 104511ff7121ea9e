// Authenticator insertion: any document in a sink, any start offset. Either the text stays as it
// was (-1), or it grew by exactly the bytes reported.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "zqxmlu.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2 || size > (1 << 16)) return 0;
    const int flags = data[0] & 3;
    const int start = data[1];
    const std::string doc(reinterpret_cast<const char*>(data) + 2, size - 2);
    const char* plain = flags & 1 ? "p1" : nullptr;
    const char* auth = flags & 2 ? "a+/=" : nullptr;

    ZQ_XML_STRUCT_T sink{};
    sink.tag = "fuzz";
    ZqXmlU_sprintf(&sink, "%s", doc.c_str());
    if (!sink.buffer) return 0;
    const std::string before(sink.buffer, static_cast<size_t>(sink.length));
    const int added = ZqXmlU_InsertAuthenticators(plain, auth, &sink, start);
    const std::string after(sink.buffer, static_cast<size_t>(sink.length));
    if (std::strlen(sink.buffer) != after.size()) std::abort();
    if (added < 0 ? after != before : after.size() != before.size() + static_cast<size_t>(added)) {
        std::abort();
    }
    ZqXmlU_xml_free(sink.buffer);
    return 0;
}
