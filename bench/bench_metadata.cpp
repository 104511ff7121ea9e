// Metadata: a label document of 10 and 20 MiB to its XMP keyword packet with ZqXmlU_MakeMsdisXml,
// beside a plain pugixml program making the same packet (a minimal in-place parse, the walk, the
// bag lines into a string), libxml2's xmlReadMemory of the same document (the parse alone, no
// packet), and the peak memory of one conversion.
//
// Every large block here comes fresh from the kernel and goes back on release (a fixed mmap
// threshold of 128 KiB), for the library and for libxml2 alike: in the host a conversion is a
// one-off, and glibc's sliding threshold would otherwise keep the 10 MiB case's blocks warm
// between rounds while the 20 MiB case's sink (over 32 MiB) is always fresh, which measures the
// allocator's policy rather than the conversion. Set ZQ_BENCH_WARM_HEAP=1 to keep glibc's default.
#include <benchmark/benchmark.h>
#include <libxml/parser.h>
#include <malloc.h>

#include <pugixml.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "corpus.h"
#include "memory.h"
#include "zqxmlu.h"

namespace {

char kTag[] = "bnch";

const bool kFreshPages = [] {
    const char* warm = std::getenv("ZQ_BENCH_WARM_HEAP");
    if (warm && warm[0] == '1') return false;
    return mallopt(M_MMAP_THRESHOLD, 128 << 10) == 1;
}();

// About `bytes` of label document: the five roots, each a tree up to six levels deep of labels
// titled with words (some non-ASCII) and numbers, one label a line, CR LF line ends.
std::string LabelDocument(size_t bytes) {
    static const char* const kRoots[] = {"KeywordRoot", "PeopleRoot", "LocationRoot", "EventRoot",
                                         "SyncRoot"};
    static const char* const kWords[] = {"Summer",      "Lake",     "Z\xC3\xBCrich",
                                         "Family",      "Birthday", "Mountains",
                                         "Caf\xC3\xA9", "Beach",    "\xE6\x9D\xB1\xE4\xBA\xAC",
                                         "Garden"};
    zqbench::Rng rng;
    std::string doc = "<Labels>\r\n";
    doc.reserve(bytes + 4096);
    const size_t perRoot = bytes / 5;
    for (const char* root : kRoots) {
        doc += std::string("<Word title=\"") + root + "\">\r\n";
        const size_t stop = doc.size() + perRoot;
        int depth = 0;
        while (doc.size() < stop) {
            std::string title = kWords[rng.Below(10)];
            title += ' ';
            title += std::to_string(rng.Below(1000));
            if (depth < 5 && rng.Below(4) == 0) {
                doc += "<Word title=\"" + title + "\">\r\n";
                ++depth;
            } else {
                doc += "<Word title=\"" + title + "\"></Word>\r\n";
                if (depth > 0 && rng.Below(3) == 0) {
                    doc += "</Word>\r\n";
                    --depth;
                }
            }
        }
        for (doc += "<Word title=\"last\"></Word>\r\n"; depth > 0; --depth)
            doc += "</Word>\r\n";
        doc += "</Word>\r\n";
    }
    return doc + "</Labels>\r\n";
}

const std::string& Document(int mib) {
    static const std::string ten = LabelDocument(10u << 20);
    static const std::string twenty = LabelDocument(20u << 20);
    return mib == 10 ? ten : twenty;
}

void BM_MakeMsdisXml_ZqXmlU(benchmark::State& state) {
    const std::string& doc = Document(static_cast<int>(state.range(0)));
    std::vector<char> work(doc.size() + 1);
    int64_t packet = 0;
    while (state.KeepRunning()) {
        state.PauseTiming();  // the conversion works in place: every round gets a fresh copy
        std::memcpy(work.data(), doc.c_str(), doc.size() + 1);
        state.ResumeTiming();
        ZQ_XML_STRUCT_T sink{};
        sink.tag = kTag;
        ZqXmlU_MakeMsdisXml(work.data(), &sink);
        packet = sink.length;
        ZqXmlU_xml_free(sink.buffer);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.size()));
    state.counters["packet_bytes"] = static_cast<double>(packet);
    state.counters["fresh_pages"] = kFreshPages ? 1 : 0;
}

// The packet made by a plain pugixml program: parse in place with parse_minimal (no entity
// decoding, as the library copies titles unescaped), walk each root's labels, and write one bag
// line per leaf. Byte for byte the library's packet for the benchmark's documents.
constexpr char kPacketHead[] =
    "<x:xmpmeta xmlns:x='adobe:ns:meta/'>\n<rdf:RDF "
    "xmlns:zq='http://ns.zq.example/xml/z/q/in/zqinc/zq_01_001.zqtv' "
    "xmlns:Iptc4xmpCore='http://iptc.org/std/Iptc4xmpCore/1.0/xmlns/' "
    "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>\n"
    "<rdf:Description about=\"\">\n<Iptc4xmpCore:Keywords><rdf:Bag>\n";
constexpr char kPacketTail[] =
    "</rdf:Bag></Iptc4xmpCore:Keywords>\n</rdf:Description>\n</rdf:RDF></x:xmpmeta>\n";

