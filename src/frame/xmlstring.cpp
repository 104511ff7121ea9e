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

#include "frame/size.h"
#include "frame/tag.h"
#include "frame/xmlstring.h"
#include "platform/simd.h"
#include "zqxmlu.h"

namespace {

constexpr uint32_t kMagic = zq::kSharedMagic;
constexpr size_t kHeader = zq::kSharedHeader;
constexpr size_t kSpare = zq::kSharedSpare;
static_assert(zq::kMaxPayload + kHeader + kSpare <= UINT32_MAX, "an allocation fits any size_t");

// Formatted text that fits this local buffer is not taken from the heap.
constexpr size_t kLocalPiece = 1024;

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
    uint32_t size = 0;
    return zq::SharedSizeOf(p, size);
}

// clear: zero the text area (else only its first byte and the spare byte after it).
char* AllocWithTagWord(uint64_t size, uint32_t tagWord, bool clear = true) {
    if (zq::PayloadBytes(size, 1) == zq::kTooLarge) return nullptr;
    auto* raw = static_cast<char*>(std::malloc(static_cast<size_t>(size) + kHeader + kSpare));
    if (!raw) return nullptr;
    auto* h = reinterpret_cast<Header*>(raw);
    h->magic = kMagic;
    h->tag = tagWord;
    h->refs = 1;
    h->size = static_cast<uint32_t>(size);
    // The text area is zeroed, and the first spare byte ends even a full (or empty) area.
    if (clear) {
        std::memset(raw + kHeader, 0, static_cast<size_t>(size) + 1);
    } else {
        raw[kHeader] = '\0';
        raw[kHeader + size] = '\0';
    }
    return raw + kHeader;
}

// The formatted text of one write, made before the sink's buffer is touched: arguments taken from
// the sink's own text are read while it is whole and in place. Short texts live in a local
// buffer, longer ones on the heap.
class Piece {
  public:
    Piece() = default;
    Piece(const Piece&) = delete;
    Piece& operator=(const Piece&) = delete;
    ~Piece() { std::free(heap_); }

    // false on a format error or when the heap cannot hold the text.
    bool Format(const char* format, va_list args) {
        va_list first;
        va_copy(first, args);
        // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized): initialised by the caller
        length_ = std::vsnprintf(local_, sizeof local_, format, first);
        va_end(first);
        if (length_ < 0) return false;
        if (static_cast<size_t>(length_) < sizeof local_) return true;
        heap_ = static_cast<char*>(std::malloc(static_cast<size_t>(length_) + 1));
        if (!heap_) return false;
        // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized): initialised by the caller
        return std::vsnprintf(heap_, static_cast<size_t>(length_) + 1, format, args) == length_;
    }
    const char* text() const { return heap_ ? heap_ : local_; }
    int length() const { return length_; }

  private:
    char local_[kLocalPiece];
    char* heap_ = nullptr;
    int length_ = 0;
};

// Makes room in a memory sink for n more bytes and a NUL. headroom: grow by a quarter of the text
// plus 4096 bytes beyond the need (else exactly to the need). Returns the buffer to write at
// held.length, with its capacity in `capacity`, or NULL (too large, or no heap) with the sink
// left as it was. clear: the bytes gained are zeroed (else the caller zeroes what it leaves).
char* RoomFor(ZQ_XML_STRUCT_T* sink, const zq::SinkText& held, bool headroom, int n, int& capacity,
              bool clear = true) {
    const int length = held.length;
    char* buffer = held.buffer;
    capacity = held.capacity;
    if (static_cast<int64_t>(length) + n < capacity) return buffer;
    int64_t grown = static_cast<int64_t>(length) + n + 1;
    if (headroom) grown = static_cast<int64_t>(length) + n + length / 4 + 4096;
    if (grown > INT_MAX || zq::PayloadBytes(static_cast<uint64_t>(grown), 1) == zq::kTooLarge)
        return nullptr;
    char* fresh;
    if (buffer && HeaderOf(buffer)->refs == 1) {
        // Only the sink holds the buffer: resizing it in place gives the same text, tag and
        // count as a fresh copy would, without copying a large document on every growth.
        fresh = ZqXmlU_xml_realloc(buffer, static_cast<uint32_t>(grown), nullptr);
        if (!fresh) return nullptr;
        if (clear) std::memset(fresh + length, 0, static_cast<size_t>(grown - length));
    } else if (buffer) {
        fresh = AllocWithTagWord(static_cast<uint64_t>(grown), HeaderOf(buffer)->tag, clear);
        if (!fresh) return nullptr;
        std::memcpy(fresh, buffer, static_cast<size_t>(length));
        ZqXmlU_xml_free(buffer);
    } else {
        fresh = AllocWithTagWord(static_cast<uint64_t>(grown), zq::TagWord(sink->tag), clear);
        if (!fresh) return nullptr;
    }
    capacity = static_cast<int>(grown);
    return fresh;
}

