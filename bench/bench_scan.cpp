// Document scanning: the substring search beside glibc strstr, the element end beside a libxml2
// parse and a pugixml minimal in-place parse of the same document, and list items beside a
// libxml2 and a pugixml parse that collect them.
//
// pugixml parses in place, so each of its rounds gets a fresh copy of the document; the copy is
// made with the timer paused (as for the library's in-place conversion in bench_metadata), and
// BM_CopyDocument states what it would add.
#include <benchmark/benchmark.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <pugixml.hpp>

#include <cstring>
#include <string>
#include <vector>

#include "corpus.h"
#include "zqxmlu.h"

namespace {

char kTag[] = "bnch";

// 1 MiB of prose with one occurrence of the needle, at the end. The needle starts like a word
// of the prose, so its first characters match often.
constexpr char kNeedle[] = "riverbank";

const std::string& Haystack() {
    static const std::string text = zqbench::MixedUtf8(1 << 20) + kNeedle;
    return text;
}

constexpr char kNamespaces[] =
    "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#' "
    "xmlns:dc='http://purl.org/dc/elements/1.1/' xmlns:exif='http://ns.adobe.com/exif/1.0/' "
    "xmlns:zq='http://ns.zq.example/xml'>";

// A metadata document of about 1 MiB: descriptions with attributes, comments, nested lists.
const std::string& Document() {
    static const std::string doc = [] {
        zqbench::Rng rng;
        std::string s = std::string("<x:xmpmeta xmlns:x='adobe:ns:meta/'>") + kNamespaces;
        while (s.size() < (1u << 20)) {
            s += "<rdf:Description rdf:about='' zq:id=\"" + std::to_string(rng.Next()) + "\">";
            s += "<!-- revision " + std::to_string(rng.Below(100)) + " -->";
            s += "<dc:subject><rdf:Bag>";
            for (uint32_t i = rng.Below(8) + 1; i > 0; --i)
                s += "<rdf:li>" + zqbench::MixedUtf8(8 + rng.Below(24)) + "</rdf:li>";
            s += "</rdf:Bag></dc:subject><exif:Flash rdf:parseType='Resource'/>";
            s += "<zq:note>a &amp; b &lt; c</zq:note></rdf:Description>\n";
        }
        return s + "</rdf:RDF></x:xmpmeta>";
    }();
    return doc;
}

// A list of 10,000 items inside a small document.
const std::string& ListDocument() {
    static const std::string doc = [] {
        zqbench::Rng rng;
        std::string s = std::string(kNamespaces) + "<rdf:Description><dc:subject><rdf:Bag>";
        for (int i = 0; i < 10000; ++i)
            s += "<rdf:li>keyword " + std::to_string(rng.Below(100000)) + "</rdf:li>";
        return s + "</rdf:Bag></dc:subject></rdf:Description></rdf:RDF>";
    }();
    return doc;
}

void BM_FindSubstring_ZqXmlU(benchmark::State& state) {
    std::string text = Haystack();
    char needle[] = "riverbank";
    for ([[maybe_unused]] auto _ : state)
        benchmark::DoNotOptimize(ZqXmlU_FindSubstring(text.data(), needle));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_FindSubstring_strstr(benchmark::State& state) {
    const std::string& text = Haystack();
    const char* needle = kNeedle;
    for ([[maybe_unused]] auto _ : state) {
        benchmark::DoNotOptimize(needle);
        benchmark::DoNotOptimize(std::strstr(text.c_str(), needle));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_FindXmlEnd_ZqXmlU(benchmark::State& state) {
    std::string doc = Document();
    if (ZqXmlU_FindXmlEnd(doc.data()) != static_cast<ZqLong>(doc.size() - 1))
        state.SkipWithError("the document does not end where expected");
    for ([[maybe_unused]] auto _ : state)
        benchmark::DoNotOptimize(ZqXmlU_FindXmlEnd(doc.data()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.size()));
}

void BM_FindXmlEnd_libxml2ReadMemory(benchmark::State& state) {
    const std::string& doc = Document();
    for ([[maybe_unused]] auto _ : state) {
        xmlDocPtr parsed = xmlReadMemory(doc.data(), static_cast<int>(doc.size()), "bench.xml",
                                         nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR);
        if (!parsed) state.SkipWithError("libxml2 rejected the document");
        benchmark::DoNotOptimize(parsed);
        xmlFreeDoc(parsed);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.size()));
}

// pugixml's minimal in-place parse of a fresh copy of doc in work, the copy made with the timer
// paused.
bool PugixmlParse(benchmark::State& state, const std::string& doc, std::vector<char>& work,
                  pugi::xml_document& parsed) {
    state.PauseTiming();
    std::memcpy(work.data(), doc.c_str(), doc.size() + 1);
    state.ResumeTiming();
    return static_cast<bool>(parsed.load_buffer_inplace(work.data(), doc.size(),
                                                        pugi::parse_minimal, pugi::encoding_utf8));
}

void BM_FindXmlEnd_pugixmlMinimalInPlace(benchmark::State& state) {
    const std::string& doc = Document();
    std::vector<char> work(doc.size() + 1);
    for ([[maybe_unused]] auto _ : state) {
        pugi::xml_document parsed;
        if (!PugixmlParse(state, doc, work, parsed))
            state.SkipWithError("pugixml rejected the document");
        benchmark::DoNotOptimize(parsed.first_child());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.size()));
}

// The fresh copy pugixml's rounds take outside the timer.
void BM_CopyDocument(benchmark::State& state) {
    const std::string& doc = Document();
    std::vector<char> work(doc.size() + 1);
    for ([[maybe_unused]] auto _ : state) {
        std::memcpy(work.data(), doc.c_str(), doc.size() + 1);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.size()));
}

void BM_ListItems_ZqXmlU(benchmark::State& state) {
    std::string doc = ListDocument();
    char name[] = "dc:subject";
    for ([[maybe_unused]] auto _ : state) {
        ZQ_KWLIST_STRUCT_T items{};
        ZqXmlU_GetElementContents(doc.data(), name, nullptr, &items, 2, 0, 0, kTag);
        if (items.count != 10000) state.SkipWithError("wrong item count");
        ZqXmlU_FreeKwAllocList(&items);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * 10000));
}

