// Shared XML strings seen from inside the library: one heap allocation of size + 19 bytes, a
// 16-byte header (magic 0xDE435F12, tag, reference count, size), the text area and 3 spare bytes.
// Also the text of a memory sink, bounded by what its buffer's header records.
#ifndef ZQ_FRAME_XMLSTRING_H
#define ZQ_FRAME_XMLSTRING_H

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "zqxmlu.h"

namespace zq {

inline constexpr uint32_t kSharedMagic = 0xDE435F12;
inline constexpr size_t kSharedHeader = 16;
inline constexpr size_t kSharedSpare = 3;

// Whether `text` is a shared XML string (false for NULL); `size` receives the size its header
// records. The 16 bytes in front of `text` are read: a tagged block has them (zeros, then its
// frame), any other pointer must have them too.
inline bool SharedSizeOf(const char* text, uint32_t& size) {
    if (!text) return false;
    uint32_t header[4];
    std::memcpy(header, text - kSharedHeader, sizeof header);
    size = header[3];
    return header[0] == kSharedMagic;
}

// The size recorded in a shared XML string's header, or 0 when `text` is not one (or NULL).
inline uint32_t SharedSize(const char* text) {
    uint32_t size = 0;
    return SharedSizeOf(text, size) ? size : 0;
}

// The text a memory sink holds, as far as its buffer vouches for it: `capacity` is at most the
// size the buffer records and `length` at most `capacity`. A sink without a buffer (NULL, or
// capacity 0 or less) holds an empty text.
struct SinkText {
    char* buffer = nullptr;
    int length = 0;
    int capacity = 0;
};

// false for a sink that cannot be read: a negative length, or a buffer of positive capacity that
// is not a shared XML string.
inline bool ReadSink(const ZQ_XML_STRUCT_T& sink, SinkText& text) {
    text = SinkText{};
    if (sink.length < 0) return false;
    if (!sink.buffer || sink.capacity <= 0) return true;
    uint32_t size = 0;
    if (!SharedSizeOf(sink.buffer, size)) return false;
    text.buffer = sink.buffer;
    text.capacity = static_cast<int>(std::min<int64_t>(sink.capacity, size));
    text.length = std::min(sink.length, text.capacity);
    return true;
}

// Appends runs of texts to one sink, each run as one ZqXmlU_xml_sprintf of "%s%s..." with them
// would: the same bytes, the same growth (a quarter of the text plus 4096 bytes of head-room), so
// the same buffer size in the end, without formatting. The sink's fields are brought up to date
// by Finish (or the destructor): until then the writer alone owns the sink. The bytes a growth
// gains are zeroed by Finish, past the final text, rather than at each growth: every byte before
// the final length is written by the appends anyway. None of the texts may lie in the sink's
// buffer, and none may hold a NUL.
class SinkWriter {
  public:
    explicit SinkWriter(ZQ_XML_STRUCT_T* sink);
    SinkWriter(const SinkWriter&) = delete;
    SinkWriter& operator=(const SinkWriter&) = delete;
    ~SinkWriter() { Finish(); }

    // false when the sink cannot be read (see ReadSink): nothing is appended then.
    bool Ok() const { return ok_; }

    // Appends parts[0, count) as one write. false when nothing was appended: an unreadable sink,
    // a stream error, a text too large or no heap for the growth (the text so far stays).
    bool Append(const std::string_view* parts, size_t count) {
        size_t total = 0;
        for (size_t i = 0; i < count; ++i)
            total += parts[i].size();
        // The common case: a memory sink with room for the text and its NUL.
        if (!ok_ || sink_->file || total >= static_cast<size_t>(capacity_ - length_))
            return AppendSlow(parts, count, total);
        Put(parts, count);
        return true;
    }

    // Room for a text of n bytes written directly into the buffer, with `slack` bytes more that
    // the writer may scribble on past it: the place to write, when a memory sink has that room
    // without growing; else NULL (use Append then). Commit(n) appends the n bytes written.
    char* Reserve(size_t n, size_t slack) {
        if (!ok_ || sink_->file || n + slack >= static_cast<size_t>(capacity_ - length_))
            return nullptr;
        return buffer_ + length_;
    }
    void Commit(size_t n) {
        length_ += static_cast<int>(n);
        dirty_ = true;
    }

    // Stores the buffer, length and capacity in the sink, NUL-terminates the text and zeroes what
    // growth gained past it. The writer may go on appending afterwards.
    void Finish();

  private:
    bool AppendSlow(const std::string_view* parts, size_t count, size_t total);
    void Put(const std::string_view* parts, size_t count);

    ZQ_XML_STRUCT_T* sink_;
    char* buffer_ = nullptr;
    int length_ = 0;
    int capacity_ = 0;
    bool ok_ = false;
    bool grown_ = false;  // the buffer grew since the last Finish
    bool dirty_ = false;  // text was appended since the last Finish
};

}  // namespace zq

#endif  // ZQ_FRAME_XMLSTRING_H