void PugixmlLeaves(const pugi::xml_node label, std::string& path, const char* prefix, size_t skip,
                   std::string& out) {
    for (const pugi::xml_node child : label.children("Word")) {
        const size_t n = path.size();
        const char* title = child.first_attribute().value();
        if (*title) {
            path += '/';
            path += title;
        }
        if (child.first_child()) {
            PugixmlLeaves(child, path, prefix, skip, out);
        } else {
            out += "<rdf:li>";
            out += prefix;
            out.append(path, std::min(skip, path.size()));
            out += "</rdf:li>\n";
        }
        path.resize(n);
    }
}

std::string PugixmlPacket(char* work, size_t size) {
    static const char* const kRoots[] = {"KeywordRoot", "PeopleRoot", "LocationRoot", "EventRoot",
                                         "SyncRoot"};
    static const char* const kPrefixes[] = {"", "People", "Places", "Events", "Sync"};
    pugi::xml_document parsed;
    if (!parsed.load_buffer_inplace(work, size, pugi::parse_minimal, pugi::encoding_utf8))
        return std::string();
    std::string out = kPacketHead;
    std::string path;
    for (const pugi::xml_node root : parsed.child("Labels").children("Word")) {
        const char* title = root.first_attribute().value();
        for (size_t k = 0; k < 5; ++k) {
            if (std::strcmp(title, kRoots[k]) == 0)
                PugixmlLeaves(root, path, kPrefixes[k], k == 0 ? 1 : 0, out);
        }
    }
    return out + kPacketTail;
}

void BM_MakeMsdisXml_pugixml(benchmark::State& state) {
    const std::string& doc = Document(static_cast<int>(state.range(0)));
    std::vector<char> work(doc.size() + 1);
    {
        // The same packet as the library's, or the comparison is void.
        std::memcpy(work.data(), doc.c_str(), doc.size() + 1);
        const std::string mine = PugixmlPacket(work.data(), doc.size());
        std::memcpy(work.data(), doc.c_str(), doc.size() + 1);
        ZQ_XML_STRUCT_T sink{};
        sink.tag = kTag;
        ZqXmlU_MakeMsdisXml(work.data(), &sink);
        if (mine != std::string(sink.buffer ? sink.buffer : "", static_cast<size_t>(sink.length)))
            state.SkipWithError("pugixml's packet differs from the library's");
        ZqXmlU_xml_free(sink.buffer);
    }
    int64_t packet = 0;
    while (state.KeepRunning()) {
        state.PauseTiming();  // a fresh copy for the in-place parse, as for the library
        std::memcpy(work.data(), doc.c_str(), doc.size() + 1);
        state.ResumeTiming();
        const std::string out = PugixmlPacket(work.data(), doc.size());
        packet = static_cast<int64_t>(out.size());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.size()));
    state.counters["packet_bytes"] = static_cast<double>(packet);
}

void BM_MakeMsdisXml_libxml2_xmlReadMemory(benchmark::State& state) {
    const std::string& doc = Document(static_cast<int>(state.range(0)));
    while (state.KeepRunning()) {
        xmlDoc* parsed = xmlReadMemory(doc.data(), static_cast<int>(doc.size()), "labels.xml",
                                       nullptr, XML_PARSE_NONET | XML_PARSE_HUGE);
        benchmark::DoNotOptimize(parsed);
        xmlFreeDoc(parsed);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.size()));
}

// One conversion of the 10 MiB document: the peak resident memory it adds beyond the document's
// own copy, and that plus the copy (the whole cost of a conversion), in multiples of the
// document's size.
void BM_MakeMsdisXml_PeakMemory(benchmark::State& state) {
    const std::string& doc = Document(static_cast<int>(state.range(0)));
    while (state.KeepRunning()) {
        std::vector<char> work(doc.c_str(), doc.c_str() + doc.size() + 1);
        const size_t withDocument = zqbench::StatusBytes("VmRSS:");
        zqbench::ResetPeak();  // peak := current
        ZQ_XML_STRUCT_T sink{};
        sink.tag = kTag;
        ZqXmlU_MakeMsdisXml(work.data(), &sink);
        const size_t peak = zqbench::StatusBytes("VmHWM:");
        ZqXmlU_xml_free(sink.buffer);
        const double size = static_cast<double>(doc.size());
        state.counters["peak_added_x_doc"] =
            static_cast<double>(peak > withDocument ? peak - withDocument : 0) / size;
        state.counters["peak_with_doc_x_doc"] = state.counters["peak_added_x_doc"] + 1.0;
        state.counters["packet_x_doc"] = sink.length / size;
    }
}

}  // namespace

BENCHMARK(BM_MakeMsdisXml_ZqXmlU)->Arg(10)->Arg(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MakeMsdisXml_pugixml)->Arg(10)->Arg(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MakeMsdisXml_libxml2_xmlReadMemory)->Arg(10)->Arg(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MakeMsdisXml_PeakMemory)->Arg(10)->Iterations(1)->Unit(benchmark::kMillisecond);