// Appends formatted text to a sink, growing it as RoomFor does. Returns the bytes appended, the
// stream's result in stream mode, or -1 when nothing was appended (a sink that cannot be read,
// an encoding error, no heap for the text or the growth); the sink is then left as it was.
int SinkWrite(ZQ_XML_STRUCT_T* sink, bool headroom, const char* format, va_list args) {
    if (!sink || !format) return -1;
    // The analyzer cannot see that a va_list parameter is initialised by the caller.
    // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized)
    if (sink->file) return std::vfprintf(sink->file, format, args);

    // The caller's length and capacity are held to what the buffer records.
    zq::SinkText held;
    if (!zq::ReadSink(*sink, held)) return -1;
    Piece piece;
    if (!piece.Format(format, args)) return -1;
    const int n = piece.length();
    int capacity = 0;
    char* buffer = RoomFor(sink, held, headroom, n, capacity);
    if (!buffer) return -1;
    std::memcpy(buffer + held.length, piece.text(), static_cast<size_t>(n) + 1);
    sink->buffer = buffer;
    sink->capacity = capacity;
    sink->length = held.length + n;
    return n;
}

}  // namespace

namespace zq {

SinkWriter::SinkWriter(ZQ_XML_STRUCT_T* sink) : sink_(sink) {
    if (!sink_) return;
    if (sink_->file) {
        ok_ = true;
        return;
    }
    SinkText held;
    ok_ = ReadSink(*sink_, held);
    buffer_ = held.buffer;
    length_ = held.length;
    capacity_ = held.capacity;
}

void SinkWriter::Put(const std::string_view* parts, size_t count) {
    char* at = buffer_ + length_;
    for (size_t i = 0; i < count; ++i) {
        // The pieces of a line are mostly short: those copied inline, without a call.
        if (parts[i].size() < 16) {
            simd::CopyShort(at, parts[i].data(), parts[i].size());
        } else {
            std::memcpy(at, parts[i].data(), parts[i].size());
        }
        at += parts[i].size();
    }
    length_ = static_cast<int>(at - buffer_);
    dirty_ = true;
}

bool SinkWriter::AppendSlow(const std::string_view* parts, size_t count, size_t total) {
    if (!ok_ || total > INT_MAX) return false;
    if (sink_->file) {
        for (size_t i = 0; i < count; ++i) {
            if (std::fwrite(parts[i].data(), 1, parts[i].size(), sink_->file) != parts[i].size())
                return false;
        }
        return true;
    }
    const SinkText held{buffer_, length_, capacity_};
    int capacity = 0;
    char* buffer = RoomFor(sink_, held, true, static_cast<int>(total), capacity, false);
    if (!buffer) return false;
    grown_ = true;
    buffer_ = buffer;
    capacity_ = capacity;
    // The sink holds the new buffer at once: the old one may be gone.
    sink_->buffer = buffer_;
    sink_->capacity = capacity_;
    Put(parts, count);
    return true;
}

void SinkWriter::Finish() {
    if (!ok_ || !sink_ || sink_->file || !buffer_ || !dirty_) return;
    if (grown_) {
        std::memset(buffer_ + length_, 0, static_cast<size_t>(capacity_ - length_));
    } else {
        buffer_[length_] = '\0';
    }
    grown_ = false;
    dirty_ = false;
    sink_->buffer = buffer_;
    sink_->capacity = capacity_;
    sink_->length = length_;
}

}  // namespace zq

void* ZQ_CALL ZqXmlU_xml_alloc(unsigned size, char* tag) {
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
    if (!IsShared(p) || zq::PayloadBytes(newSize, 1) == zq::kTooLarge) return nullptr;
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
