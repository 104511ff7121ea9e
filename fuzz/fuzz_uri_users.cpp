// Arbitrary text as a list of additional user names, then every reader on the list it built;
// releasing the value texts and the list leaves nothing behind.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "uri/namespace.h"
#include "zqxmlu.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 8192) return 0;
    std::vector<char> text(data, data + size);
    text.push_back('\0');

    ZQ_KWLIST_STRUCT_T bases{};
    ZqXmlU_GetAdditionalUsernames(&bases, text.data());
    if (bases.count < 0 || bases.count >= bases.capacity + (bases.capacity == 0)) std::abort();
    for (int i = 0; i < bases.count; ++i) {
        auto* key = reinterpret_cast<char*>(bases.keys[i]);
        if (!key || !zq::InNamespace(key) || key[std::strlen(key) - 1] != '/') std::abort();
        // The user of entry i is found again, at i or at an earlier entry of the same name.
        std::vector<char> name(65, '#');
        ZqXmlU_GetUsernameI(&bases, i, name.data(), static_cast<int>(name.size()));
        if (!std::memchr(name.data(), '\0', name.size())) std::abort();
        const int match = ZqXmlU_GetMatchingUri(&bases, name.data());
        if (match < 0 || match > i) std::abort();
        // A URI under a base belongs to the first entry that is a prefix of it.
        std::string uri = std::string(key) + "v_01_001.zqtv";
        std::vector<char> u(uri.begin(), uri.end());
        u.push_back('\0');
        const int owner = ZqXmlU_IsUserOwned(u.data(), &bases);
        if (owner < 0 || owner > i) std::abort();
    }

    for (int i = 0; i < bases.count; ++i) {
        void* value = reinterpret_cast<void*>(bases.values[i]);
        if (value && std::strlen(static_cast<char*>(value)) > 253) std::abort();
        ZqXmlU_Free(&value);
    }
    ZqXmlU_FreeKwAllocList(&bases);
    return 0;
}
