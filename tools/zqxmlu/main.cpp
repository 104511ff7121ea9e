// zqxmlu: every subsystem of the library, reachable from a shell.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/console.h"
#include "tool.h"

int main(int argc, char** argv) {
    const zq::StdStreams open = zq::PrepareStdStreams();
    zqtool::Streams streams;
    streams.in = stdin;
    streams.out = stdout;
    streams.err = stderr;
    streams.inOpen = open.inOpen;
    streams.outOpen = open.outOpen;
    // UTF-8 arguments whatever the platform's code page.
    std::vector<std::string> args = zq::Utf8Arguments(argc, argv);
    std::vector<char*> pointers;
    for (std::string& a : args)
        pointers.push_back(a.data());
    pointers.push_back(nullptr);
    return zqtool::ToolMain(argc, pointers.data(), streams);
}
