// Shared XML strings and the output sink.
//
// A shared XML string is one heap allocation of size + 19 bytes: a 16-byte header (magic
// 0xDE435F12, tag, reference count, size), `size` bytes of text area and 3 spare bytes. The
// caller holds the text pointer (start + 16).
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "frame/tag.h"
#include "frame/xmlstring.h"
#include "platform/fmt.h"
#include "zqxmlu.h"

namespace {

constexpr uint32_t kMagic = zq::kSharedMagic;
constexpr size_t kHeader = zq::kSharedHeader;
constexpr size_t kSpare = zq::kSharedSpare;
constexpr int64_t kMaxSize = static_cast<int64_t>(zq::kMaxSharedSize);

struct Header {
    uint32_t magic;
    uint32_t tag;
    uint32_t refs;
    uint32_t size;
};

inline Header* HeaderOf(char* p) {
    return reinterpret_cast<Header*>(p - kHeader);
}

inline bool IsShared(char* p) {
    if (!p) return false;
    uint32_t magic;
    std::memcpy(&magic, p - kHeader, sizeof magic);
    return magic == kMagic;
}

char* AllocWithTagWord(uint32_t size, uint32_t tagWord) {
    auto* raw = static_cast<char*>(std::malloc(static_cast<size_t>(size) + kHeader + kSpare));
    if (!raw) return nullptr;
    auto* h = reinterpret_cast<Header*>(raw);
    h->magic = kMagic;
    h->tag = tagWord;
    h->refs = 1;
    h->size = size;
    std::memset(raw + kHeader, 0, size);
    return raw + kHeader;
}

// Appends formatted text to a sink. headroom: grow by a quarter of the text plus 4096 bytes
// beyond the need (else exactly to the need). Returns the bytes appended, the stream's result in
// stream mode, or -1 when nothing could be appended (encoding error, no heap for the growth).
int SinkWrite(ZQ_XML_STRUCT_T* sink, bool headroom, const char* format, va_list args) {
    if (!sink || !format) return -1;
    // The analyzer cannot see that a va_list parameter is initialised by the caller.
    if (sink->file)
        return std::vfprintf(sink->file, format,
                             args);  // NOLINT(clang-analyzer-valist.Uninitialized)

    const int length = sink->length;
    if (length < 0) return -1;
    const int capacity = sink->capacity;
    char* buffer = sink->buffer;

    // A buffer that only this sink holds is formatted into directly: when the text fits, that is
    // the whole write. Otherwise its NUL is restored and the text is measured as usual.
    int n = -1;
    if (buffer && capacity > 0 && length < capacity && IsShared(buffer) &&
        HeaderOf(buffer)->refs == 1) {
        va_list attempt;
        va_copy(attempt, args);
        const size_t room = static_cast<size_t>(capacity - length);
        n = std::vsnprintf(buffer + length, room, format,
                           attempt);  // NOLINT(clang-analyzer-valist.Uninitialized)
        va_end(attempt);
        if (n >= 0 && static_cast<size_t>(n) < room) {
            sink->length = length + n;
            return n;
        }
        buffer[length] = '\0';
    } else {
        va_list measure;
        va_copy(measure, args);
        n = zq::VMeasure(format, measure);
        va_end(measure);
    }
    if (n < 0) return -1;

    if (!buffer || static_cast<int64_t>(length) + n >= capacity) {
        int64_t grown = static_cast<int64_t>(length) + n + 1;
        if (headroom) grown = static_cast<int64_t>(length) + n + length / 4 + 4096;
        if (grown > INT_MAX || grown > kMaxSize) return -1;
        char* fresh;
        if (capacity != 0 && buffer && IsShared(buffer) && HeaderOf(buffer)->refs == 1) {
            // Only the sink holds the buffer: resizing it in place gives the same text, tag and
            // count as a fresh copy would, without copying a large document on every growth.
            fresh = ZqXmlU_xml_realloc(buffer, static_cast<uint32_t>(grown), nullptr);
            if (!fresh) return -1;
            std::memset(fresh + length, 0, static_cast<size_t>(grown - length));
        } else if (capacity != 0 && buffer) {
            fresh =
                AllocWithTagWord(static_cast<uint32_t>(grown),
                                 IsShared(buffer) ? HeaderOf(buffer)->tag : zq::TagWord(sink->tag));
            if (!fresh) return -1;
            std::memcpy(fresh, buffer, static_cast<size_t>(length));
            ZqXmlU_xml_free(buffer);
        } else {
            fresh = AllocWithTagWord(static_cast<uint32_t>(grown), zq::TagWord(sink->tag));
            if (!fresh) return -1;
        }
        sink->buffer = buffer = fresh;
        sink->capacity = static_cast<int>(grown);
    }
    const int written =
        zq::VFormatTo(buffer + length, static_cast<size_t>(sink->capacity - length), format, args);
    sink->length = length + written;
    return written;
}

}  // namespace

void* ZQ_CALL ZqXmlU_xml_alloc(unsigned size, char* tag) {
    if (static_cast<int64_t>(size) > kMaxSize) return nullptr;
    return AllocWithTagWord(size, zq::TagWord(tag));
}

void ZQ_CDECL ZqXmlU_sprintf(ZQ_XML_STRUCT_T* sink, const char* format, ...) {
    va_list args;
    va_start(args, format);
    SinkWrite(sink, false, format, args);
    va_end(args);
}

extern "C" {

char* ZQ_CALL ZqXmlU_xml_realloc(char* p, unsigned newSize, const char* tag) {
    if (!p) return static_cast<char*>(ZqXmlU_xml_alloc(newSize, const_cast<char*>(tag)));
    if (!IsShared(p) || static_cast<int64_t>(newSize) > kMaxSize) return nullptr;
    Header* h = HeaderOf(p);
    if (h->refs != 1) {
        char* fresh = AllocWithTagWord(newSize, zq::TagWord(tag));
        if (!fresh) return nullptr;
        // The text is copied up to its NUL (at most the old size); a text too long for the new
        // size is cut to newSize - 1 bytes.
        if (newSize > 0) {
            const size_t n = strnlen(p, h->size);
            const size_t keep = n < newSize ? n : newSize - 1;
            std::memcpy(fresh, p, keep);
            fresh[keep] = '\0';
        }
        ZqXmlU_xml_free(p);
        return fresh;
    }
    const uint32_t oldSize = h->size;
    auto* raw = static_cast<char*>(
        std::realloc(p - kHeader, static_cast<size_t>(newSize) + kHeader + kSpare));
    if (!raw) return nullptr;
    reinterpret_cast<Header*>(raw)->size = newSize;
    char* text = raw + kHeader;
    // A shrunk string stays NUL-terminated: a text that fits is unchanged by this, a text that
    // does not fit is cut (the spare bytes hold the NUL of an empty area).
    if (newSize < oldSize) text[newSize > 0 ? newSize - 1 : 0] = '\0';
    return text;
}

bool ZQ_CALL ZqXmlU_xml_free(char* p) {
    if (!IsShared(p)) return false;
    Header* h = HeaderOf(p);
    if (h->refs <= 1) {
        h->magic = 0;
        std::free(h);
    } else {
        --h->refs;
    }
    return true;
}

bool ZQ_CALL ZqXmlU_xml_inc(char* p) {
    if (!IsShared(p)) return false;
    ++HeaderOf(p)->refs;
    return true;
}

int ZQ_CDECL ZqXmlU_xml_sprintf(ZQ_XML_STRUCT_T* sink, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int n = SinkWrite(sink, true, format, args);
    va_end(args);
    return n;
}

}  // extern "C"
