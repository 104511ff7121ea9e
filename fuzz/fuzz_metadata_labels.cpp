// Arbitrary documents through ZqXmlU_MakeMsdisXml and ZqXmlU_ProcessExtractablePaths, each
// checked against a plain recursive walk written straight from the label format, every root
// walked on its own (the library walks a root nested in another only once): same packet, same
// results, same paths, and no write past the path buffer's size. The packet goes into a sink
// that is empty or already holds text, which it must keep in front.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "uri/namespace.h"
#include "zqxmlu.h"

namespace {

struct Leaf {
    std::string path;
    int kind;
};

// The walk as the format describes it, recursion and all.
long Walk(const char* text, std::vector<Leaf>& out, int kind, char* path, size_t size, bool root) {
    if (std::strncmp(text, "</Word>", 7) == 0) return 7;
    if (text[0] != '<') return -1;
    const char* q = std::strchr(text, '"');
    if (!q || q - text < 6 || std::memcmp(q - 6, "title=", 6) != 0) return -1;
    const char* c = std::strchr(q + 1, '"');
    if (!c) return -1;
    const size_t t = static_cast<size_t>(c - q - 1);
    const size_t n = strnlen(path, size);
    if (!root && t > 0 && n + 1 < size) {
        std::string add = "/" + std::string(q + 1, t);
        add.resize(std::min(add.size(), size - (n + 1)));
        for (char& ch : add)
            if (ch == '\x01') ch = '"';
        std::memcpy(path + n, add.data(), add.size());
        path[n + add.size()] = '\0';
    }
    auto cut = [&] {
        if (n < size) path[n] = '\0';
    };
    if (std::strncmp(c + 1, "></Word>", 8) == 0) {
        if (!root) out.push_back({std::string(path, strnlen(path, size)), kind});
        cut();
        return (c - text) + 9;
    }
    long pos = (c - text) + (c[1] ? 2 : 1);
    for (;;) {
        const long r = Walk(text + pos, out, kind, path, size, false);
        if (r == -1) return pos;
        pos += r;
        if (std::strncmp(text + pos, "</Word>", 7) == 0) {
            cut();
            return pos + 7;
        }
    }
}

std::string ReferencePacket(std::string doc) {
    std::string s;
    for (size_t i = 0; i < doc.size(); ++i) {
        if (doc[i] == '\r' || doc[i] == '\n') {
            if (i + 1 >= doc.size()) break;
            ++i;
            continue;
        }
        s += doc[i];
    }
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '"') continue;
        const bool opens = i > 0 && s[i - 1] == '=';
        const bool closes = i + 2 < s.size() && s[i + 1] == '>' && s[i + 2] == '<';
        if (!opens && !closes) s[i] = '\x01';
    }
    if (s.size() < 9 || s.compare(0, 8, "<Labels>") != 0 ||
        s.compare(s.size() - 9, 9, "</Labels>") != 0)
        return "";
    static const char* const kRoots[] = {"KeywordRoot", "PeopleRoot", "LocationRoot", "EventRoot",
                                         "SyncRoot"};
    std::vector<Leaf> leaves;
    std::vector<char> path(s.size() + 1, '\0');
    for (size_t i = 8; i < s.size(); ++i) {
        if (s.compare(i, 13, "<Word title=\"") != 0) continue;
        path[0] = '\0';
        for (int k = 0; k < 5; ++k) {
            const std::string tag = std::string("<Word title=\"") + kRoots[k] + "\">";
            if (s.compare(i, tag.size(), tag) == 0)
                Walk(s.c_str() + i, leaves, k + 1, path.data(), s.size() - i, true);
        }
    }
    std::string out = std::string("<x:xmpmeta xmlns:x='adobe:ns:meta/'>\n<rdf:RDF xmlns:zq='") +
                      zq::kNamespaceBase +
                      "/z/q/in/zqinc/zq_01_001.zqtv' "
                      "xmlns:Iptc4xmpCore='http://iptc.org/std/Iptc4xmpCore/1.0/xmlns/' "
                      "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>\n"
                      "<rdf:Description about=\"\">\n<Iptc4xmpCore:Keywords><rdf:Bag>\n";
    static const char* const kPrefix[] = {"", "People", "Places", "Events", "Sync"};
    for (const Leaf& l : leaves) {
        const std::string p = l.kind == 1 && !l.path.empty() ? l.path.substr(1) : l.path;
        out += "<rdf:li>" + std::string(kPrefix[l.kind - 1]) + p + "</rdf:li>\n";
    }
    return out + "</rdf:Bag></Iptc4xmpCore:Keywords>\n</rdf:Description>\n</rdf:RDF></x:xmpmeta>\n";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > (1 << 16)) return 0;
    // The document is the text up to the first NUL.
    const std::string doc(reinterpret_cast<const char*>(data),
                          strnlen(reinterpret_cast<const char*>(data), size));

    std::vector<char> labels(doc.begin(), doc.end());
    labels.push_back('\0');
    ZQ_XML_STRUCT_T sink{};
    const std::string prior = data[0] & 0x80 ? "prior" : "";
    if (!prior.empty()) ZqXmlU_sprintf(&sink, "%s", prior.c_str());
    ZqXmlU_MakeMsdisXml(labels.data(), &sink);
    const std::string packet =
        sink.buffer ? std::string(sink.buffer, static_cast<size_t>(sink.length)) : "";
    ZqXmlU_xml_free(sink.buffer);
    if (packet != prior + ReferencePacket(doc)) std::abort();

    // The walk from the second byte; the first picks a path buffer of 0 to 63 bytes holding "/p"
    // or less, and whether the label is walked as a root.
    const std::string text = doc.empty() ? "" : doc.substr(1);
    const size_t pathSize = data[0] % 64;
    char none = '\0';
    std::vector<char> path(pathSize), refPath(pathSize + 1, '\0');
    if (pathSize > 0) std::strncpy(path.data(), "/p", pathSize);
    if (pathSize > 0) std::memcpy(refPath.data(), path.data(), pathSize);
    ZQ_KWLIST_STRUCT_T list{};
    const int isRoot = data[0] & 0x40 ? 1 : 0;
    const int r = ZqXmlU_ProcessExtractablePaths(const_cast<char*>(text.c_str()), &list, 7,
                                                 pathSize ? path.data() : &none,
                                                 static_cast<int>(pathSize), isRoot);
    std::vector<Leaf> leaves;
    const long expected = Walk(text.c_str(), leaves, 7, refPath.data(), pathSize, isRoot != 0);
    if (r != expected || list.count != static_cast<int>(leaves.size())) std::abort();
    for (int i = 0; i < list.count; ++i) {
        if (leaves[static_cast<size_t>(i)].path != reinterpret_cast<const char*>(list.keys[i]) ||
            list.values[i] != 7)
            std::abort();
    }
    if (pathSize > 0 && std::memcmp(path.data(), refPath.data(), pathSize) != 0) std::abort();
    ZqXmlU_FreeKwAllocList(&list);
    return 0;
}
