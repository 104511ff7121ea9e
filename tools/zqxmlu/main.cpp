// zqxmlu: every subsystem of the library, reachable from a shell.
#include <cstdio>

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
    return zqtool::ToolMain(argc, argv, streams);
}
