// Arbitrary documents and values through ZqXmlU_FixParam, ZqXmlU_AddHistoryEntry and
// ZqXmlU_NeedsBinhex: no crash, documents unchanged whenever an editor reports failure, a repeated
// update that moves nothing, and Base64 that decodes to the de-escaped value. The same edits on a
// document that is not a shared XML string (a tagged block) never lose an edit silently: what
// would need growth is reported and leaves the document as it was.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "zqxmlu.h"

namespace {

char kTag[] = "fuzz";

// Fields separated by the byte 0xFF: document, name, attributes, value, anchor, entry.
std::vector<std::string> Fields(const uint8_t* data, size_t size) {
    std::vector<std::string> f(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0xFF) {
            f.emplace_back();
        } else if (data[i] != 0) {
            f.back() += static_cast<char>(data[i]);
        }
    }
    f.resize(6);
    return f;
}

char* Shared(const std::string& text) {
    auto* p = static_cast<char*>(ZqXmlU_xml_alloc(static_cast<unsigned>(text.size() + 1), kTag));
    std::memcpy(p, text.c_str(), text.size() + 1);
    return p;
}

std::vector<char> Writable(const std::string& s) {
    std::vector<char> v(s.begin(), s.end());
    v.push_back('\0');
    return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1 << 16)) return 0;
    const std::vector<std::string> f = Fields(data, size);
    std::vector<char> name = Writable(f[1]), attributes = Writable(f[2]), value = Writable(f[3]),
                      anchor = Writable(f[4]), entry = Writable(f[5]);

    char* doc = Shared(f[0]);
    const int r = ZqXmlU_FixParam(doc, name.data(), attributes.data(), value.data(),
                                  f[4].empty() ? nullptr : anchor.data());
    if (r != 0 && r != 3 && r != -1) std::abort();
    if (r != 0 && f[0] != doc) std::abort();
    // Setting the same value again leaves a document of the same length, when neither value nor
    // attributes hold markup that the name search could take for tags.
    const bool markupFree =
        f[2].find_first_of("<>") == std::string::npos &&
        f[3].find_first_of("<>") == std::string::npos &&
        f[1].find_first_not_of("abcdefghijklmnopqrstuvwxyz:_") == std::string::npos;
    if (r == 0 && markupFree) {
        const size_t before = std::strlen(doc);
        if (ZqXmlU_FixParam(doc, name.data(), attributes.data(), value.data(),
                            f[4].empty() ? nullptr : anchor.data()) != 0 ||
            std::strlen(doc) != before)
            std::abort();
    }
    ZqXmlU_xml_free(doc);

    doc = Shared(f[0]);
    const int h = ZqXmlU_AddHistoryEntry(doc, name.data(), nullptr, entry.data());
    if (h != 0 && h != 1) std::abort();
    if (h == 1 && f[0] != doc) std::abort();
    ZqXmlU_xml_free(doc);

    // A tagged block of exactly the text's size: edits in place only.
    for (int editor = 0; editor < 2; ++editor) {
        char* block = static_cast<char*>(ZqXmlU_Calloc(static_cast<int>(f[0].size() + 1), 1, kTag));
        std::memcpy(block, f[0].c_str(), f[0].size() + 1);
        char* held = block;
        const int e = editor ? ZqXmlU_AddHistoryEntry(held, name.data(), nullptr, entry.data())
                             : ZqXmlU_FixParam(held, name.data(), attributes.data(), value.data(),
                                               f[4].empty() ? nullptr : anchor.data());
        if (held != block || (editor && e != 1)) std::abort();
        if (e != 0 && f[0] != block) std::abort();
        if (e == 0 && std::strlen(block) != f[0].size()) std::abort();
        void* v = block;
        ZqXmlU_Free(&v);
    }

    // Base64 of the de-escaped value and its NUL, in a buffer of exactly the documented size.
    const size_t t = f[3].size();
    std::vector<char> plain(t + 11);
    char* out = plain.data();
    const int n = ZqXmlU_DeEscapeTextA(0, &out, value.data(), static_cast<ZqLong>(t + 10), kTag);
    std::vector<char> base64(4 * ((static_cast<size_t>(n) + 2) / 3) + 2);
    if (ZqXmlU_NeedsBinhex(value.data(), base64.data()) != 1) std::abort();
    std::vector<unsigned char> back(static_cast<size_t>(n) + 3);
    if (ZqXmlU_FromBase64(base64.data(), back.data(), static_cast<uint32_t>(back.size())) !=
            static_cast<uint32_t>(n) ||
        std::memcmp(back.data(), plain.data(), static_cast<size_t>(n)) != 0)
        std::abort();
    ZqXmlU_NeedsBinhex(value.data(), nullptr);
    return 0;
}
