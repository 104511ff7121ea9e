// Password records: any record with any key texts decrypts to nothing, NULL or a tagged text of
// fewer than 256 bytes; passwords encrypted with usable key texts come back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "zqxmlu.h"

namespace {

void Release(char* p) {
    void* v = p;
    ZqXmlU_Free(&v);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2 || size > 4096) return 0;
    const size_t n1 = data[0] % 100, n2 = data[1] % 100;
    data += 2;
    size -= 2;
    if (n1 + n2 > size) return 0;
    const std::string key1(reinterpret_cast<const char*>(data), n1);
    const std::string key2(reinterpret_cast<const char*>(data) + n1, n2);
    const std::string rest(reinterpret_cast<const char*>(data) + n1 + n2, size - n1 - n2);

    char sentinel = 0;
    char* password = &sentinel;
    ZqXmlU_DecryptPassword(key1.c_str(), key2.c_str(), &password, rest.c_str());
    if (password != &sentinel && password) {
        if (std::strlen(password) > 255) std::abort();
        Release(password);
    }

    char* record = nullptr;
    ZqXmlU_EncryptPassword(key1.c_str(), key2.c_str(), rest.c_str(), &record);
    const size_t length = std::strlen(rest.c_str());
    const bool usable = std::strlen(key1.c_str()) + 1 + std::strlen(key2.c_str()) < 128;
    if ((record != nullptr) != (usable && length <= 255)) std::abort();
    if (record && key2.c_str()[0] != '\0' && length <= 127) {
        char* back = nullptr;
        ZqXmlU_DecryptPassword(key1.c_str(), key2.c_str(), &back, record);
        if (!back || std::strcmp(back, rest.c_str()) != 0) std::abort();
        Release(back);
    }
    Release(record);
    return 0;
}
