// Label documents: the walk that collects the leaf paths of a label tree, the XMP keyword packet
// made from a whole label document, and the next name of a numbered keyword series.
//
// A label is a `Word` element whose first attribute is `title`: "<Word title=\"T\">" children
// "</Word>", or "<Word title=\"T\"></Word>" for a leaf. The walk below is iterative: a document
// nested a hundred thousand levels deep costs a stack of frames on the heap, not the machine's
// call stack.
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "frame/alloc.h"
#include "frame/xmlstring.h"
#include "lists/sound.h"
#include "metadata/labels.h"
#include "platform/cpu.h"
#include "platform/simd.h"
#include "scan/scanners.h"
#include "uri/namespace.h"
#include "zqxmlu.h"

namespace {

// Tag of the path blocks and list arrays made by ZqXmlU_ProcessExtractablePaths.
constexpr char kTagLabelPath[] = "zqLP";

constexpr char kWordEnd[] = "</Word>";
constexpr size_t kWordEndLength = 7;
constexpr char kLeafTail[] = "></Word>";
constexpr size_t kLeafTailLength = 8;
constexpr char kTitleAttribute[] = "title=";
constexpr size_t kTitleAttributeLength = 6;
constexpr char kLabelStart[] = "<Word title=\"";
constexpr size_t kLabelStartLength = 13;
constexpr char kRootTail[] = "Root\">";
constexpr size_t kRootTailLength = 6;

// A title's double quote travels as this byte while the document is scanned.
constexpr char kQuoteMark = '\x01';

struct RootLabel {
    const char* title;
    size_t length;
    int kind;
};

// The five roots, by the title of their start tag "<Word title=\"T\">".
constexpr RootLabel kRoots[] = {
    {"KeywordRoot", 11, 1}, {"PeopleRoot", 10, 2}, {"LocationRoot", 12, 3},
    {"EventRoot", 9, 4},    {"SyncRoot", 8, 5},
};

// Whether text begins with the n characters of prefix (which holds no NUL): compared a byte at a
// time, so that a text shorter than the prefix is read no further than its NUL.
inline bool StartsWith(const char* text, const char* prefix, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (text[i] != prefix[i]) return false;
    }
    return true;
}

// The first c (not NUL) at or after s, or NULL: strchr, inline for the short runs of a label.
inline const char* FindChar(const char* s, char c) {
    for (;; ++s) {
        if (*s == c) return s;
        if (*s == '\0') return nullptr;
    }
}

// Kind of the root whose title is the `length` bytes at `title` and is followed by "\">", or 0.
int RootKind(const char* title, size_t length) {
    if (title[length] != '"' || title[length + 1] != '>') return 0;
    for (const RootLabel& root : kRoots) {
        if (root.length == length && std::memcmp(root.title, title, length) == 0) return root.kind;
    }
    return 0;
}

// Copies n bytes of a title, each quote mark turned back into a double quote, eight bytes at a
// time. kWhole: whole words only, at least two (most titles fit in those, without a branch), so
// up to 16 bytes from the start or 8 past the n are read and written; else the rest goes one by
// one and nothing beyond the n bytes is touched.
template <bool kWhole>
inline void CopyTitle(char* to, const char* from, size_t n) {
    constexpr uint64_t kOnes = 0x0101010101010101ULL;
    constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
    static_assert(kQuoteMark == '\x01');
    auto word = [&](size_t i) {
        uint64_t w;
        std::memcpy(&w, from + i, 8);
        // Bytes that are the mark are zero in x; exactly those have the top bit clear in `some`.
        const uint64_t x = w ^ kOnes;
        const uint64_t some = ((x & kLow7) + kLow7) | x;
        const uint64_t marks = (~some >> 7) & kOnes;
        w ^= marks * static_cast<uint64_t>(kQuoteMark ^ '"');
        std::memcpy(to + i, &w, 8);
    };
    size_t i = 0;
    if constexpr (kWhole) {
        word(0);
        word(8);
        for (i = 16; i < n; i += 8)
            word(i);
    } else {
        for (; i + 8 <= n; i += 8)
            word(i);
        for (; i < n; ++i)
            to[i] = from[i] == kQuoteMark ? '"' : from[i];
    }
}

