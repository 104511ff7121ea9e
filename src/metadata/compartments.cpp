// Metadata compartments: the fixed table of compartment names and the copy of a sink's document.
#include <cstring>
#include <iterator>

#include "frame/xmlstring.h"
#include "zqxmlu.h"

namespace {

// Numbered by position; the number is the compartment's code in the interface.
constexpr const char* kCompartments[] = {"zqmd", "iptc",      "exif", "xmp", "id3",
                                         "stat", "photoshop", "mp3",  "none"};

}  // namespace

int ZQ_CALL ZqXmlU_WhichCompartment(char* name) {
    if (!name) return 0;
    for (int i = 0; i < static_cast<int>(std::size(kCompartments)); ++i) {
        if (std::strcmp(name, kCompartments[i]) == 0) return i;
    }
    return 0;  // unknown names share the number of "zqmd"
}

void ZQ_CALL ZqXmlU_SplitCompartments(ZQ_XML_STRUCT_T* document, char** copy,
                                      ZQ_KWLIST_STRUCT_T* /*unused*/) {
    if (!copy) return;
    *copy = nullptr;
    // The text as far as the sink's buffer records it: up to its NUL, at most `length` bytes.
    zq::SinkText held;
    if (!document || document->file || !zq::ReadSink(*document, held)) return;
    char* fresh = static_cast<char*>(
        ZqXmlU_xml_alloc(static_cast<unsigned>(held.length) + 1, const_cast<char*>(document->tag)));
    if (!fresh) return;
    if (held.buffer)  // the new string is zeroed already
        std::memcpy(fresh, held.buffer, strnlen(held.buffer, static_cast<size_t>(held.length)));
    *copy = fresh;
}
