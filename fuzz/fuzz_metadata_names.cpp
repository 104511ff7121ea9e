// Arbitrary paths through the sidecar and shrunk-name operations: no crash, the A and W forms
// agree, and every name is the one the path's pieces give (or NULL exactly when the path has no
// folder or no extension of 1 to 9 characters inside its file name).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "zqxmlu.h"

namespace {

template <typename S>
bool Pieces(const S& p, size_t minSlash, size_t& slash, size_t& dot) {
    const size_t L = p.size();
    slash = p.rfind('\\');
    if (slash == S::npos || slash < minSlash) return false;
    dot = S::npos;
    for (size_t i = L >= 2 ? L - 2 : 0; L >= 2 && i + 10 >= L; --i) {
        if (p[i] == '.') {
            dot = i;
            break;
        }
        if (i == 0) break;
    }
    return dot != S::npos && dot > slash;
}

template <typename S>
S Expected(const S& p, const S& infix, const S& extra, bool sidecar) {
    size_t slash, dot;
    if (!Pieces(p, sidecar ? 1 : 0, slash, dot)) return S(1, '?');
    if (sidecar)
        return p.substr(0, slash + 1) + S(1, '.') + p.substr(slash + 1, dot - slash - 1) + infix +
               p.substr(dot + 1);
    return p.substr(0, slash + 1) + infix + p.substr(slash + 1, dot - slash - 1) + extra +
           p.substr(dot);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return 0;
    std::string a;
    for (size_t i = 0; i < size && data[i]; ++i)
        a += static_cast<char>(data[i]);
    std::u16string w;
    for (char c : a)
        w += static_cast<char16_t>(static_cast<unsigned char>(c) | (c == 'W' ? 0xD800 : 0));

    char* sa = nullptr;
    ZqXmlU_GetSidecarNameA(a.data(), sa);
    const std::string expectA = Expected<std::string>(a, ".zq", "", true);
    if ((sa ? std::string(sa) : std::string("?")) != expectA) std::abort();
    void* v = sa;
    ZqXmlU_Free(&v);

    ZqWChar* sw = nullptr;
    ZqXmlU_GetSidecarNameW(w.data(), sw);
    if ((sw ? std::u16string(sw) : u"?") != Expected<std::u16string>(w, u".zq", u"", true))
        std::abort();
    v = sw;
    ZqXmlU_Free(&v);

    // A folder under /nonexistent holds no copies, so the first candidate is the name.
    std::u16string probe = u"\\nonexistent-zq-fuzz" + w;
    ZqWChar* shrunk = nullptr;
    ZqXmlU_GetShrunkNameW(probe.data(), shrunk);
    if ((shrunk ? std::u16string(shrunk) : u"?") !=
        Expected<std::u16string>(probe, u"s_", u"", false))
        std::abort();
    v = shrunk;
    ZqXmlU_Free(&v);
    return 0;
}