// A label's title: `length` bytes at `text`; `wide`: the 16 bytes from its start and the 8 after
// its end may be read too.
struct Title {
    const char* text;
    size_t length;
    bool wide;
};

// The path buffer of a walk: `size` bytes at `data` may be written; `length` is the path's
// current length. The text beyond `length` is kept NUL-terminated whenever there is room.
struct PathBuffer {
    char* data;
    size_t size;
    size_t length;
    size_t slack = 0;  // bytes past `size` that may be read and scribbled on

    // Appends "/" + title, at most size - (length + 1) characters, turning quote marks back into
    // double quotes. wideTitle: as Title::wide.
    void Append(const char* title, size_t t, bool wideTitle) {
        if (length + 1 >= size) return;
        const size_t room = size - (length + 1);
        char* at = data + length;
        size_t copied = 0;
        if (room > 0) {
            at[0] = '/';
            copied = std::min(t, room - 1);
            if (wideTitle && length + 1 + copied + 16 <= size + slack) {
                CopyTitle<true>(at + 1, title, copied);
            } else {
                CopyTitle<false>(at + 1, title, copied);
            }
            ++copied;
        }
        length += copied;
        data[length] = '\0';
    }

    // Appends "/" + the title, when it is not empty.
    void Append(const Title& title) {
        if (title.length > 0) Append(title.text, title.length, title.wide);
    }

    void CutTo(size_t n) {
        if (n < size) data[n] = '\0';
        length = n;
    }
};

// What a walk tells its listener (a class with these three members, called directly). Leaf: a
// leaf's path (false stops the walk). Open(quote, t, pathEnd): a label with children below the
// walk's own label was entered; its title (`t` bytes after the opening quote at `quote`) is on
// the path, which is `pathEnd` long with it. Close(): the label entered last has ended (normally,
// or with the walk when a label below it was no label).
template <class Listener>
class LabelWalker {
  public:
    // `known`: the bytes text[0, known) can be read (0 when the text's length is not known).
    LabelWalker(const char* text, PathBuffer& path, Listener& listener, size_t known = 0)
        : text_(text), known_(known), path_(path), listener_(listener) {}

    bool Stopped() const { return stopped_; }

    // Walks the label at `start`. Returns the characters it occupies, 7 for a lone "</Word>",
    // or -1 when `start` holds no label.
    ptrdiff_t Walk(size_t start, bool isRoot) {
        size_t end = 0;
        switch (Enter(start, isRoot, end)) {
            case Entry::kFail:
                return -1;
            case Entry::kDone:
                return static_cast<ptrdiff_t>(end - start);
            case Entry::kOpen:
                break;
        }
        // The children of the top frame, one after another; a child with children of its own
        // becomes the new top frame, and its end is handed back to its parent.
        while (!frames_.empty()) {
            if (stopped_) {
                while (!frames_.empty())
                    Pop();
                return 0;
            }
            switch (Enter(frames_.back().pos, false, end)) {
                case Entry::kOpen:
                    continue;
                case Entry::kDone:
                    if (Resume(end)) return static_cast<ptrdiff_t>(end - start);
                    continue;
                case Entry::kFail: {
                    // A child that is no label ends its parent at the child's position, with the
                    // path left as it is; every ancestor then meets the same position and ends
                    // there too.
                    const size_t at = frames_.back().pos;
                    while (!frames_.empty())
                        Pop();
                    return static_cast<ptrdiff_t>(at - start);
                }
            }
        }
        return static_cast<ptrdiff_t>(end - start);
    }

  private:
    enum class Entry { kFail, kDone, kOpen };

    struct Frame {
        size_t n;     // path length on entry
        size_t pos;   // where the next child starts
        bool opened;  // the listener was told (every label with children but the walk's own)
    };

