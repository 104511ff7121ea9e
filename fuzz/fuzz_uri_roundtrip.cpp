// Make a vocabulary URI from arbitrary parts and decode it again: the decoder gives back the
// user, name, versions and variant, and the user readers agree with the base of that user.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "uri/namespace.h"
#include "zqxmlu.h"

namespace {

std::vector<char> Copy(const std::string& s) {
    std::vector<char> v(s.begin(), s.end());
    v.push_back('\0');
    return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 6 || size > 512) return 0;
    const size_t userLength = 1 + data[0] % 64;
    const int major = data[1] % 100;
    const int minor = (data[2] | data[3] << 8) % 1000;
    char variant = static_cast<char>(data[4]);
    if (variant == '.') variant = 0;  // a '.' after the extension would be the last dot
    if (size - 5 < userLength) return 0;
    // Users hold no '/', '.' or NUL; names hold no '/' or NUL.
    std::string user(reinterpret_cast<const char*>(data + 5), userLength);
    for (char& c : user)
        if (c == '/' || c == '.' || c == '\0') c = 'u';
    std::string name(reinterpret_cast<const char*>(data + 5 + userLength), size - 5 - userLength);
    for (char& c : name)
        if (c == '/' || c == '\0') c = 'n';

    auto u = Copy(user);
    const size_t bound = user.size() + zq::kNamespaceBaseLength + 4 + name.size() + 32;
    std::vector<char> uri(bound + 1);
    if (ZqXmlU_MakeUri(u.data(), name.c_str(), major, minor, uri.data(), static_cast<int>(bound),
                       variant) != 1) {
        std::abort();  // a destination of exactly the bound is refused
    }
    if (ZqXmlU_MakeUri(u.data(), name.c_str(), major, minor, uri.data(),
                       static_cast<int>(uri.size()), variant) != 0) {
        std::abort();
    }

    int underscore = 0, gotMinor = -1, gotVariant = -1;
    ZqLong gotMajor = -1;
    char gotName[65], gotUser[65];
    if (ZqXmlU_GetURIInfo(uri.data(), underscore, gotMinor, &gotMajor, gotName, gotUser,
                          &gotVariant) != 1) {
        std::abort();
    }
    const int expectedVariant = variant == 'm' ? 1 : variant == 'q' ? 2 : 0;
    if (gotMajor != major || gotMinor != minor || gotVariant != expectedVariant) std::abort();
    if (gotName != (name.size() <= 62 ? name : std::string())) std::abort();
    if (gotUser != (user.size() <= 63 ? user : std::string())) std::abort();

    char owner[65];
    ZqXmlU_GetUserName(uri.data(), owner);
    if (variant != '/' && owner != user) std::abort();

    ZQ_KWLIST_STRUCT_T bases{};
    ZqXmlU_MakeUriBase(u.data(), &bases, 1);
    char listed[65];
    ZqXmlU_GetUsernameI(&bases, 0, listed, sizeof listed);
    if (listed != (user.size() <= 63 ? user : std::string())) std::abort();
    // A vocabulary URI of the user zq is in the letter form, which the base "/zq/" is not.
    if (ZqXmlU_IsUserOwned(uri.data(), &bases) != (user == "zq" ? -1 : 0)) std::abort();
    ZqXmlU_FreeKwAllocList(&bases);

    if (minor < 999) {
        std::vector<char> next(uri.size());
        ZqXmlU_MakeUri(u.data(), name.c_str(), major, minor + 1, next.data(),
                       static_cast<int>(next.size()), variant);
        if (ZqXmlU_CompatibleURI(uri.data(), next.data()) != 1) std::abort();
        if (ZqXmlU_CompatibleURI(next.data(), uri.data()) != 0) std::abort();
    }
    return 0;
}
