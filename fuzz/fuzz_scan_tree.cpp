// The element tree of arbitrary text: 1 or -1, items no longer than 64 characters, at most one
// item per "<", every finished walk leaving each item expanded once.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "zqxmlu.h"
#include "zqxmlu_treectrl.h"

namespace {

char kTag[] = "fuzz";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const size_t length = std::strlen(text.c_str());

    ZQ_XML_STRUCT_T sink{};
    sink.buffer = static_cast<char*>(ZqXmlU_xml_alloc(static_cast<unsigned>(length + 1), kTag));
    std::memcpy(sink.buffer, text.c_str(), length);
    sink.length = static_cast<int>(length);
    sink.capacity = sink.length + 1;

    CTreeCtrl tree;
    const int r = ZqXmlU_XmlToTree(&sink, &tree, TVI_ROOT, 0, 0);
    if (r != 1 && r != -1) std::abort();
    size_t opens = 0;
    for (size_t i = 0; i < length; ++i)
        opens += sink.buffer[i] == '<';
    if (tree.GetCount() > opens) std::abort();

    // Walk every item without recursion.
    HTREEITEM item = tree.GetRootItem();
    while (item) {
        if (item->text.size() > 64) std::abort();
        if (r == 1 && item->expandMessages != 1) std::abort();
        if (HTREEITEM child = tree.GetChildItem(item)) {
            item = child;
            continue;
        }
        while (item && !tree.GetNextSiblingItem(item))
            item = tree.GetParentItem(item);
        if (item) item = tree.GetNextSiblingItem(item);
    }
    ZqXmlU_xml_free(sink.buffer);
    return 0;
}