    // Enters the label at `at`. kDone: a "</Word>" or a leaf, ending at `end`; kOpen: a label
    // with children, pushed as the new top frame; kFail: no label here.
    Entry Enter(size_t at, bool isRoot, size_t& end) {
        const char* p = text_ + at;
        // A label's start tag has its first quote right after "<Word title=".
        const char* q = nullptr;
        if (Has(p, kLabelStart, kLabelStartLength)) {
            q = p + kLabelStartLength - 1;
        } else {
            if (Has(p, kWordEnd, kWordEndLength)) {
                end = at + kWordEndLength;
                return Entry::kDone;
            }
            q = *p == '<' ? FindQuote(p) : nullptr;
            if (!q || q - p < static_cast<ptrdiff_t>(kTitleAttributeLength) ||
                std::memcmp(q - kTitleAttributeLength, kTitleAttribute, kTitleAttributeLength) !=
                    0) {
                return Entry::kFail;
            }
        }
        const char* c = FindQuote(q + 1);
        if (!c) return Entry::kFail;
        const size_t t = static_cast<size_t>(c - q - 1);
        const size_t n = path_.length;
        const Title title{q + 1, t, static_cast<size_t>(c - text_) + 16 < known_};
        if (Has(c + 1, kLeafTail, kLeafTailLength)) {
            if (!isRoot && !listener_.Leaf(path_, title)) stopped_ = true;
            path_.CutTo(n);
            end = static_cast<size_t>(c - text_) + 1 + kLeafTailLength;
            return Entry::kDone;
        }
        // The first child follows the start tag's ">" (never looked for past the text's end).
        const size_t child = static_cast<size_t>(c - text_) + (c[1] ? 2 : 1);
        if (!isRoot) {
            path_.Append(title);
            listener_.Open(q, t, path_.length);
        }
        frames_.push_back(Frame{n, child, !isRoot});
        return Entry::kOpen;
    }

    // Hands a child's end to the top frame. When "</Word>" follows, the frame ends there (its
    // path cut back) and its end goes to its parent in turn. Returns true when the bottom frame
    // has ended; `end` is then its end.
    bool Resume(size_t& end) {
        while (!frames_.empty()) {
            Frame& f = frames_.back();
            f.pos = end;
            if (!Has(text_ + end, kWordEnd, kWordEndLength)) return false;
            path_.CutTo(f.n);
            end += kWordEndLength;
            Pop();
        }
        return true;
    }

    void Pop() {
        if (frames_.back().opened) listener_.Close();
        frames_.pop_back();
    }

    // Whether p begins with the n characters of prefix: one memcmp where the bytes are known to
    // be there, else a byte at a time up to the NUL.
    bool Has(const char* p, const char* prefix, size_t n) const {
        if (static_cast<size_t>(p - text_) + n <= known_) return std::memcmp(p, prefix, n) == 0;
        return StartsWith(p, prefix, n);
    }

    // The first double quote at or after q before the text's NUL, or NULL: eight bytes at a time
    // where they are known to be there.
    const char* FindQuote(const char* q) const {
        if constexpr (std::endian::native == std::endian::little) {
            // Two words a round: most titles end within sixteen bytes, in the first word or the
            // second, and which one is picked without a branch.
            for (; static_cast<size_t>(q - text_) + 16 <= known_; q += 16) {
                const uint64_t first = QuoteOrNul(q);
                const uint64_t second = QuoteOrNul(q + 8);
                if ((first | second) != 0) {
                    const int bit =
                        first != 0 ? std::countr_zero(first) : 64 + std::countr_zero(second);
                    const char* at = q + bit / 8;
                    return *at == '"' ? at : nullptr;
                }
            }
            for (; static_cast<size_t>(q - text_) + 8 <= known_; q += 8) {
                const uint64_t stop = QuoteOrNul(q);
                if (stop != 0) {
                    const char* at = q + std::countr_zero(stop) / 8;
                    return *at == '"' ? at : nullptr;
                }
            }
        }
        return FindChar(q, '"');
    }

    // The eight bytes at p with the top bit of the first byte that is a quote or the NUL set
    // (bytes above it may be set too), or 0.
    static uint64_t QuoteOrNul(const char* p) {
        constexpr uint64_t kOnes = 0x0101010101010101ULL;
        uint64_t w;
        std::memcpy(&w, p, 8);
        const uint64_t x = w ^ (kOnes * '"');
        return ((x - kOnes) & ~x & (kOnes << 7)) | ((w - kOnes) & ~w & (kOnes << 7));
    }

    const char* text_;
    size_t known_;
    PathBuffer& path_;
    Listener& listener_;
    std::vector<Frame> frames_;
    bool stopped_ = false;
};