void CollectItems(xmlNodePtr node, std::vector<std::string>& out) {
    for (; node; node = node->next) {
        if (node->type != XML_ELEMENT_NODE) continue;
        if (std::strcmp(reinterpret_cast<const char*>(node->name), "li") == 0) {
            xmlChar* text = xmlNodeGetContent(node);
            out.emplace_back(reinterpret_cast<const char*>(text));
            xmlFree(text);
        } else {
            CollectItems(node->children, out);
        }
    }
}

void BM_ListItems_libxml2(benchmark::State& state) {
    const std::string& doc = ListDocument();
    for ([[maybe_unused]] auto _ : state) {
        xmlDocPtr parsed = xmlReadMemory(doc.data(), static_cast<int>(doc.size()), "bench.xml",
                                         nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR);
        std::vector<std::string> items;
        CollectItems(xmlDocGetRootElement(parsed), items);
        if (items.size() != 10000) state.SkipWithError("wrong item count");
        xmlFreeDoc(parsed);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * 10000));
}

// pugixml: a minimal in-place parse of a fresh copy, then the items' texts copied out.
void BM_ListItems_pugixml(benchmark::State& state) {
    const std::string& doc = ListDocument();
    std::vector<char> work(doc.size() + 1);
    for ([[maybe_unused]] auto _ : state) {
        pugi::xml_document parsed;
        PugixmlParse(state, doc, work, parsed);
        std::vector<std::string> items;
        const pugi::xml_node bag =
            parsed.child("rdf:RDF").child("rdf:Description").child("dc:subject").child("rdf:Bag");
        for (const pugi::xml_node li : bag.children("rdf:li"))
            items.emplace_back(li.child_value());
        if (items.size() != 10000) state.SkipWithError("wrong item count");
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * 10000));
}

}  // namespace

BENCHMARK(BM_FindSubstring_ZqXmlU);
BENCHMARK(BM_FindSubstring_strstr);
BENCHMARK(BM_FindXmlEnd_ZqXmlU);
BENCHMARK(BM_FindXmlEnd_libxml2ReadMemory);
BENCHMARK(BM_FindXmlEnd_pugixmlMinimalInPlace);
BENCHMARK(BM_CopyDocument);
BENCHMARK(BM_ListItems_ZqXmlU);
BENCHMARK(BM_ListItems_libxml2);
BENCHMARK(BM_ListItems_pugixml);
