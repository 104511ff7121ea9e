// The comment of readable strings on arbitrary data: it stays inside the room it made (whatever
// capacity the caller states: the document's own header bounds it), and no string can close or
// open a comment. Also the whole-file read of the same data, into a lent buffer of arbitrary
// size.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "frame/xmlstring.h"
#include "zqxmlu.h"

namespace {

char kTag[] = "fuzz";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const unsigned offset = in.ConsumeIntegralInRange<unsigned>(0, 64);
    const unsigned extra = in.ConsumeIntegralInRange<unsigned>(0, 64);
    const int stale = in.ConsumeIntegralInRange<int>(-64, 100000);  // added to the capacity
    const size_t lent = in.ConsumeIntegralInRange<size_t>(0, 5000);
    const std::vector<uint8_t> block = in.ConsumeRemainingBytes<uint8_t>();
    if (block.size() > (1u << 20)) return 0;

    // Exactly dataLen bytes, so that a read past the block is reported.
    auto* bytes = static_cast<unsigned char*>(std::malloc(block.size() + 1));
    if (!block.empty()) std::memcpy(bytes, block.data(), block.size());
    bytes[block.size()] = 0;
    const auto dataLen = static_cast<unsigned>(block.size());

    const unsigned recorded = offset + extra;
    unsigned capacity = stale < 0 && static_cast<unsigned>(-stale) > recorded
                            ? 0
                            : recorded + static_cast<unsigned>(stale);
    char* document = static_cast<char*>(ZqXmlU_xml_alloc(recorded, kTag));
    char* writePos = document + offset;
    char* r = ZqXmlU_ExtractComment(bytes, writePos, document, capacity, dataLen);
    if (r == writePos && writePos == document + offset) {  // refused: a position past the capacity
        if (offset <= std::min(capacity, recorded) || document[offset] != '\0') std::abort();
        ZqXmlU_xml_free(document);
        std::free(bytes);
        return 0;
    }
    char* start = document + offset;
    const std::string comment(start, writePos);
    if (r != start && r != writePos) std::abort();
    if (static_cast<size_t>(writePos - document) >= std::min(capacity, zq::SharedSize(document)) ||
        *writePos != '\0')
        std::abort();
    if (comment.compare(0, 5, "<!-- ") != 0 || comment.size() < 12 ||
        comment.compare(comment.size() - 7, 7, " -->\n\t\t") != 0) {
        std::abort();
    }
    const std::string body = comment.substr(4, comment.size() - 11);
    if (body.find("-->") != std::string::npos || body.find("<!--") != std::string::npos)
        std::abort();
    ZqXmlU_xml_free(document);

    // The same bytes as a file.
    FILE* file = fmemopen(bytes, block.size() ? block.size() : 1, "rb");
    if (file && block.empty()) std::fgetc(file);  // an empty file: at its end
    if (file) {
        std::vector<char> lentBlock(lent ? lent : 1);
        char* buffer = lent ? lentBlock.data() : nullptr;
        unsigned cap = static_cast<unsigned>(lent);
        int owned = 0;
        ZqXmlU_FileToBuf(file, buffer, cap, owned);
        if (block.size() + 1 >= cap || buffer[block.size()] != '\0' ||
            (!block.empty() && std::memcmp(buffer, block.data(), block.size()) != 0)) {
            std::abort();
        }
        if (owned) {
            void* p = buffer;
            ZqXmlU_Free(&p);
        }
        std::fclose(file);
    }
    std::free(bytes);
    return 0;
}