// Leaves of ZqXmlU_ProcessExtractablePaths: tagged copies of the paths, appended to a list.
class ListLeaves {
  public:
    ListLeaves(ZQ_KWLIST_STRUCT_T* list, int kind) : list_(list), kind_(kind) {}
    bool Leaf(PathBuffer& path, const Title& title) {
        path.Append(title);  // onto the caller's buffer, with or without a list
        if (!list_) return true;
        auto* copy = static_cast<char*>(zq::AllocBlock(path.length + 1, 1, kTagLabelPath));
        std::memcpy(copy, path.data, path.length);
        ZqXmlU_ModifyKwList(list_, reinterpret_cast<uintptr_t>(copy),
                            static_cast<uintptr_t>(static_cast<uint32_t>(kind_)), 5, kTagLabelPath);
        return true;
    }
    void Open(const char* /*quote*/, size_t /*t*/, size_t /*pathEnd*/) {}
    void Close() {}

  private:
    ZQ_KWLIST_STRUCT_T* list_;
    int kind_;
};

// The kinds' prefixes, each padded to a word of 8 bytes.
struct KindPrefix {
    char text[8];
    size_t length;
};
constexpr KindPrefix kLinePrefixes[] = {
    {"", 0}, {"People", 6}, {"Places", 6}, {"Events", 6}, {"Sync", 4}};

// One bag line: the kind's prefix and the path. A keyword path (kind 1) is written without its
// leading "/"; an empty path stays empty.
constexpr const char* kKindPrefixes[] = {"", "People", "Places", "Events", "Sync"};

void AppendLine(std::string& lines, int kind, const char* path, size_t n) {
    if (kind == 1 && n > 0) {
        ++path;
        --n;
    }
    lines += "<rdf:li>";
    lines += kKindPrefixes[kind - 1];
    lines.append(path, n);
    lines += "</rdf:li>\n";
}

// The bag of ZqXmlU_MakeMsdisXml. Each root is walked where the document scan meets it, and a
// root met again inside another root's walk would walk the same labels again: the labels below
// a position depend only on the text from there on. So a root's walk also collects the lines of
// every root nested in it (the same leaves, their paths taken from the nested root's title on)
// and keeps them until the scan reaches that root; no label is walked twice, and the work stays
// linear in the document and the packet. The lines of the walked root go straight to the sink.
class PacketWriter {
  public:
    PacketWriter(const char* text, ZQ_XML_STRUCT_T* out)
        : text_(text), sink_(out), failed_(!sink_.Ok()) {}

    bool Failed() const { return failed_; }

    // Brings the sink up to date with the lines written so far.
    void Finish() { sink_.Finish(); }

    // Walks the root of `kind` at `start`: its lines to the sink, its nested roots' kept.
    void WalkRoot(LabelWalker<PacketWriter>& walker, size_t start, int kind) {
        kind_ = kind;
        walker.Walk(start, true);
    }

    // At the root whose title's opening quote is at `quote`: writes the lines kept for the nested
    // roots up to it (all of them for NULL). true when it was one of them.
    bool Nested(const char* quote) {
        bool met = false;
        while (next_ < nested_.size() && (!quote || nested_[next_].quote <= quote)) {
            met = nested_[next_].quote == quote;
            const std::string_view lines = nested_[next_].lines;
            if (!failed_ && !lines.empty() && !sink_.Append(&lines, 1)) failed_ = true;
            nested_[next_].lines = std::string();
            ++next_;
        }
        if (next_ == nested_.size()) {
            nested_.clear();
            next_ = 0;
        }
        return met;
    }

