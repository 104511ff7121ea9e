// Shared pieces of the zqxmlu subcommands.
//
// Conventions: input comes from a FILE argument or, when it is absent or "-", from standard input;
// results go to standard output, messages to standard error, one "zqxmlu: ..." line each. Exit
// status 0 success, 1 a failed operation (throw Failure), 2 a usage error (throw UsageError, or
// CLI11's parse errors). A subcommand either streams its input or holds all of it, up to a limit
// its help states; -i writes a new file beside FILE and renames it over FILE only once it is
// complete.
#ifndef ZQ_TOOL_CLI_H
#define ZQ_TOOL_CLI_H

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>

#include "tool.h"
#include "zqxmlu.h"

namespace zqtool {

struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

inline constexpr uint64_t kMiB = uint64_t{1} << 20;
// The most bytes a subcommand that holds its whole input reads.
inline constexpr uint64_t kHeldLimit = 256 * kMiB;
// The piece size of the streaming subcommands.
inline constexpr size_t kChunk = 64 * 1024;

// `text` as messages show it: in quotes, control bytes as \n, \t, \r or \xNN, cut after `most`
// bytes (at a character boundary) with its length added.
std::string Quote(std::string_view text, size_t most = 40);

// The whole number `text`, given as `what`, when it lies from lo to hi; else UsageError.
int64_t ParseNumber(std::string_view what, const std::string& text, int64_t lo, int64_t hi);

// Failure when `text` holds a NUL byte: the library reads its texts up to their first NUL, so the
// rest would be lost. `what` names the input ("the document", "the label document").
void RefuseNul(std::string_view text, std::string_view what);

// UTF-16 text as the library's wide exports take it, and U+FFFD, which the converters write for
// what they cannot convert.
using WideText = std::basic_string<ZqWChar>;
inline constexpr ZqWChar kReplacementUnit = 0xFFFD;

// UTF-8 text: the converter turns an invalid sequence into U+FFFD (EF BF BD), one per maximal
// ill-formed part. CountReplacements counts the U+FFFD characters of UTF-8 text; InvalidUtf8 tells
// whether the converter would replace any byte of `text`; WholeUtf8 is the length of `text`
// without a sequence that its end cuts short (to be completed by the next piece of a stream).
size_t CountReplacements(std::string_view utf8);
bool InvalidUtf8(std::string_view text);
size_t WholeUtf8(std::string_view text);
// The UTF-8 form of UTF-16LE bytes (an even count) in `out`; false when an unpaired surrogate in
// them would become U+FFFD.
bool Utf16LeToUtf8(std::string_view bytes, std::string& out);
// UTF-8 text as UTF-16 (an invalid sequence becomes U+FFFD), and NUL-terminated UTF-16 as UTF-8.
WideText ToUtf16(std::string_view utf8);
std::string ToUtf8(const ZqWChar* units);

// One input, read piece by piece.
class Source {
  public:
    Source(std::FILE* f, bool owned, std::string name)
        : f_(f), owned_(owned), name_(std::move(name)) {}
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;
    ~Source() {
        if (owned_) std::fclose(f_);
    }
    // Reads up to n bytes; 0 at the end. Throws Failure on a read error.
    size_t Read(char* dst, size_t n);
    // Appends up to n bytes to `buffer`; returns how many.
    size_t ReadInto(std::string& buffer, size_t n);
    // "standard input" or the quoted file name.
    const std::string& name() const { return name_; }

  private:
    std::FILE* f_;
    bool owned_;
    std::string name_;
    std::unique_ptr<char[]> scratch_;
};

// The rest of `in`, at most `limit` bytes (more is a failure that names the limit).
std::string ReadRest(Source& in, uint64_t limit);

// The streams of one run.
class Io {
  public:
    explicit Io(const Streams& streams) : s_(streams) {}
    // The input named by a FILE argument ("-": standard input; "" is a usage error). A missing or
    // unreadable file, a directory and a closed standard input are failures.
    Source Open(const std::string& file) const;
    // The whole input, at most `limit` bytes (more is a failure that names the limit).
    std::string ReadAll(const std::string& file, uint64_t limit = kHeldLimit) const;
    // Writes bytes to standard output. Throws Failure.
    void Write(std::string_view bytes);
    // Flushes standard output. Throws Failure.
    void Flush();
    // Writes "zqxmlu: " and the message, on one line, to standard error.
    void Report(std::string_view message) const;
    // Replaces the regular file `file` by `bytes`: a new file beside it, renamed over it once
    // complete; the old file's permissions are kept. Throws Failure, leaving `file` unchanged.
    void Replace(const std::string& file, std::string_view bytes);
    // Standard error, for a subcommand that draws on it.
    std::FILE* err() const { return s_.err; }

