// Shared pieces of the zqxmlu command-line tool.
//
// Conventions: input comes from a FILE argument or, when it is absent or "-", from standard input;
// results go to standard output, messages to standard error. Exit status 0 success, 1 a failed
// operation (throw Failure), 2 a usage error (CLI11's parse errors, or throw UsageError).
#ifndef ZQ_TOOL_CLI_H
#define ZQ_TOOL_CLI_H

#include <stdexcept>
#include <string>
#include <string_view>

#include <CLI/CLI.hpp>

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