    // The leaf's line goes straight to the sink's head-room when no nested root is open: the
    // path so far, then "/" and the title read from the document (not from the path buffer, just
    // written), in whole words. Otherwise the title goes onto the path first.
    bool Leaf(PathBuffer& path, const Title& title) {
        if (failed_) return false;
        const KindPrefix& prefix = kLinePrefixes[kind_ - 1];
        const size_t n = path.length;
        if (open_.empty() && title.length > 0 && title.wide && n + 32 <= path.size + path.slack &&
            n + 1 + title.length < path.size) {
            // A keyword path drops its first character: the path's, or this "/" on an empty one.
            const size_t skip = kind_ == 1 ? 1 : 0;
            const size_t head = n > 0 ? n - skip : 0;
            const size_t slash = n > 0 ? 1 : 1 - skip;
            const size_t total = 8 + prefix.length + head + slash + title.length + 10;
            if (char* at = sink_.Reserve(total, 32)) {
                std::memcpy(at, "<rdf:li>", 8);
                std::memcpy(at + 8, prefix.text, 8);
                at += 8 + prefix.length;
                const char* const from = path.data + (n > 0 ? skip : 0);
                // Two words whatever the length (most paths fit in those, without a branch).
                std::memcpy(at, from, 16);
                std::memcpy(at + 16, from + 16, 16);
                for (size_t i = 32; i < head; i += 16)
                    std::memcpy(at + i, from + i, 16);
                at += head;
                *at = '/';
                at += slash;
                CopyTitle<true>(at, title.text, title.length);
                std::memcpy(at + title.length, "</rdf:li>\n\0\0\0\0\0", 16);
                sink_.Commit(total);
                return true;
            }
        }
        path.Append(title);
        const size_t skip = kind_ == 1 && path.length > 0 ? 1 : 0;
        const std::string_view line[] = {"<rdf:li>",
                                         {prefix.text, prefix.length},
                                         {path.data + skip, path.length - skip},
                                         "</rdf:li>\n"};
        if (!sink_.Append(line, std::size(line))) {
            failed_ = true;
            return false;
        }
        for (const size_t r : open_) {
            // The path below an open label never gets shorter than it was at its title.
            NestedRoot& root = nested_[r];
            const size_t from = std::min(root.pathEnd, path.length);
            AppendLine(root.lines, root.kind, path.data + from, path.length - from);
        }
        return true;
    }

    void Open(const char* quote, size_t t, size_t pathEnd) {
        ++depth_;
        // A root's start tag: "<Word title=\"" + a root's title + "\">".
        const size_t lead = kLabelStartLength - 1;
        if (quote - text_ < static_cast<ptrdiff_t>(lead) ||
            std::memcmp(quote - lead, kLabelStart, lead) != 0) {
            return;
        }
        const int kind = RootKind(quote + 1, t);
        if (kind == 0) return;
        open_.push_back(nested_.size());
        nested_.push_back(NestedRoot{quote, kind, pathEnd, depth_, std::string()});
    }

    void Close() {
        if (!open_.empty() && nested_[open_.back()].depth == depth_) open_.pop_back();
        --depth_;
    }

  private:
    struct NestedRoot {
        const char* quote;  // its title's opening quote
        int kind;
        size_t pathEnd;  // its leaves' paths start here, after its own title
        size_t depth;    // of its label in the walk
        std::string lines;
    };

    const char* text_;
    zq::SinkWriter sink_;
    int kind_ = 1;
    bool failed_ = false;
    std::vector<NestedRoot> nested_;  // in document order
    size_t next_ = 0;                 // the first not yet written
    std::vector<size_t> open_;        // the nested roots whose labels are open
    size_t depth_ = 0;
};

// Drops every CR or LF of s[r, len) together with the character after it (line ends are CR LF
// pairs), moving the rest down to s[w, ...) (w <= r); the text's NUL is at len. NUL-terminates
// the result and returns its length.
size_t RemoveLineEndsFrom(char* s, size_t len, size_t r, size_t w) {
    while (r < len) {
        const char ch = s[r];
        if (ch == '\r' || ch == '\n') {
            if (r + 1 == len) break;  // a line end that closes the text drops alone
            r += 2;
            continue;
        }
        s[w++] = ch;
        ++r;
    }
    s[w] = '\0';
    return w;
}

// Marks every double quote of s[from, to) that neither opens an attribute value (after "=") nor
// closes a title before the next tag (followed by "><"); s[to] is readable.
void MarkStrayQuotesIn(char* s, size_t from, size_t to) {
    char* p = s + from;
    char* const end = s + to;
    while (p < end) {
        p = static_cast<char*>(std::memchr(p, '"', static_cast<size_t>(end - p)));
        if (!p) break;
        const bool opens = p > s && p[-1] == '=';
        const bool closes = p[1] == '>' && p[2] == '<';
        if (!opens && !closes) *p = kQuoteMark;
        ++p;
    }
}

// The clean-up of a label document, a byte at a time: the line ends dropped with the character
// after each, then the stray quotes marked. Returns the text's new length.
size_t CleanUpScalar(char* s) {
    const size_t length = RemoveLineEndsFrom(s, std::strlen(s), 0, 0);
    MarkStrayQuotesIn(s, 0, length);
    return length;
}

