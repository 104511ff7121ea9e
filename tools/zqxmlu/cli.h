// Shared pieces of the zqxmlu command-line tool.
//
// Conventions: input comes from a FILE argument or, when it is absent or "-", from standard input;
// results go to standard output, messages to standard error. Exit status 0 success, 1 a failed
// operation (throw Failure), 2 a usage error (CLI11's parse errors, or throw UsageError).
#ifndef ZQ_TOOL_CLI_H
#define ZQ_TOOL_CLI_H

#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>

#include "zqxmlu.h"

namespace zqtool {

struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Whole contents of `path` ("" or "-": standard input), as bytes. Throws Failure.
std::string ReadInput(const std::string& path);
// Writes bytes to standard output. Throws Failure.
void WriteOutput(std::string_view bytes);
// Replaces the contents of `path` (for -i). Throws Failure.
void WriteFile(const std::string& path, std::string_view bytes);

// The tag of the tool's own allocations (the exports take it as char*).
inline char kToolTag[] = "tool";

// A writable, NUL-terminated copy of s: the exports take char*.
inline std::vector<char> Writable(const std::string& s) {
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

// `text` in a shared XML string of its size plus one (the text ends at its first NUL), released
// at the end of the scope. Throws Failure when it cannot be made.
class SharedText {
  public:
    explicit SharedText(const std::string& text) {
        if (text.size() >= 0x7FFFFF00u) throw Failure("input too large");
        p_ = static_cast<char*>(ZqXmlU_xml_alloc(static_cast<unsigned>(text.size() + 1), kToolTag));
        if (!p_) throw Failure("out of memory");
        std::memcpy(p_, text.data(), text.size());
    }
    ~SharedText() { ZqXmlU_xml_free(p_); }
    SharedText(const SharedText&) = delete;
    SharedText& operator=(const SharedText&) = delete;
    char*& get() { return p_; }

  private:
    char* p_ = nullptr;
};

// Each subsystem adds its subcommands.
void AddFrameCommands(CLI::App& app);
void AddTextCommands(CLI::App& app);
void AddTimeCommands(CLI::App& app);
void AddUriCommands(CLI::App& app);
void AddScanCommands(CLI::App& app);
void AddMetadataCommands(CLI::App& app);
void AddCryptoCommands(CLI::App& app);

}  // namespace zqtool

#endif  // ZQ_TOOL_CLI_H
