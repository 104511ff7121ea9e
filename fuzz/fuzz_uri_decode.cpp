// Arbitrary text through the URI decoder, the compatibility test and the user-name reader: no
// read outside the text, no write past the 65-byte outputs, and the answers agree with each other.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "uri/namespace.h"
#include "zqxmlu.h"

namespace {

// Writable NUL-terminated copy on the heap, so that the sanitizer sees every byte past it.
std::vector<char> Copy(const std::string& s) {
    std::vector<char> v(s.begin(), s.end());
    v.push_back('\0');
    return v;
}

bool Terminated(const std::vector<char>& buffer) {
    return std::memchr(buffer.data(), '\0', buffer.size()) != nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > 4096) return 0;
    // The first byte says whether the text is put under the product's base URI, so that most
    // inputs reach the grammar; a '\n' splits the rest into two URIs for the comparison.
    const bool underBase = (data[0] & 1) != 0;
    std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    rest = rest.substr(0, rest.find('\0'));
    const size_t split = rest.find('\n');
    std::string first = rest.substr(0, split);
    std::string second = split == std::string::npos ? first : rest.substr(split + 1);
    if (underBase) {
        first = zq::kNamespaceBase + first;
        second = zq::kNamespaceBase + second;
    }

    auto uri = Copy(first);
    std::vector<char> name(65, '#'), user(65, '#');
    int underscore = -1, minor = 0, variant = -1;
    ZqLong major = 0;
    const int decoded = ZqXmlU_GetURIInfo(uri.data(), underscore, minor, &major, name.data(),
                                          user.data(), &variant);
    if (!Terminated(name) || !Terminated(user)) std::abort();
    if (decoded == 1) {
        const auto k = static_cast<size_t>(underscore);
        if (k + 5 >= first.size() || first[k] != '_' || first[k + 4] != '.') std::abort();
        if (variant < 0 || variant > 2) std::abort();
    } else if (std::strcmp(user.data(), "zq") != 0 || name[0] != '\0') {
        std::abort();
    }

    std::vector<char> owner(65, '#');
    ZqXmlU_GetUserName(uri.data(), owner.data());
    if (!Terminated(owner)) std::abort();
    if (decoded == 0 && std::strcmp(owner.data(), "zq") != 0) std::abort();

    // Reflexive, and never compatible both ways between different texts.
    auto other = Copy(second);
    if (ZqXmlU_CompatibleURI(uri.data(), uri.data()) != 1) std::abort();
    const int forward = ZqXmlU_CompatibleURI(uri.data(), other.data());
    const int backward = ZqXmlU_CompatibleURI(other.data(), uri.data());
    if (first != second && forward == 1 && backward == 1) std::abort();
    return 0;
}