#define ZQ_TIER_FILE "metadata/labels_vector.inc"
#include "platform/each_tier.h"

// The clean-up of each tier.
constexpr size_t (*kCleanUps[])(char* s) = {
    CleanUpScalar,
#if defined(ZQ_SIMD_X86)
    tier_sse2::CleanUp,
    tier_avx2::CleanUp,
    tier_avx512::CleanUp,
#endif
};

bool WritePacketHead(ZQ_XML_STRUCT_T* out) {
    static const std::string vocabulary =
        std::string(zq::kNamespaceBase) + "/z/q/in/zqinc/zq_01_001.zqtv";
    return ZqXmlU_xml_sprintf(out,
                              "<x:xmpmeta xmlns:x='adobe:ns:meta/'>\n<rdf:RDF xmlns:zq='%s' "
                              "xmlns:Iptc4xmpCore='%s' xmlns:rdf='%s'>\n",
                              vocabulary.c_str(), "http://iptc.org/std/Iptc4xmpCore/1.0/xmlns/",
                              "http://www.w3.org/1999/02/22-rdf-syntax-ns#") >= 0 &&
           ZqXmlU_xml_sprintf(out, "<rdf:Description about=\"\">\n") >= 0 &&
           ZqXmlU_xml_sprintf(out, "<Iptc4xmpCore:Keywords><rdf:Bag>\n") >= 0;
}

bool WritePacketTail(ZQ_XML_STRUCT_T* out) {
    return ZqXmlU_xml_sprintf(out, "</rdf:Bag></Iptc4xmpCore:Keywords>\n") >= 0 &&
           ZqXmlU_xml_sprintf(out, "</rdf:Description>\n") >= 0 &&
           ZqXmlU_xml_sprintf(out, "</rdf:RDF></x:xmpmeta>\n") >= 0;
}

// Gives a memory sink back the text it held before the packet: a sink that had no buffer gets
// none again. A stream sink keeps what reached the stream.
void RestoreSink(ZQ_XML_STRUCT_T* out, const ZQ_XML_STRUCT_T& before, const zq::SinkText& held) {
    if (out->file) return;
    if (!held.buffer) {
        if (out->buffer != before.buffer) ZqXmlU_xml_free(out->buffer);
        *out = before;
        return;
    }
    out->length = held.length;
    if (out->buffer && out->capacity > held.length) out->buffer[held.length] = '\0';
}

// Last byte index before `end` at which a UTF-8 character starts (continuation bytes are passed
// over, at most three of them).
size_t LastCharacterStart(const char* s, size_t end) {
    size_t i = end - 1;
    for (int k = 0; k < 3 && i > 0 && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80; ++k)
        --i;
    return i;
}

inline bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

size_t zq::CleanUpLabelsOn(cpu::Tier tier, char* text) {
    return cpu::FormOf(kCleanUps, tier)(text);
}

