// zqxmlu: every subsystem of the library, reachable from a shell. The whole program is ToolMain;
// main() and the fuzz target only choose its streams.
#ifndef ZQ_TOOL_TOOL_H
#define ZQ_TOOL_TOOL_H

#include <cstdio>

namespace zqtool {

// The standard streams of one run, and whether the process was started with them open (a closed
// stream counts as an error when a subcommand reads or writes it).
struct Streams {
    std::FILE* in = nullptr;
    std::FILE* out = nullptr;
    std::FILE* err = nullptr;
    bool inOpen = true;
    bool outOpen = true;
};

// Runs one command line (argv[0] is the program name). Returns the exit status: 0 success, 1 a
// failed operation, 2 a usage error; every error is reported as one "zqxmlu: ..." line on `err`.
// Never throws, never ends the process (except through the library's own end on heap
// exhaustion of the tagged allocator, which reports the same way with status 1).
int ToolMain(int argc, char** argv, const Streams& streams);

}  // namespace zqtool

#endif  // ZQ_TOOL_TOOL_H