  private:
    Streams s_;
};

// The document of a subcommand that reads XML: held whole, a NUL byte refused; and the input
// rules that such a subcommand's help states.
std::string ReadDocument(Io& io, const std::string& file);
extern const char* const kDocumentRules;

// The optional FILE argument, "-" (standard input) when absent.
CLI::Option* AddFile(CLI::App* cmd, std::string& file, const char* help = nullptr);

// The document of an editing subcommand: FILE, and -i to rewrite it instead of printing.
struct Target {
    std::string file = "-";
    bool inPlace = false;
};
void AddTarget(CLI::App* cmd, Target& target);
// Usage error for -i without a FILE; failure when FILE is not a regular file. Call it first.
void CheckTarget(const Target& target);
// The edited document: back to FILE with -i, else to standard output.
void Deliver(Io& io, const Target& target, std::string_view text);

// Appends `rules` (the subcommand's input rules: line ends, NUL bytes, size limits) to its help.
void Rules(CLI::App* cmd, const std::string& rules);

// The tag of the tool's own allocations (the exports take it as char*).
inline char kToolTag[] = "tool";

// A writable, NUL-terminated copy of s: the exports take char*.
inline std::vector<char> Writable(std::string_view s) {
    std::vector<char> v(s.begin(), s.end());
    v.push_back('\0');
    return v;
}

// A tagged block of the library, released at the end of the scope.
template <typename T>
struct TaggedBlock {
    T* p = nullptr;
    TaggedBlock() = default;
    TaggedBlock(const TaggedBlock&) = delete;
    TaggedBlock& operator=(const TaggedBlock&) = delete;
    ~TaggedBlock() {
        void* v = p;
        ZqXmlU_Free(&v);
    }
};

// Releases a shared XML string (a sink's buffer) at the end of a scope.
struct SharedFree {
    void operator()(char* p) const { ZqXmlU_xml_free(p); }
};
using SharedOwner = std::unique_ptr<char, SharedFree>;

// `text` in a shared XML string of its size plus one, released at the end of the scope. Throws
// Failure when it cannot be made. The text must not hold a NUL (RefuseNul first).
class SharedText {
  public:
    explicit SharedText(std::string_view text);
    ~SharedText() { ZqXmlU_xml_free(p_); }
    SharedText(const SharedText&) = delete;
    SharedText& operator=(const SharedText&) = delete;
    char*& get() { return p_; }

  private:
    char* p_ = nullptr;
};

// Character references beyond 0xFF: the library's de-escapers keep the low 8 bits of a reference;
// the tool gives the UTF-8 form of the code point instead. Rewrites `text` in place: every such
// reference, with the one character that ends it (consumed as the de-escapers consume it), becomes
// the UTF-8 bytes of its code point; all else is kept for the library. With `wide` false such a
// reference is refused instead. When `more` is set (more text follows), a reference or entity that
// may be cut at the end is moved to the end of `text` and left out of the count. Returns the
// length of the complete part. `offset` is the position of text[0] in the input, for messages.
// Throws Failure for a reference beyond U+10FFFF or to a surrogate.
size_t WidenReferences(std::string& text, bool more, bool wide, uint64_t offset);
// De-escapes a text without NUL bytes: WidenReferences, then ZqXmlU_DeEscapeTextA.
std::string Unescape(std::string_view text);

// The rdf:li items inside the first element `name` of `text`, de-escaped, in `items`; false when
// there is no such element with an end tag. Throws Failure when an item has no end tag.
bool ElementItems(char* text, const std::string& name, std::vector<std::string>& items);

// The date value of `text` in the layout named `layout` (a name or code of date parse), in UTC,
// read as date parse reads it; a time of day before 1970 is dropped from the value instead of
// refused. Throws Failure saying why a text does not read.
uint64_t ParseDateText(const std::string& layout, const std::string& text);
// A date value in ISO form, in UTC: the iso-zone layout for a second count, the date layout for a
// day number.
std::string IsoDate(uint64_t value);

// Each subsystem adds its subcommands; their callbacks write through `io`.
void AddFrameCommands(CLI::App& app, Io& io);
void AddTextCommands(CLI::App& app, Io& io);
void AddTimeCommands(CLI::App& app, Io& io);
void AddUriCommands(CLI::App& app, Io& io);
void AddScanCommands(CLI::App& app, Io& io);
void AddMetadataCommands(CLI::App& app, Io& io);
void AddCryptoCommands(CLI::App& app, Io& io);
void AddLibraryCommands(CLI::App& app, Io& io);

}  // namespace zqtool

#endif  // ZQ_TOOL_CLI_H