void ZQ_CALL ZqXmlU_MakeMsdisXml(char* labels, ZQ_XML_STRUCT_T* out) {
    if (!labels || !out) return;
    const size_t length = zq::CleanUpLabelsOn(zq::cpu::Active().tier, labels);
    if (length < 9 || std::memcmp(labels, "<Labels>", 8) != 0 ||
        std::memcmp(labels + length - 9, "</Labels>", 9) != 0) {
        return;
    }
    // What the sink holds now is what a failed packet leaves it.
    const ZQ_XML_STRUCT_T before = *out;
    zq::SinkText held;
    if (!out->file && !zq::ReadSink(before, held)) return;

    // The path buffer: 256 local bytes, or the document's length plus one from the heap.
    // Both have 32 bytes of slack past their size, for the titles and lines copied in words.
    constexpr size_t kLocalPath = 256;
    constexpr size_t kPathSlack = 32;
    char local[kLocalPath + kPathSlack];
    std::unique_ptr<char[]> heap;
    PathBuffer path{local, kLocalPath, 0};
    if (length + 1 > kLocalPath) {
        heap.reset(new (std::nothrow) char[length + 1 + kPathSlack]);
        if (!heap) return;
        path = PathBuffer{heap.get(), length + 1, 0};
    }
    path.slack = kPathSlack;
    path.data[0] = '\0';

    bool done = WritePacketHead(out);
    PacketWriter packet(labels, out);
    LabelWalker<PacketWriter> walker(labels, path, packet, length + 1);
    // The five roots are walked where they stand, from index 8 on, in document order, each as
    // often as it occurs (a root nested in a walked root gets the lines kept for it). Every
    // root's start tag ends in "Root\">", so the scan searches for that and looks back for the
    // rest of the tag; the path is emptied before each walk.
    const char* const end = labels + length;
    const zq::cpu::Tier tier = zq::cpu::Active().tier;
    for (const char* r = labels + 8; done; r += kRootTailLength) {
        r = zq::FindTextOn(tier, r, kRootTail, kRootTailLength);
        if (!r) break;
        const char* const close = r + kRootTailLength - 2;  // the title's closing quote
        const char* p = nullptr;
        int kind = 0;
        for (const RootLabel& root : kRoots) {
            const size_t lead = kLabelStartLength + root.length;
            if (close - labels >= static_cast<ptrdiff_t>(8 + lead) &&
                std::memcmp(close - lead, kLabelStart, kLabelStartLength) == 0 &&
                std::memcmp(close - root.length, root.title, root.length) == 0) {
                p = close - lead;
                kind = root.kind;
                break;
            }
        }
        if (kind == 0) continue;
        const char* title = p + kLabelStartLength;
        path.CutTo(0);
        if (!packet.Nested(title - 1)) {
            path.size = static_cast<size_t>(end - p);
            packet.WalkRoot(walker, static_cast<size_t>(p - labels), kind);
            path.size = heap ? length + 1 : kLocalPath;
        }
        done = !packet.Failed() && !walker.Stopped();
    }
    packet.Nested(nullptr);
    packet.Finish();
    done = done && !packet.Failed() && WritePacketTail(out);
    if (!done) RestoreSink(out, before, held);
}

int ZQ_CALL ZqXmlU_ProcessExtractablePaths(char* text, ZQ_KWLIST_STRUCT_T* paths, int kind,
                                           char* path, int pathSize, int isRoot) {
    if (!text || !path || (paths && !zq::SoundList(paths))) return -1;
    const size_t size = pathSize > 0 ? static_cast<size_t>(pathSize) : 0;
    PathBuffer buffer{path, size, strnlen(path, size)};
    ListLeaves leaves(paths, kind);
    LabelWalker<ListLeaves> walker(text, buffer, leaves);
    return static_cast<int>(walker.Walk(0, isRoot != 0));
}

void ZQ_CALL ZqXmlU_IncrementKeywordName(char* name, char* result, int resultSize) {
    if (!name || !result || resultSize <= 0) return;
    const size_t size = static_cast<size_t>(resultSize);
    size_t length;
    if (result != name) {
        length = strnlen(name, size - 1);
        std::memmove(result, name, length);
        result[length] = '\0';
    } else {
        length = strnlen(result, size);
        if (length == size) result[--length] = '\0';  // keep the name within the buffer
    }

    // The numeric suffix: the trailing digits, never the first character.
    size_t s = length;
    while (s > 1 && IsDigit(result[s - 1]))
        --s;
    const bool room = length + 1 < size;

    if (s == length) {  // no suffix: append "2", or put it over the last character
        if (room) {
            result[length] = '2';
            result[length + 1] = '\0';
        } else if (length > 0) {
            const size_t last = LastCharacterStart(result, length);
            result[last] = length == 1 && result[0] == '2' ? '3' : '2';
            result[last + 1] = '\0';
        }
        return;
    }

    size_t i = length;
    while (i > s && result[i - 1] == '9')
        --i;
    if (i > s) {  // not all nines: add one, carrying through the trailing nines
        ++result[i - 1];
        std::memset(result + i, '0', length - i);
        return;
    }

    // All nines: "Name9" becomes "Name10" when the longer name fits; otherwise the character
    // before the nines becomes "1" and the nines zeros ("Name9" in 6 bytes becomes "Nam10").
    const size_t k = length - s;
    const size_t at = room ? s : LastCharacterStart(result, s);
    result[at] = '1';
    std::memset(result + at + 1, '0', k);
    result[at + 1 + k] = '\0';
}
